// The search for an earlier installation: walks every fixed drive, directory
// by directory, for a Quillom.exe of a known release. The walk is an explicit
// stack of open directory searches, so that it can stop after any entry and
// resume at the next work slice.
//
// Each directory is listed twice. The first pass examines every entry; the
// second enters the qualifying subdirectories one after another. Between
// steps the top node is in its first pass and every node beneath it in its
// second, so no flag records the pass.
#include <io.h>
#include <new>
#include <string.h>
#include <time.h>

#include "../res/ResourceIds.h"
#include "SearchRules.h"
#include "SetupGlobals.h"
#include "TextBuffer.h"
#include "WorkSlice.h"

namespace {

struct WalkNode {
    WalkNode* Next;      // the parent directory; null for a drive root
    char Path[PathSize]; // ends with a backslash
    intptr_t Handle;     // -1 when no search is open
    _finddata_t Entry;
};

WalkNode* WalkTop;
DWORD LogicalDrives; // as the search found them at its start
int DriveIndex;      // the drive being walked: 0 is A:, -1 before the first
bool ReleaseFound;
int MarqueePhase;

const char AllEntries[] = "*.*";

// Opens a directory search on path followed by "*.*", or returns -1.
intptr_t OpenSearch(const char* path, _finddata_t& entry) {
    char pattern[PathSize];
    if (!CopyText(pattern, path) || !AppendText(pattern, AllEntries))
        return -1;
    return _findfirst(pattern, &entry);
}

void CloseSearch(WalkNode* node) {
    if (node->Handle != -1) {
        _findclose(node->Handle);
        node->Handle = -1;
    }
}

void PopNode() {
    WalkNode* node = WalkTop;
    CloseSearch(node);
    WalkTop = node->Next;
    delete node;
}

void FreeWalk() {
    while (WalkTop != NULL)
        PopNode();
}

// A file named Quillom.exe in any case of the ASCII letters: a known release
// ends the search with its folder; any other copy is remembered as a
// fallback if it is the first met.
void CheckEntry() {
    const _finddata_t& entry = WalkTop->Entry;
    if ((entry.attrib & _A_SUBDIR) != 0 || _stricmp(entry.name, ProgramName) != 0)
        return;
    time_t written = entry.time_write;
    // A time without a local date (before 1970, say) matches no release.
    const struct tm* local = localtime(&written);
    if (local != NULL && IsKnownRelease(entry.size, *local)) {
        CopyText(DestFolder, WalkTop->Path);
        ReleaseFound = true;
        return;
    }
    if (DestFolder[0] == 0)
        CopyText(DestFolder, WalkTop->Path);
}

// A node that cannot be allocated, or a directory whose path or search text
// would not fit, is passed over like one that cannot be listed.
bool PushFolder(const char* path) {
    WalkNode* node = new (std::nothrow) WalkNode;
    if (node == NULL)
        return false;
    if (!CopyText(node->Path, path)) {
        delete node;
        return false;
    }
    node->Handle = OpenSearch(path, node->Entry);
    if (node->Handle == -1) {
        delete node;
        return false;
    }
    node->Next = WalkTop;
    WalkTop = node;
    CheckEntry();
    return true;
}

// Enters the top node's current entry if it qualifies and can be listed.
bool DescendIntoEntry() {
    const _finddata_t& entry = WalkTop->Entry;
    if (!QualifiesForDescent(entry.attrib, entry.name))
        return false;
    char path[PathSize];
    if (!CopyText(path, WalkTop->Path) || !AppendText(path, entry.name) || !AppendText(path, "\\"))
        return false;
    return PushFolder(path);
}

// One step of the walk of the current drive; false when it is over.
bool WalkStep() {
    if (WalkTop == NULL)
        return false;
    if (_findnext(WalkTop->Handle, &WalkTop->Entry) == 0) {
        CheckEntry();
        return true;
    }
    // The first pass is over: list the directory again to descend. A
    // directory that has gone meanwhile (deleted, renamed, locked) is left
    // like one that cannot be listed at all, and its parent's second pass
    // goes on; the rest of the drive may still hold an installation.
    CloseSearch(WalkTop);
    WalkTop->Handle = OpenSearch(WalkTop->Path, WalkTop->Entry);
    if (WalkTop->Handle == -1)
        PopNode();
    else if (DescendIntoEntry())
        return true;
    while (WalkTop != NULL) {
        if (_findnext(WalkTop->Handle, &WalkTop->Entry) != 0)
            PopNode();
        else if (DescendIntoEntry())
            return true;
    }
    return false;
}

// Moves to the next fixed drive, in letter order, whose root can be listed.
bool NextFixedDrive() {
    while ((DriveIndex = NextDriveIndex(LogicalDrives, DriveIndex)) >= 0) {
        const char root[] = {static_cast<char>('A' + DriveIndex), ':', '\\', 0};
        CopyText(MsgBuf, root);
        if (GetDriveTypeA(MsgBuf) == DRIVE_FIXED) {
            FreeWalk();
            if (PushFolder(MsgBuf))
                return true;
        }
    }
    return false;
}

void ShowMarquee(HWND dialog) {
    char text[MarqueeLength + 1];
    MarqueeText(MarqueePhase, text);
    CopyText(MsgBuf, text);
    HWND marquee = GetDlgItem(dialog, IDC_SEARCH_MARQUEE);
    SetWindowTextA(marquee, MsgBuf);
    UpdateWindow(marquee);
}

void FinishSearch(HWND dialog, INT_PTR result) {
    FreeWalk();
    EndWork(dialog, result);
}

void OnInitDialog(HWND dialog) {
    OpenWork();
    DestFolder[0] = 0;
    LogicalDrives = GetLogicalDrives();
    DriveIndex = -1;
    ReleaseFound = false;
    // Nothing to search, or a match as the very first entry: the dialog ends
    // before it is shown.
    if (!NextFixedDrive() || ReleaseFound) {
        FinishSearch(dialog, IDOK);
        return;
    }
    StartWorkTimer(dialog);
    MarqueePhase = 0;
    ShowMarquee(dialog);
}

void OnTimer(HWND dialog) {
    MarqueePhase = (MarqueePhase + 1) % 10;
    ShowMarquee(dialog);
    PostWorkStep(dialog);
}

// One slice of the walk. Nothing is drawn here: the line moves only on ticks.
void SearchSlice(HWND dialog) {
    if (IsWorkEnded())
        return;
    do {
        // The walk is over on every drive, or it found a release.
        if ((!WalkStep() && !NextFixedDrive()) || ReleaseFound) {
            FinishSearch(dialog, IDOK);
            return;
        }
    } while (!IsSliceOver());
}

} // namespace

INT_PTR CALLBACK SearchDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE;
    case WM_TIMER:
        OnTimer(dialog);
        return TRUE;
    case WM_WORKSTEP:
        SearchSlice(dialog);
        return TRUE;
    case WM_COMMAND:
        if (wParam != IDCANCEL)
            return FALSE;
        // Closes every open directory search; a fallback folder may stay in
        // DestFolder, but the driver does not use it after a cancel.
        FinishSearch(dialog, IDCANCEL);
        return TRUE;
    case WM_DESTROY:
        StopWorkTimer(dialog);
        FreeWalk(); // however the dialog ends, no directory search stays open
        return TRUE;
    }
    return FALSE;
}
