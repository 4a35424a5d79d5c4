// The destination-folder dialog. ReadMe mode (OnlyFile set) asks only for a
// folder; install mode also offers the two shortcut boxes. On OK the typed
// text becomes an absolute folder path ending with a backslash in DestFolder.
#include <windows.h>

#include <io.h>
#include <shlobj.h>
#include <stdlib.h>

#include "../res/ResourceIds.h"
#include "DbcsText.h"
#include "Messages.h"
#include "PathRules.h"
#include "SetupGlobals.h"
#include "TextBuffer.h"

namespace {

bool IsReadMeMode() {
    return OnlyFile[0] != 0;
}

// The file whose path must still fit once the folder is chosen.
const char* FileToPlace() {
    return IsReadMeMode() ? OnlyFile : ProgramName;
}

// Moves a control up by shift pixels, keeping its size.
void MoveControlUp(HWND dialog, int id, POINT origin, int shift) {
    HWND control = GetDlgItem(dialog, id);
    RECT rect;
    GetWindowRect(control, &rect);
    OffsetRect(&rect, -origin.x, -origin.y - shift);
    MoveWindow(control, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

// Hides the two shortcut boxes and closes the gap: OK and Cancel move up to
// the row of the first box and the dialog loses the same height.
void CloseUpShortcutBoxes(HWND dialog) {
    POINT origin = {0, 0};
    ClientToScreen(dialog, &origin);
    RECT boxRect;
    GetWindowRect(GetDlgItem(dialog, IDC_ADD_START_MENU), &boxRect);
    ShowWindow(GetDlgItem(dialog, IDC_ADD_START_MENU), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_ADD_DESKTOP), SW_HIDE);
    RECT okRect;
    GetWindowRect(GetDlgItem(dialog, IDOK), &okRect);
    const int shift = okRect.top - boxRect.top;
    MoveControlUp(dialog, IDOK, origin, shift);
    MoveControlUp(dialog, IDCANCEL, origin, shift);
    RECT dialogRect;
    GetWindowRect(dialog, &dialogRect);
    MoveWindow(dialog, dialogRect.left, dialogRect.top, dialogRect.right - dialogRect.left,
               dialogRect.bottom - dialogRect.top - shift, TRUE);
}

void OnInitDialog(HWND dialog) {
    UINT prompt;
    if (IsReadMeMode()) {
        CloseUpShortcutBoxes(dialog);
        prompt = IDS_PROMPT_README;
    } else {
        AddToStartMenu = true;
        AddToDesktop = true;
        SendDlgItemMessageA(dialog, IDC_ADD_START_MENU, BM_SETCHECK, BST_CHECKED, 0);
        SendDlgItemMessageA(dialog, IDC_ADD_DESKTOP, BM_SETCHECK, BST_CHECKED, 0);
        prompt = IDS_PROMPT_INSTALL;
    }
    LoadStringA(InstanceHandle, prompt, MsgBuf, TextSize);
    SetDlgItemTextA(dialog, IDC_FOLDER_PROMPT, MsgBuf);
    SendDlgItemMessageA(dialog, IDC_FOLDER_EDIT, EM_LIMITTEXT, PathSize - 1, 0);
    SetDlgItemTextA(dialog, IDC_FOLDER_EDIT, DestFolder);
}

// The typed or pasted text, without the spaces and the quotes around it, as
// an absolute path without a trailing backslash (a drive root keeps its
// own); false when it cannot be resolved, does not fit, or cannot name a
// folder (a device, a character no name holds, \\?\ and the like).
bool ResolveTypedPath(HWND dialog, char (&resolved)[PathSize]) {
    GetDlgItemTextA(dialog, IDC_FOLDER_EDIT, MsgBuf, TextSize);
    TrimTypedPath(MsgBuf);
    // An empty text means the current directory.
    const char* typed = MsgBuf[0] != 0 ? MsgBuf : ".";
    if (_fullpath(resolved, typed, PathSize) == NULL)
        return false;
    CutTrailingBackslash(resolved);
    return IsFolderPath(resolved);
}

// Not _stat: the runtime's takes a last trail byte 0x5C (of ソ or 表 at the
// end of a folder's name) for a trailing backslash and fails on the folder.
bool IsFolder(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The checks before a folder is accepted; false keeps the dialog open.
bool AcceptFolder(HWND dialog) {
    char resolved[PathSize];
    char folder[PathSize];
    // The folder must take its closing backslash and then the file's name:
    // a path that would not fit is refused rather than cut short.
    if (!ResolveTypedPath(dialog, resolved) || !CopyText(folder, resolved) ||
        !EndWithBackslash(folder) || !FitsWithName(folder, FileToPlace(), PathSize)) {
        ShowErrorMessage(dialog, IDS_ERR_BAD_PATH);
        return false;
    }
    CopyText(DestFolder, folder);
    if (_access(resolved, 0) != 0)
        return AskYesNo(dialog, IDS_ASK_CREATE_FOLDER, DestFolder);
    if (!IsFolder(resolved)) {
        ShowErrorMessage(dialog, IDS_ERR_BAD_PATH);
        return false;
    }
    if (IsReadMeMode()) {
        CopyText(MsgBuf, DestFolder);
        AppendText(MsgBuf, OnlyFile);
        if (_access(MsgBuf, 0) == 0)
            return AskYesNo(dialog, IDS_ASK_OVERWRITE_README, DestFolder);
    }
    return true;
}

void OnOk(HWND dialog) {
    if (!AcceptFolder(dialog))
        return;
    if (!IsReadMeMode()) {
        AddToStartMenu =
            SendDlgItemMessageA(dialog, IDC_ADD_START_MENU, BM_GETCHECK, 0, 0) == BST_CHECKED;
        AddToDesktop =
            SendDlgItemMessageA(dialog, IDC_ADD_DESKTOP, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    EndDialog(dialog, IDOK);
}

// Browsing only fills the edit box; DestFolder changes only through OK.
void OnBrowse(HWND dialog) {
    // The browser hosts the shell's namespace extensions, which are COM
    // objects and need an apartment on this thread.
    const HRESULT com = CoInitialize(NULL);
    IMalloc* allocator;
    if (FAILED(SHGetMalloc(&allocator))) {
        if (SUCCEEDED(com))
            CoUninitialize();
        return;
    }
    LoadStringA(InstanceHandle, IDS_BROWSE_TITLE, MsgBuf, TextSize);
    BROWSEINFOA browse = {};
    browse.hwndOwner = dialog;
    browse.pszDisplayName = CaptionBuf;
    browse.lpszTitle = MsgBuf;
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST list = SHBrowseForFolderA(&browse);
    if (list != NULL) {
        if (SHGetPathFromIDListA(list, CaptionBuf)) {
            EndWithBackslash(CaptionBuf); // a drive root already ends with one
            SetDlgItemTextA(dialog, IDC_FOLDER_EDIT, CaptionBuf);
        }
        allocator->Free(list);
    }
    allocator->Release();
    if (SUCCEEDED(com))
        CoUninitialize();
}

} // namespace

INT_PTR CALLBACK FolderDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE; // the focus goes to the edit box
    case WM_COMMAND:
        switch (wParam) {
        case IDOK:
            OnOk(dialog);
            return TRUE;
        case IDC_BROWSE:
            OnBrowse(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}
