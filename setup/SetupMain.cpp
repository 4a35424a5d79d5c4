// The entry function and the driver: the menu loop, the ReadMe flow and the
// install flow. The driver never calls the engine; it fills the globals, runs
// the dialogs and reads their results.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <string.h>
#include <wchar.h>

#include "../res/ResourceIds.h"
#include "DbcsText.h"
#include "Messages.h"
#include "PathRules.h"
#include "SetupGlobals.h"
#include "Shortcut.h"
#include "SystemLibrary.h"
#include "TextBuffer.h"

HINSTANCE InstanceHandle;
char SetupPath[PathSize];
char DestFolder[PathSize];
char OnlyFile[PathSize];
char MsgBuf[TextSize];
char CaptionBuf[TextSize];
bool AddToStartMenu;
bool AddToDesktop;

CExtractorLZH Extractor;

const char ProgramName[] = "Quillom.exe";
const char ReadMeName[] = "ReadMe.txt";

namespace {

const char OptionKey[] = "Software\\Fenwarde\\Quillometer\\Option";
const char ProgramFolderValue[] = "ProgramFolder";

INT_PTR ShowDialog(int templateId, DLGPROC procedure) {
    return DialogBoxParamA(InstanceHandle, MAKEINTRESOURCEA(templateId), NULL, procedure, 0);
}

// Runs the progress dialog; true when every wanted member was extracted.
// A dialog that cannot even be created must not report the error of an
// earlier job, so the code starts afresh.
bool RunExtraction() {
    Extractor.ErrorCode = ErrNone;
    return ShowDialog(IDD_PROGRESS, ProgressDlgProc) == IDOK;
}

// What GetFileAttributesA gives for a folder path that ends in a backslash.
unsigned long FolderAttributes(const char* folder) {
    char path[PathSize];
    if (!CopyText(path, folder))
        return NoFileAttributes;
    CutTrailingBackslash(path);
    return GetFileAttributesA(path);
}

// The folder of an earlier installation, as recorded in the registry, with
// its closing backslash. Only a string (REG_SZ) holding an absolute path of
// a folder that exists counts: a relative one would name a folder below
// whatever the current folder happens to be, and Yes to question 2011 would
// install there; a folder that is not there holds no installation. A value
// that is missing, of another type, relative, too long for the buffer or to
// take the program's name after it, or no path of an existing folder
// (PathRules.h) counts as no value at all.
void ReadProgramFolder() {
    DestFolder[0] = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, OptionKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    DWORD type = REG_NONE;
    DWORD size = PathSize - 1; // room for a terminator the value may lack
    LONG result = RegQueryValueExA(key, ProgramFolderValue, NULL, &type,
                                   reinterpret_cast<BYTE*>(DestFolder), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ || size > PathSize - 1) {
        DestFolder[0] = 0;
        return;
    }
    DestFolder[size] = 0;
    // The program's path is formed by appending its name, so a value written
    // without its closing backslash must get one.
    if (!EndWithBackslash(DestFolder) || !FitsWithName(DestFolder, ProgramName, PathSize) ||
        !IsRecordedInstallation(DestFolder, FolderAttributes(DestFolder)))
        DestFolder[0] = 0;
}

// The drive root of the Windows directory, then string 2003 and a backslash:
// "C:\Program Files\Quillometer\" on a usual system. A Windows directory
// that does not start with a drive root is kept whole, as on a network
// installation.
void BuildDefaultDestination() {
    const UINT length = GetWindowsDirectoryA(DestFolder, PathSize);
    if (length == 0 || length >= PathSize)
        DestFolder[0] = 0;
    if (strlen(DestFolder) >= 3 && DestFolder[1] == ':' && DestFolder[2] == '\\')
        DestFolder[3] = 0;
    EndWithBackslash(DestFolder);
    LoadStringA(InstanceHandle, IDS_DEFAULT_SUBFOLDER, MsgBuf, TextSize);
    // Proposing the Windows directory itself would be worse than nothing.
    if (!AppendText(DestFolder, MsgBuf) || !EndWithBackslash(DestFolder))
        DestFolder[0] = 0;
}

void RunReadMeFlow() {
    // Always the setup's own folder, whatever was chosen the time before.
    CopyText(DestFolder, SetupPath);
    DestFolder[LastCharIndex(DestFolder, '\\') + 1] = 0;
    CopyText(OnlyFile, ReadMeName);
    if (ShowDialog(IDD_FOLDER, FolderDlgProc) != IDOK)
        return;
    if (!RunExtraction()) {
        ShowEngineError();
        return;
    }
    // The folder dialog accepts only folders that take the name.
    if (AppendText(DestFolder, OnlyFile))
        ShellExecuteA(NULL, "open", DestFolder, NULL, NULL, SW_SHOWNORMAL);
}

void CompleteInstall() {
    if (!AppendText(DestFolder, ProgramName))
        return; // never: every destination was checked to take the name
    if (AddToStartMenu || AddToDesktop)
        CreateChosenShortcuts(DestFolder);
    if (AskYesNo(NULL, IDS_ASK_LAUNCH, NULL))
        ShellExecuteA(NULL, "open", DestFolder, NULL, NULL, SW_SHOWNORMAL);
}

// True when the install finished and the program is to end; false returns to
// the menu (a cancel, or a failure already reported).
bool RunInstallFlow() {
    ReadProgramFolder();
    if (DestFolder[0] == 0 && AskYesNo(NULL, IDS_ASK_SEARCH, NULL)) {
        if (ShowDialog(IDD_SEARCH, SearchDlgProc) != IDOK)
            return false;
        if (!FitsWithName(DestFolder, ProgramName, PathSize))
            DestFolder[0] = 0;
    }
    OnlyFile[0] = 0;
    bool chooseFolder = true;
    if (DestFolder[0] != 0)
        chooseFolder = !AskYesNo(NULL, IDS_ASK_INSTALL_OVER, DestFolder);
    else
        BuildDefaultDestination();
    AddToStartMenu = false;
    AddToDesktop = false;
    if (chooseFolder && ShowDialog(IDD_FOLDER, FolderDlgProc) != IDOK)
        return false;
    if (!RunExtraction()) {
        ShowEngineError();
        return false;
    }
    CompleteInstall();
    return true;
}

// The progress dialog's bar belongs to the common controls, which register
// their classes only when asked. The library stays loaded for the life of
// the process: the class lives in it. Without it the progress dialog cannot
// be made, and the extraction ends with its message.
void RegisterProgressBarClass() {
    typedef BOOL(WINAPI * InitCommonControlsExProc)(const INITCOMMONCONTROLSEX*);
    const HMODULE controls = LoadSystemLibrary("comctl32.dll");
    if (controls == NULL)
        return;
    const InitCommonControlsExProc initControls = reinterpret_cast<InitCommonControlsExProc>(
        reinterpret_cast<void*>(GetProcAddress(controls, "InitCommonControlsEx")));
    if (initControls == NULL)
        return;
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS};
    initControls(&classes);
}

