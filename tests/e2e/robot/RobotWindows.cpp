#include "RobotWindows.h"

#include "RobotText.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>

namespace {

const UINT AnswerWaitMs = 5000;

struct DialogSearch {
    DWORD ProcessId;
    std::vector<HWND> Found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param) {
    DialogSearch* search = reinterpret_cast<DialogSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->ProcessId && IsWindowVisible(window) && IsDialogWindow(window))
        search->Found.push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    std::vector<HWND>* children = reinterpret_cast<std::vector<HWND>*>(param);
    children->push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
    std::vector<HWND>* windows = reinterpret_cast<std::vector<HWND>*>(param);
    if (IsWindowVisible(window))
        windows->push_back(window);
    return TRUE;
}

bool IsIconStatic(HWND window) {
    LONG style = GetWindowLongA(window, GWL_STYLE);
    return (style & SS_TYPEMASK) == SS_ICON;
}

bool HasControl(HWND dialog, int id) {
    return ControlById(dialog, id) != nullptr;
}

// A message box holds its icon, its text and its buttons, nothing else (the
// shell's folder browser, also a dialog with OK, has a tree).
bool HasOnlyStaticsAndButtons(HWND dialog) {
    for (HWND control : ControlsOf(dialog)) {
        std::string cls = ClassOf(control);
        if (_stricmp(cls.c_str(), "Static") != 0 && _stricmp(cls.c_str(), "Button") != 0)
            return false;
    }
    return true;
}

std::string DescribeRect(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    char text[80];
    std::snprintf(text, sizeof text, "(%ld,%ld %ldx%ld)", rect.left, rect.top,
                  rect.right - rect.left, rect.bottom - rect.top);
    return text;
}

std::string DescribeControl(HWND control) {
    std::string line = "      id " + std::to_string(IdOf(control)) + " " + ClassOf(control) + " " +
                       Quoted(TextOf(control));
    if (!IsWindowVisible(control))
        line += " hidden";
    if (!IsWindowEnabled(control))
        line += " disabled";
    int state = 0;
    if (_stricmp(ClassOf(control).c_str(), "Button") == 0 && ReadButtonCheck(control, state) &&
        state != BST_UNCHECKED)
        line += " checked";
    int position = 0;
    if (_stricmp(ClassOf(control).c_str(), PROGRESS_CLASSA) == 0 &&
        ReadProgressPos(control, position))
        line += " pos " + std::to_string(position);
    return line + " " + DescribeRect(control) + "\n";
}

} // namespace

const char* KindName(DialogKind kind) {
    switch (kind) {
    case KindNone:
        return "nothing";
    case KindMenu:
        return "menu dialog";
    case KindFolder:
        return "folder dialog";
    case KindProgress:
        return "progress dialog";
    case KindSearch:
        return "search dialog";
    case KindMessageBox:
        return "message box";
    case KindOther:
        break;
    }
    return "unknown dialog";
}

DialogKind KindFromName(const std::string& name) {
    if (name == "menu")
        return KindMenu;
    if (name == "folder")
        return KindFolder;
    if (name == "progress")
        return KindProgress;
    if (name == "search")
        return KindSearch;
    if (name == "msgbox")
        return KindMessageBox;
    return KindNone;
}

std::string ClassOf(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window) {
    char text[2048] = "";
    if (_stricmp(ClassOf(window).c_str(), "Edit") == 0) {
        DWORD_PTR copied = 0;
        if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                                 SMTO_ABORTIFHUNG, AnswerWaitMs, &copied))
            return "(no answer to WM_GETTEXT)";
        return std::string(text, copied);
    }
    GetWindowTextA(window, text, sizeof text);
    return text;
}

int IdOf(HWND window) {
    return static_cast<int>(static_cast<WORD>(GetDlgCtrlID(window)));
}

bool IsDialogWindow(HWND window) {
    return ClassOf(window) == "#32770";
}

