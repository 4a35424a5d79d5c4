// The progress dialog: runs one extraction job of the engine on the GUI
// thread, in slices started by a 200 ms timer, each slice stepping the engine
// until any message waits in the queue.
#include <windows.h>

#include <commctrl.h>
#include <string.h>

#include "../res/ResourceIds.h"
#include "SetupGlobals.h"

namespace {

// The bar moves within a slice only when the value leaves this band, so that
// redrawing never costs more than the steps between.
const int RedrawBand = 10;

// Set once the dialog has ended. A message sent by another thread is
// delivered inside PeekMessageA, so a Cancel can arrive in the middle of a
// slice; the slice must then stop instead of stepping an aborted job.
bool Ended;

void EndProgress(HWND dialog, INT_PTR result) {
    Ended = true;
    EndDialog(dialog, result);
}

// What this job has written of the files that an install cannot do
// without: the program, which is linked to and started, and the ReadMe. An
// archive cut short, or one whose first header is damaged so that the scan
// finds a later member first, ends cleanly without them; a release's
// payload holds the ReadMe last, so no early end goes unseen. A file that
// was there before the job does not count.
bool ProgramWritten;
bool ReadMeWritten;

void NoteCompletedMember() {
    const char* name = Extractor.TakeCompletedName();
    if (name == NULL)
        return;
    if (_stricmp(name, ProgramName) == 0)
        ProgramWritten = true;
    else if (_stricmp(name, ReadMeName) == 0)
        ReadMeWritten = true;
}

// The ReadMe flow's one member is complete when the engine says so.
bool IsJobComplete() {
    return OnlyFile[0] != 0 || (ProgramWritten && ReadMeWritten);
}

// Draws the percentage of the current member. Only 0 changes the name line:
// it is drawn at the start of each member.
void ShowProgress(HWND dialog, int percent) {
    HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
    SendMessageA(bar, PBM_SETPOS, percent, 0);
    UpdateWindow(bar);
    if (percent == 0) {
        HWND name = GetDlgItem(dialog, IDC_MEMBER_NAME);
        SetWindowTextA(name, Extractor.GetMemberName());
        UpdateWindow(name);
    }
}

void OnInitDialog(HWND dialog) {
    Ended = false;
    ProgramWritten = false;
    ReadMeWritten = false;
    SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    WorkTimerId = SetTimer(dialog, 1, 200, NULL);
    // Locating the archive and opening the first member happen before the
    // dialog is first shown.
    if (!Extractor.Begin(SetupPath, DestFolder, OnlyFile)) {
        EndProgress(dialog, IDCANCEL);
        return;
    }
    ShowProgress(dialog, 0);
}

// One slice of work. The completion test comes before the queue test, so the
// last step always ends the dialog.
void RunWorkSlice(HWND dialog) {
    if (Ended)
        return;
    int last = Extractor.GetPercent();
    for (;;) {
        bool done = false;
        if (!Extractor.Step(done)) {
            EndProgress(dialog, IDCANCEL);
            return;
        }
        NoteCompletedMember();
        if (done) {
            ShowProgress(dialog, 100);
            // An incomplete install fails with ErrorCode at ErrNone: 2016.
            EndProgress(dialog, IsJobComplete() ? IDOK : IDCANCEL);
            return;
        }
        const bool waiting = IsMessageWaiting();
        if (Ended)
            return; // cancelled from within the queue test
        if (waiting) {
            ShowProgress(dialog, Extractor.GetPercent());
            return;
        }
        const int percent = Extractor.GetPercent();
        if (percent < last || percent >= last + RedrawBand) {
            ShowProgress(dialog, percent);
            last = percent;
        }
    }
}

} // namespace

INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE;
    case WM_TIMER:
        PostMessageA(dialog, WM_WORKSTEP, 0, 0);
        return TRUE;
    case WM_WORKSTEP:
        RunWorkSlice(dialog);
        return TRUE;
    case WM_COMMAND:
        if (wParam != IDCANCEL)
            return FALSE;
        // The file being written is deleted; finished members stay.
        Extractor.Abort();
        EndProgress(dialog, IDCANCEL);
        return TRUE;
    case WM_DESTROY:
        if (WorkTimerId != 0)
            KillTimer(dialog, WorkTimerId);
        return TRUE;
    }
    return FALSE;
}
