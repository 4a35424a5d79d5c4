// The progress dialog: runs one extraction job of the engine on the GUI
// thread, in work slices (WorkSlice.h), each slice stepping the engine until
// any message waits in the queue.
#include <windows.h>

#include <commctrl.h>
#include <string.h>

#include "../res/ResourceIds.h"
#include "SetupGlobals.h"
#include "WorkSlice.h"

namespace {

// The bar moves within a slice only when the value leaves this band, so that
// redrawing never costs more than the steps between.
const int RedrawBand = 10;

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
    OpenWork();
    ProgramWritten = false;
    ReadMeWritten = false;
    SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    StartWorkTimer(dialog);
    // Locating the archive and opening the first member happen before the
    // dialog is first shown.
    if (!Extractor.Begin(SetupPath, DestFolder, OnlyFile)) {
        EndWork(dialog, IDCANCEL);
        return;
    }
    ShowProgress(dialog, 0);
}

// One slice of the job. The completion test comes before the queue test, so
// the last step always ends the dialog.
void ExtractSlice(HWND dialog) {
    if (IsWorkEnded())
        return;
    int last = Extractor.GetPercent();
    for (;;) {
        bool done = false;
        if (!Extractor.Step(done)) {
            EndWork(dialog, IDCANCEL);
            return;
        }
        NoteCompletedMember();
        if (done) {
            ShowProgress(dialog, 100);
            // An incomplete install fails with ErrorCode at ErrNone: 2016.
            EndWork(dialog, IsJobComplete() ? IDOK : IDCANCEL);
            return;
        }
        if (IsSliceOver()) {
            // Every slice ends with the exact value, unless it was cancelled
            // from within the queue test.
            if (!IsWorkEnded())
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
        PostWorkStep(dialog);
        return TRUE;
    case WM_WORKSTEP:
        ExtractSlice(dialog);
        return TRUE;
    case WM_COMMAND:
        if (wParam != IDCANCEL)
            return FALSE;
        // The file being written is deleted; finished members stay.
        Extractor.Abort();
        EndWork(dialog, IDCANCEL);
        return TRUE;
    case WM_DESTROY:
        StopWorkTimer(dialog);
        return TRUE;
    }
    return FALSE;
}