std::vector<HWND> VisibleDialogs(DWORD processId) {
    DialogSearch search = {processId, {}};
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

std::vector<HWND> ControlsOf(HWND dialog) {
    std::vector<HWND> children;
    EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

HWND ControlById(HWND dialog, int id) {
    for (HWND child : ControlsOf(dialog))
        if (GetParent(child) == dialog && IdOf(child) == id)
            return child;
    return nullptr;
}

DialogKind KindOf(HWND dialog) {
    if (HasControl(dialog, 1001) && HasControl(dialog, 1002))
        return KindMenu;
    if (HasControl(dialog, 1005) && HasControl(dialog, 1006))
        return KindFolder;
    if (HasControl(dialog, 1003) && HasControl(dialog, 1004))
        return KindProgress;
    if (HasControl(dialog, 1010))
        return KindSearch;
    if ((HasControl(dialog, IDOK) || HasControl(dialog, IDYES)) && HasOnlyStaticsAndButtons(dialog))
        return KindMessageBox;
    return KindOther;
}

std::string MessageBoxText(HWND box) {
    for (HWND child : ControlsOf(box))
        if (_stricmp(ClassOf(child).c_str(), "Static") == 0 && !IsIconStatic(child))
            return TextOf(child);
    return std::string();
}

bool ReadButtonCheck(HWND button, int& state) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(button, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, AnswerWaitMs, &answer))
        return false;
    state = static_cast<int>(answer);
    return true;
}

bool ReadProgressPos(HWND bar, int& position) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, AnswerWaitMs, &answer))
        return false;
    position = static_cast<int>(answer);
    return true;
}

HTREEITEM TreeItem(HWND tree, UINT relation, HTREEITEM item) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item),
                             SMTO_ABORTIFHUNG, AnswerWaitMs, &answer))
        return nullptr;
    return reinterpret_cast<HTREEITEM>(answer);
}

// TVM_GETITEMA writes into the TVITEMA and the text buffer it names, so both
// must live in the tree's own address space.
bool ReadTreeItemText(HWND tree, HANDLE process, HTREEITEM item, std::string& text) {
    const SIZE_T textSize = 520;
    char* remote = static_cast<char*>(
        VirtualAllocEx(process, nullptr, sizeof(TVITEMA) + textSize, MEM_COMMIT, PAGE_READWRITE));
    if (remote == nullptr)
        return false;
    TVITEMA request = {};
    request.mask = TVIF_TEXT;
    request.hItem = item;
    request.pszText = remote + sizeof(TVITEMA);
    request.cchTextMax = static_cast<int>(textSize);
    char buffer[textSize] = "";
    DWORD_PTR answer = 0;
    bool read = WriteProcessMemory(process, remote, &request, sizeof request, nullptr) &&
                SendMessageTimeoutA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote),
                                    SMTO_ABORTIFHUNG, AnswerWaitMs, &answer) &&
                answer != 0 &&
                ReadProcessMemory(process, remote, &request, sizeof request, nullptr) &&
                ReadProcessMemory(process, request.pszText, buffer, textSize - 1, nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    if (read)
        text = std::string(buffer, strnlen(buffer, textSize - 1));
    return read;
}

std::string DescribeWindows() {
    std::vector<HWND> windows;
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&windows));
    std::string text = "  visible top-level windows:\n";
    int shown = 0;
    for (HWND window : windows) {
        std::string cls = ClassOf(window);
        if (cls == "Shell_TrayWnd" || cls == "Progman")
            continue;
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        text += "    process " + std::to_string(processId) + " " + cls + " " +
                Quoted(TextOf(window)) + " " + DescribeRect(window) + "\n";
        if (IsDialogWindow(window))
            for (HWND control : ControlsOf(window))
                text += DescribeControl(control);
        ++shown;
    }
    if (shown == 0)
        text += "    (none)\n";
    return text;
}
