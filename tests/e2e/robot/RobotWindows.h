// What the robot sees of other programs' windows: the setup's dialogs and
// message boxes (top-level windows of class "#32770"), their controls, texts
// and states, read from outside as a screen reader would.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

enum DialogKind {
    KindNone,
    KindMenu,
    KindFolder,
    KindProgress,
    KindSearch,
    KindMessageBox,
    KindOther
};

const char* KindName(DialogKind kind);
// "menu", "folder", "progress", "search", "msgbox" → the kind; KindNone if unknown.
DialogKind KindFromName(const std::string& name);

std::string ClassOf(HWND window);
// The text a person reads on the window. Captions and the texts of static
// controls and buttons live in the window itself (GetWindowTextA); an edit
// box keeps its own text and is asked for it (WM_GETTEXT).
std::string TextOf(HWND window);
int IdOf(HWND window);
bool IsDialogWindow(HWND window);

// The visible top-level dialogs and message boxes of one process, topmost first.
std::vector<HWND> VisibleDialogs(DWORD processId);
// The first child control with the id (several statics may share -1).
HWND ControlById(HWND dialog, int id);
std::vector<HWND> ControlsOf(HWND dialog);
DialogKind KindOf(HWND dialog);
// A message box's text: its static with id 65535 that is not an icon.
std::string MessageBoxText(HWND box);

bool ReadButtonCheck(HWND button, int& state);
bool ReadProgressPos(HWND bar, int& position);

// Tree view items of another process: the handles travel in messages as
// they are; an item's text is read through a buffer in the tree's process.
HTREEITEM TreeItem(HWND tree, UINT relation, HTREEITEM item);
bool ReadTreeItemText(HWND tree, HANDLE process, HTREEITEM item, std::string& text);

// Every visible top-level window, with the controls of each dialog, in
// UTF-8 for a failure message.
std::string DescribeWindows();