// The narrow form of a wide path, only where it names the same file: a
// character that the ANSI code page lacks is replaced, by '?' or by a
// look-alike that may name another file, so the path must come back
// unchanged from the narrow form.
bool NarrowPath(const wchar_t* wide, char (&narrow)[PathSize]) {
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, PathSize, NULL, NULL) == 0)
        return false;
    wchar_t back[PathSize];
    return MultiByteToWideChar(CP_ACP, 0, narrow, -1, back, PathSize) != 0 &&
           wcscmp(back, wide) == 0;
}

// The running setup, which holds the archive. Where a folder's name has no
// form in the ANSI code page (a Korean name on a Japanese system), the
// narrow path of the module names no file; the short (8.3) path of the same
// file is plain ASCII and serves, and the ReadMe flow proposes its folder.
// A volume without short names gives the long path back: the archive then
// cannot be opened (2016).
void FindSetupPath(HINSTANCE instance) {
    GetModuleFileNameA(instance, SetupPath, PathSize);
    SetupPath[PathSize - 1] = 0; // a path cut short is left unterminated by some systems
    wchar_t wide[PathSize];
    const DWORD length = GetModuleFileNameW(instance, wide, PathSize);
    char narrow[PathSize];
    if (length == 0 || length >= PathSize || NarrowPath(wide, narrow))
        return;
    wchar_t shortPath[PathSize];
    const DWORD shortLength = GetShortPathNameW(wide, shortPath, PathSize);
    if (shortLength != 0 && shortLength < PathSize && NarrowPath(shortPath, narrow))
        CopyText(SetupPath, narrow);
}

void RunMenuLoop() {
    for (;;) {
        const INT_PTR choice = ShowDialog(IDD_MENU, MenuDlgProc);
        if (choice == IDC_VIEW_README)
            RunReadMeFlow();
        else if (choice != IDC_INSTALL || RunInstallFlow())
            return;
    }
}

} // namespace

INT_PTR CALLBACK MenuDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        // The whole wParam: only clicks count, and Esc or the close box
        // arrive as IDCANCEL.
        if (wParam == IDC_VIEW_README || wParam == IDC_INSTALL || wParam == IDCANCEL) {
            EndDialog(window, static_cast<INT_PTR>(wParam));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RestrictLibrarySearch(); // before anything can load a library
    InstanceHandle = instance;
    FindSetupPath(instance);
    RegisterProgressBarClass();
    RunMenuLoop();
    return 0;
}
