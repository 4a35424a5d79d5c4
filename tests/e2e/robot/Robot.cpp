// setup_robot: drives the setup under Wine as a person would, following a
// scenario, and fails with a clear message when the setup does not behave.
//
//   setup_robot [--log FILE] SCENARIO     run a scenario file
//   setup_robot --kill-strays             end leftover programs of the tests
//
// The robot starts the setup itself, then finds each dialog and message box
// (top-level "#32770" windows of the setup's process), reads captions, texts
// and control states from outside, and acts through the input a person
// gives: mouse clicks and key presses are posted to the control's queue, so
// the setup meets them between two of its work steps, exactly where a real
// click would wait. Texts in scenarios are UTF-8 and are converted to code
// page 932 before they are compared; a text named by its key comes from the
// tests' table of texts, and one named by a string id (@2009) must also
// equal what LoadStringA reads from the setup's own resources, so a wrong
// resource and a program that shows the wrong string both fail.
//
// Commands, one a line (# starts a comment; TEXT is one or more of "text",
// 'raw text', @KEY and short 'PATH', the short (8.3) form of an existing
// path, joined by +; the setup's PATH may hold any characters):
//   program PATH / texts PATH / recorder-log PATH / snap-request PATH
//   timeout SECONDS             the limit of every later wait (default 30)
//   start [DIR]                 start the setup, current directory DIR
//   dialog menu|folder|progress|search   wait for that dialog; checks its caption
//   msgbox ok|yesno TEXT        wait for a message box with these buttons and text
//   answer ok|yes|no            click that button of the message box, wait till it goes
//   browser TEXT                wait for the folder browser showing TEXT
//   browse-select PATH          choose folder PATH (X:\ or X:\a\b) in the browser, press OK
//   caption TEXT / text ID TEXT / label TEXT / checked ID yes|no / visible ID yes|no
//   icon                        the current dialog shows an icon
//   owner none|folder|...       the window that owns the current message box
//   click ID / tick ID yes|no / type ID TEXT / esc / close / gone
//   exit CODE                   wait for the setup's end and check its exit code
//   remember-layout NAME / closed-up NAME      the folder dialog's ReadMe-mode layout
//   progress-runs MEMBER / cancel-within MS    the progress dialog while MEMBER extracts
//   opened TEXT                 the next path that the recorder was asked to open
//   app-window TITLE PATH       a window TITLE of program PATH appears; close it
//   no-process NAME             no process of that program name runs
//   snap NAME                   ask the harness for a picture of the screen
//   drive-type X: fixed|removable|none
//   echo TEXT
#include "RobotText.h"
#include "RobotWindows.h"

#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

const DWORD PollMs = 20;
const int CaptionString = 2001;

struct Layout {
    RECT Dialog;
    std::map<int, RECT> Controls;
};

struct Robot {
    std::string ScenarioPath;
    int LineNumber = 0;
    std::string Line;
    FILE* Log = nullptr;
    DWORD TimeoutMs = 30000;
    std::wstring ProgramPath;
    HMODULE Resources = nullptr;
    TextTable Expected;
    PROCESS_INFORMATION Process = {};
    bool Started = false;
    HWND Current = nullptr;
    DialogKind CurrentKind = KindNone;
    std::string RecorderLog;
    size_t RecorderLinesSeen = 0;
    std::string SnapRequest;
    std::map<std::string, Layout> Layouts;
    std::string WatchedMember;
};

Robot g;

// ---------------------------------------------------------------------------
// Output and failure

void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (g.Log != nullptr) {
        std::fwrite(text.data(), 1, text.size(), g.Log);
        std::fflush(g.Log);
    }
}

void KillSetup() {
    if (g.Started && WaitForSingleObject(g.Process.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(g.Process.hProcess, 99);
        WaitForSingleObject(g.Process.hProcess, 5000);
    }
}

[[noreturn]] void Fail(const std::string& message) {
    std::string text = "setup_robot: FAILED at " + g.ScenarioPath + ":" +
                       std::to_string(g.LineNumber) + ": " + g.Line + "\n  " + message + "\n";
    text += DescribeWindows();
    Print(text);
    KillSetup();
    std::exit(1);
}

std::string Format(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// ---------------------------------------------------------------------------
// Arguments

struct Args {
    std::vector<Token> Tokens;
    size_t Next;
};

bool MoreArgs(const Args& args) {
    return args.Next < args.Tokens.size();
}

std::string WordArg(Args& args, const char* what) {
    if (!MoreArgs(args) || args.Tokens[args.Next].Kind != TokWord)
        Fail(std::string("expected ") + what);
    return args.Tokens[args.Next++].Text;
}

std::string Ansi(const std::string& utf8);

// A word or a quoted text, taken as it is (names, paths), in code page 932.
std::string PlainArg(Args& args, const char* what) {
    if (!MoreArgs(args) ||
        (args.Tokens[args.Next].Kind != TokWord && args.Tokens[args.Next].Kind != TokText))
        Fail(std::string("expected ") + what);
    return Ansi(args.Tokens[args.Next++].Text);
}

int IntArg(Args& args, const char* what) {
    std::string word = WordArg(args, what);
    char* end = nullptr;
    long value = std::strtol(word.c_str(), &end, 10);
    if (*end != '\0')
        Fail(std::string("expected a number: ") + what);
    return static_cast<int>(value);
}

bool YesNoArg(Args& args) {
    std::string word = WordArg(args, "yes or no");
    if (word != "yes" && word != "no")
        Fail("expected yes or no, not " + word);
    return word == "yes";
}

void EndOfArgs(const Args& args) {
    if (MoreArgs(args))
        Fail("unexpected argument " + args.Tokens[args.Next].Text);
}

std::string Ansi(const std::string& utf8) {
    std::string cp932;
    if (!Utf8ToCp932(utf8, cp932))
        Fail("the text \"" + utf8 + "\" cannot be written in code page 932");
    return cp932;
}

// The expected text of KEY. A string id's must also be what the setup's own
// string table holds.
std::string ExpectedText(const std::string& key) {
    TextTable::const_iterator entry = g.Expected.find(key);
    if (entry == g.Expected.end())
        Fail("no expected text for @" + key + " in the table of texts");
    std::string expected = Ansi(entry->second);
    char* end = nullptr;
    const long id = std::strtol(key.c_str(), &end, 10);
    if (*end != '\0')
        return expected; // a dialog's text, read from its window
    if (g.Resources == nullptr)
        Fail("@" + key + " needs the setup program: use 'program PATH' first");
    char loaded[1024] = "";
    int length = LoadStringA(g.Resources, static_cast<UINT>(id), loaded, sizeof loaded);
    if (std::string(loaded, length > 0 ? static_cast<size_t>(length) : 0) != expected)
        Fail("string " + key + " of the setup's resources is " + Quoted(loaded) +
             ", the tests expect " + Quoted(expected));
    return expected;
}

// A word or a quoted text, taken as it is, in UTF-16: a path that may hold
// characters that code page 932 lacks.
std::wstring WideArg(Args& args, const char* what) {
    if (!MoreArgs(args) ||
        (args.Tokens[args.Next].Kind != TokWord && args.Tokens[args.Next].Kind != TokText))
        Fail(std::string("expected ") + what);
    return WideText(CP_UTF8, args.Tokens[args.Next++].Text);
}

std::string Utf8(const std::wstring& text) {
    return NarrowText(CP_UTF8, text);
}

// The short (8.3) form of an existing path, in code page 932: how the
// setup's narrow calls can name a path whose long names code page 932 lacks.
std::string ShortPathText(Args& args) {
    const std::wstring path = WideArg(args, "the path after short");
    wchar_t shortPath[MAX_PATH];
    const DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        Fail(Format("no short path for %s (error %lu)", Utf8(path).c_str(), GetLastError()));
    return Ansi(Utf8(shortPath));
}

// TEXT: one or more texts and @IDs joined by +, in code page 932.
std::string TextArg(Args& args, const char* what) {
    std::string text;
    for (;;) {
        if (!MoreArgs(args))
            Fail(std::string("expected ") + what);
        const Token& token = args.Tokens[args.Next++];
        if (token.Kind == TokText)
            text += Ansi(token.Text);
        else if (token.Kind == TokString)
            text += ExpectedText(token.Text);
        else if (token.Kind == TokWord && token.Text == "short")
            text += ShortPathText(args);
        else
            Fail(std::string("expected ") + what + ", not " + token.Text);
        if (!MoreArgs(args) || args.Tokens[args.Next].Kind != TokPlus)
            return text;
        ++args.Next;
    }
}

// ---------------------------------------------------------------------------
// Waiting

bool SetupRunning() {
    return g.Started && WaitForSingleObject(g.Process.hProcess, 0) == WAIT_TIMEOUT;
}

void RequireRunning(const std::string& waitingFor) {
    if (!g.Started)
        Fail("the setup was not started ('start' first)");
    if (!SetupRunning()) {
        DWORD code = 0;
        GetExitCodeProcess(g.Process.hProcess, &code);
        Fail(Format("the setup ended (exit code %lu) while the robot waited for ", code) +
             waitingFor);
    }
}

bool TimedOut(DWORD start) {
    return GetTickCount() - start > g.TimeoutMs;
}

std::string Seconds() {
    return Format("%.1f s", g.TimeoutMs / 1000.0);
}

HWND FindDialog(DialogKind kind, HWND& messageBox) {
    HWND found = nullptr;
    messageBox = nullptr;
    for (HWND dialog : VisibleDialogs(g.Process.dwProcessId)) {
        DialogKind k = KindOf(dialog);
        if (k == kind && found == nullptr)
            found = dialog;
        if (k == KindMessageBox && messageBox == nullptr)
            messageBox = dialog;
    }
    return found;
}

void ExpectCaption(HWND window, const std::string& expected, const char* what) {
    std::string caption = TextOf(window);
    if (caption != expected)
        Fail(std::string("the caption of the ") + what + " is " + Quoted(caption) + ", expected " +
             Quoted(expected));
}

void MakeCurrent(HWND window, DialogKind kind) {
    g.Current = window;
    g.CurrentKind = kind;
    if (kind != KindOther)
        ExpectCaption(window, ExpectedText(std::to_string(CaptionString)), KindName(kind));
}

// Waits for a dialog of the kind while no message box shows; an unexpected
// message box fails at once with its text.
void WaitForDialog(DialogKind kind) {
    DWORD start = GetTickCount();
    for (;;) {
        RequireRunning(std::string("the ") + KindName(kind));
        HWND messageBox = nullptr;
        HWND found = FindDialog(kind, messageBox);
        if (messageBox != nullptr)
            Fail(std::string("expected the ") + KindName(kind) +
                 ", but a message box shows: " + Quoted(MessageBoxText(messageBox)));
        if (found != nullptr) {
            MakeCurrent(found, kind);
            return;
        }
        if (TimedOut(start))
            Fail(std::string("the ") + KindName(kind) + " did not appear within " + Seconds());
        Sleep(PollMs);
    }
}

bool Contains(const std::vector<HWND>& windows, HWND window) {
    for (HWND w : windows)
        if (w == window)
            return true;
    return false;
}

// Waits for a message box, failing at once when a new menu or folder
// dialog appears instead (the setup went on without asking). Work dialogs
// may come and go before the message.
HWND WaitForMessageBox() {
    std::vector<HWND> before = VisibleDialogs(g.Process.dwProcessId);
    DWORD start = GetTickCount();
    for (;;) {
        RequireRunning("a message box");
        for (HWND dialog : VisibleDialogs(g.Process.dwProcessId)) {
            DialogKind kind = KindOf(dialog);
            if (kind == KindMessageBox)
                return dialog;
            if ((kind == KindMenu || kind == KindFolder) && !Contains(before, dialog))
                Fail(std::string("expected a message box, but the ") + KindName(kind) +
                     " appeared");
        }
        if (TimedOut(start))
            Fail("no message box appeared within " + Seconds());
        Sleep(PollMs);
    }
}

bool IsGone(HWND window) {
    return !IsWindow(window) || !IsWindowVisible(window);
}

void WaitUntilGone(HWND window, const char* what) {
    DWORD start = GetTickCount();
    while (!IsGone(window)) {
        if (TimedOut(start))
            Fail(std::string("the ") + what + " did not close within " + Seconds());
        Sleep(PollMs);
    }
}

// ---------------------------------------------------------------------------
// The current window and its controls

HWND RequireCurrent(DialogKind kind) {
    if (g.Current == nullptr || IsGone(g.Current))
        Fail("no dialog or message box is current (wait for one first)");
    if (kind != KindNone && g.CurrentKind != kind)
        Fail(std::string("this needs the ") + KindName(kind) + ", the current window is the " +
             KindName(g.CurrentKind));
    return g.Current;
}

HWND RequireControl(int id) {
    HWND control = ControlById(RequireCurrent(KindNone), id);
    if (control == nullptr)
        Fail(Format("the %s has no control %d", KindName(g.CurrentKind), id));
    return control;
}

// A click as the mouse gives it: button down and up in the middle of the
// control, queued for the control's thread. A hidden or disabled control, or
// one in a disabled dialog, cannot be clicked by a person, so neither here.
void Click(HWND control) {
    if (!IsWindowVisible(control) || !IsWindowEnabled(control) ||
        !IsWindowEnabled(GetAncestor(control, GA_ROOT)))
        Fail(Format("control %d (%s) is hidden or disabled: a person could not click it",
                    IdOf(control), Quoted(TextOf(control)).c_str()));
    RECT client;
    GetClientRect(control, &client);
    LPARAM point = MAKELPARAM(client.right / 2, client.bottom / 2);
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(control, WM_LBUTTONUP, 0, point);
}

// A key press goes to the window that has the keyboard focus in the
// dialog's thread, where the dialog manager sees it.
void PressKey(HWND dialog, WPARAM key) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    HWND target = dialog;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) &&
        info.hwndFocus != nullptr)
        target = info.hwndFocus;
    UINT scan = MapVirtualKeyA(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
    PostMessageA(target, WM_KEYDOWN, key, static_cast<LPARAM>(1 | (scan << 16)));
    PostMessageA(target, WM_KEYUP, key, static_cast<LPARAM>(1 | (scan << 16) | 0xC0000000u));
}

void WaitForText(HWND control, const std::string& expected) {
    DWORD start = GetTickCount();
    while (TextOf(control) != expected) {
        if (TimedOut(start))
            Fail(Format("control %d shows %s, expected %s", IdOf(control),
                        Quoted(TextOf(control)).c_str(), Quoted(expected).c_str()));
        Sleep(PollMs);
    }
}

int CheckState(HWND control) {
    int state = -1;
    if (!ReadButtonCheck(control, state))
        Fail(Format("control %d does not answer BM_GETCHECK", IdOf(control)));
    return state;
}

// ---------------------------------------------------------------------------
// Commands: the setup and its dialogs

void CmdProgram(Args& args) {
    g.ProgramPath = WideArg(args, "the setup's path");
    EndOfArgs(args);
    g.Resources = LoadLibraryExW(g.ProgramPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (g.Resources == nullptr)
        Fail("cannot load \"" + Utf8(g.ProgramPath) + "\" as a data file");
}

void CmdTexts(Args& args) {
    std::string path = PlainArg(args, "the table of texts");
    EndOfArgs(args);
    std::string error;
    if (!ReadTextTable(path, g.Expected, error))
        Fail(error);
}

// The folder of a path, with its backslash.
std::wstring FolderOf(const std::wstring& path) {
    const size_t last = path.rfind(L'\\');
    return last == std::wstring::npos ? std::wstring() : path.substr(0, last + 1);
}

void CmdStart(Args& args) {
    std::wstring folder = FolderOf(g.ProgramPath);
    if (MoreArgs(args))
        folder = WideArg(args, "the current directory");
    EndOfArgs(args);
    if (g.Started)
        Fail("the setup was started already");
    std::wstring commandLine = L"\"" + g.ProgramPath + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessW(g.ProgramPath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &g.Process))
        Fail(Format("cannot start \"%s\" in \"%s\" (error %lu)", Utf8(g.ProgramPath).c_str(),
                    Utf8(folder).c_str(), GetLastError()));
    g.Started = true;
}

void CmdDialog(Args& args) {
    std::string name = WordArg(args, "menu, folder, progress or search");
    EndOfArgs(args);
    DialogKind kind = KindFromName(name);
    if (kind == KindNone || kind == KindMessageBox)
        Fail("unknown dialog " + name);
    WaitForDialog(kind);
}

void ExpectButtons(HWND box, bool yesNo) {
    bool hasYes = ControlById(box, IDYES) != nullptr;
    bool hasNo = ControlById(box, IDNO) != nullptr;
    bool hasOk = ControlById(box, IDOK) != nullptr;
    bool hasCancel = ControlById(box, IDCANCEL) != nullptr;
    bool right = yesNo ? (hasYes && hasNo && !hasOk && !hasCancel)
                       : (hasOk && !hasYes && !hasNo && !hasCancel);
    if (!right)
        Fail(std::string("the message box should have ") + (yesNo ? "Yes and No" : "only OK") +
             Format(" (has Yes %d, No %d, OK %d, Cancel %d)", hasYes, hasNo, hasOk, hasCancel));
}

void CmdMsgBox(Args& args) {
    std::string buttons = WordArg(args, "ok or yesno");
    if (buttons != "ok" && buttons != "yesno")
        Fail("expected ok or yesno, not " + buttons);
    std::string expected = TextArg(args, "the message text");
    EndOfArgs(args);
    HWND box = WaitForMessageBox();
    MakeCurrent(box, KindMessageBox);
    std::string shown = MessageBoxText(box);
    if (shown != expected)
        Fail("the message box says " + Quoted(shown) + ", expected " + Quoted(expected));
    ExpectButtons(box, buttons == "yesno");
}

void CmdAnswer(Args& args) {
    std::string answer = WordArg(args, "ok, yes or no");
    EndOfArgs(args);
    int id = answer == "ok" ? IDOK : answer == "yes" ? IDYES : answer == "no" ? IDNO : 0;
    if (id == 0)
        Fail("expected ok, yes or no, not " + answer);
    HWND box = RequireCurrent(KindMessageBox);
    Click(RequireControl(id));
    WaitUntilGone(box, "message box");
    g.Current = nullptr;
}

// The shell's folder browser: a dialog of the setup that is none of its own.
void CmdBrowser(Args& args) {
    std::string expected = TextArg(args, "the browser's title line");
    EndOfArgs(args);
    DWORD start = GetTickCount();
    for (;;) {
        RequireRunning("the folder browser");
        for (HWND dialog : VisibleDialogs(g.Process.dwProcessId)) {
            if (KindOf(dialog) == KindMenu || KindOf(dialog) == KindFolder)
                continue;
            for (HWND control : ControlsOf(dialog))
                if (TextOf(control) == expected) {
                    MakeCurrent(dialog, KindOther);
                    return;
                }
        }
        if (TimedOut(start))
            Fail("no folder browser showing " + Quoted(expected) + " appeared within " + Seconds());
        Sleep(PollMs);
    }
}

// ---------------------------------------------------------------------------
// Commands: choosing a folder in the folder browser's tree

const UINT TreeAnswerMs = 5000;

HWND RequireTree(HWND browser) {
    for (HWND control : ControlsOf(browser))
        if (_stricmp(ClassOf(control).c_str(), WC_TREEVIEWA) == 0)
            return control;
    Fail("the folder browser has no tree");
}

std::string TreeText(HWND tree, HTREEITEM item) {
    std::string text;
    if (!ReadTreeItemText(tree, g.Process.hProcess, item, text))
        Fail("cannot read the text of an item of the browser's tree");
    return text;
}

// The browser fills an item's children when it is expanded; with waitMs the
// robot gives it that long to show the first.
HTREEITEM ExpandedChild(HWND tree, HTREEITEM item, DWORD waitMs) {
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item),
                        SMTO_ABORTIFHUNG, TreeAnswerMs, &answer);
    DWORD start = GetTickCount();
    HTREEITEM child = TreeItem(tree, TVGN_CHILD, item);
    while (child == nullptr && GetTickCount() - start < waitMs) {
        Sleep(PollMs);
        child = TreeItem(tree, TVGN_CHILD, item);
    }
    return child;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The drive shows as "NAME (X:)" under My Computer, whose own name depends on
// the language, so every item of the first two levels under the desktop is
// looked at.
HTREEITEM FindDriveItem(HWND tree, char letter, std::string& seen) {
    std::string mark = std::string("(") + letter + ":)";
    HTREEITEM desktop = TreeItem(tree, TVGN_ROOT, nullptr);
    if (desktop == nullptr)
        Fail("the browser's tree is empty");
    for (HTREEITEM top = ExpandedChild(tree, desktop, g.TimeoutMs); top != nullptr;
         top = TreeItem(tree, TVGN_NEXT, top)) {
        std::string text = TreeText(tree, top);
        seen += " " + Quoted(text);
        if (EndsWith(text, mark))
            return top;
        for (HTREEITEM item = ExpandedChild(tree, top, 0); item != nullptr;
             item = TreeItem(tree, TVGN_NEXT, item)) {
            std::string inner = TreeText(tree, item);
            seen += " " + Quoted(text + "/" + inner);
            if (EndsWith(inner, mark))
                return item;
        }
    }
    return nullptr;
}

HTREEITEM FindChildNamed(HWND tree, HTREEITEM parent, const std::string& name) {
    std::string seen;
    for (HTREEITEM item = ExpandedChild(tree, parent, g.TimeoutMs); item != nullptr;
         item = TreeItem(tree, TVGN_NEXT, item)) {
        std::string text = TreeText(tree, item);
        if (text == name)
            return item;
        seen += " " + Quoted(text);
    }
    Fail("the browser's tree shows no folder " + Quoted(name) + " here; it shows:" + seen);
}

// Walks the tree from the drive down to PATH (X:\ or X:\a\b), selects the
// folder as a click on it would and presses the browser's OK.
void CmdBrowseSelect(Args& args) {
    std::string path = PlainArg(args, "a folder path");
    EndOfArgs(args);
    if (path.size() < 3 || path[1] != ':' || path[2] != '\\')
        Fail("expected a path X:\\..., not " + Quoted(path));
    HWND browser = RequireCurrent(KindOther);
    HWND tree = RequireTree(browser);
    std::string seen;
    HTREEITEM item = FindDriveItem(tree, static_cast<char>(std::toupper(path[0])), seen);
    if (item == nullptr)
        Fail("the browser's tree shows no drive " + path.substr(0, 2) + "; it shows:" + seen);
    size_t from = 3;
    while (from < path.size()) {
        size_t end = path.find('\\', from);
        if (end == std::string::npos)
            end = path.size();
        item = FindChildNamed(tree, item, path.substr(from, end - from));
        from = end + 1;
    }
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item),
                        SMTO_ABORTIFHUNG, TreeAnswerMs, &answer);
    SendMessageTimeoutA(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item),
                        SMTO_ABORTIFHUNG, TreeAnswerMs, &answer);
    if (TreeItem(tree, TVGN_CARET, nullptr) != item)
        Fail("the browser's tree did not select " + Quoted(path));
    Click(RequireControl(IDOK));
}

void CmdCaption(Args& args) {
    std::string expected = TextArg(args, "the caption");
    EndOfArgs(args);
    ExpectCaption(RequireCurrent(KindNone), expected, KindName(g.CurrentKind));
}

void CmdText(Args& args) {
    int id = IntArg(args, "a control id");
    std::string expected = TextArg(args, "the text");
    EndOfArgs(args);
    HWND control = RequireControl(id);
    std::string shown = TextOf(control);
    if (shown != expected)
        Fail(Format("control %d of the %s shows %s, expected %s", id, KindName(g.CurrentKind),
                    Quoted(shown).c_str(), Quoted(expected).c_str()));
}

// A static label that the program never addresses (id -1, 65535).
void CmdLabel(Args& args) {
    std::string expected = TextArg(args, "the label's text");
    EndOfArgs(args);
    std::string seen;
    for (HWND control : ControlsOf(RequireCurrent(KindNone))) {
        if (IdOf(control) != 0xFFFF || _stricmp(ClassOf(control).c_str(), "Static") != 0)
            continue;
        if (TextOf(control) == expected && IsWindowVisible(control))
            return;
        seen += " " + Quoted(TextOf(control));
    }
    Fail("no visible label " + Quoted(expected) + " in the " + KindName(g.CurrentKind) +
         "; its labels:" + seen);
}

// The window that owns the current message box: a question about the folder
// dialog's input belongs to that dialog (which it disables), the driver's own
// messages to no window.
void CmdOwner(Args& args) {
    std::string name = WordArg(args, "none or a dialog name");
    EndOfArgs(args);
    DialogKind wanted = name == "none" ? KindNone : KindFromName(name);
    if (wanted == KindNone && name != "none")
        Fail("unknown dialog " + name);
    HWND owner = GetWindow(RequireCurrent(KindNone), GW_OWNER);
    DialogKind kind = owner == nullptr ? KindNone : KindOf(owner);
    if (kind != wanted)
        Fail(std::string("the ") + KindName(g.CurrentKind) + " is owned by " +
             (owner == nullptr ? "no window" : std::string("the ") + KindName(kind)) +
             ", expected " + (wanted == KindNone ? "no window" : KindName(wanted)));
    if (owner != nullptr && IsWindowEnabled(owner))
        Fail(std::string("the ") + KindName(kind) + " stays enabled under its message box");
}

// The current dialog shows an icon (a static of style SS_ICON holding one).
void CmdIcon(Args& args) {
    EndOfArgs(args);
    for (HWND control : ControlsOf(RequireCurrent(KindNone))) {
        if ((GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) != SS_ICON ||
            _stricmp(ClassOf(control).c_str(), "Static") != 0 || !IsWindowVisible(control))
            continue;
        DWORD_PTR icon = 0;
        if (SendMessageTimeoutA(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &icon) &&
            icon != 0)
            return;
    }
    Fail(std::string("the ") + KindName(g.CurrentKind) + " shows no icon");
}

void CmdChecked(Args& args) {
    int id = IntArg(args, "a check box id");
    bool wanted = YesNoArg(args);
    EndOfArgs(args);
    int state = CheckState(RequireControl(id));
    if ((state == BST_CHECKED) != wanted)
        Fail(Format("box %d is %s, expected %s", id, state == BST_CHECKED ? "ticked" : "clear",
                    wanted ? "ticked" : "clear"));
}

void CmdVisible(Args& args) {
    int id = IntArg(args, "a control id");
    bool wanted = YesNoArg(args);
    EndOfArgs(args);
    bool visible = IsWindowVisible(RequireControl(id)) != FALSE;
    if (visible != wanted)
        Fail(Format("control %d is %s, expected %s", id, visible ? "visible" : "hidden",
                    wanted ? "visible" : "hidden"));
}

void CmdClick(Args& args) {
    int id = IntArg(args, "a control id");
    EndOfArgs(args);
    Click(RequireControl(id));
}

void CmdTick(Args& args) {
    int id = IntArg(args, "a check box id");
    bool wanted = YesNoArg(args);
    EndOfArgs(args);
    HWND box = RequireControl(id);
    if ((CheckState(box) == BST_CHECKED) != wanted)
        Click(box);
    DWORD start = GetTickCount();
    while ((CheckState(box) == BST_CHECKED) != wanted) {
        if (TimedOut(start))
            Fail(Format("box %d did not change when clicked", id));
        Sleep(PollMs);
    }
}

// Types into an edit box as a person does: a click into it, everything
// selected, then one character after another replacing the selection.
void CmdType(Args& args) {
    int id = IntArg(args, "an edit box id");
    std::string text = TextArg(args, "the text to type");
    EndOfArgs(args);
    HWND edit = RequireControl(id);
    // Queued behind the click, which would otherwise undo the selection.
    Click(edit);
    PostMessageA(edit, EM_SETSEL, 0, -1);
    for (unsigned char c : text)
        PostMessageA(edit, WM_CHAR, c, 1);
    WaitForText(edit, text);
}

void CmdEsc(Args& args) {
    EndOfArgs(args);
    PressKey(RequireCurrent(KindNone), VK_ESCAPE);
}

// The close box of the caption sends the window SC_CLOSE.
void CmdClose(Args& args) {
    EndOfArgs(args);
    PostMessageA(RequireCurrent(KindNone), WM_SYSCOMMAND, SC_CLOSE, 0);
}

// The window may have closed before this line is read: that is what it waits for.
void CmdGone(Args& args) {
    EndOfArgs(args);
    if (g.Current == nullptr)
        Fail("no dialog or message box is current (wait for one first)");
    WaitUntilGone(g.Current, KindName(g.CurrentKind));
    g.Current = nullptr;
}

void CmdExit(Args& args) {
    int expected = IntArg(args, "the exit code");
    EndOfArgs(args);
    if (!g.Started)
        Fail("the setup was not started");
    if (WaitForSingleObject(g.Process.hProcess, g.TimeoutMs) != WAIT_OBJECT_0)
        Fail("the setup did not end within " + Seconds());
    DWORD code = 0;
    GetExitCodeProcess(g.Process.hProcess, &code);
    if (static_cast<int>(code) != expected)
        Fail(Format("the setup ended with exit code %lu, expected %d", code, expected));
    g.Current = nullptr;
}

// ---------------------------------------------------------------------------
// Commands: the folder dialog's layout in its two modes

const int LayoutIds[] = {1005, 1006, 1007, 1008, 1009, IDOK, IDCANCEL};

RECT WindowRect(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    return rect;
}

// A control's rectangle relative to the dialog's top left corner.
RECT RelativeRect(HWND dialog, int id) {
    RECT dialogRect = WindowRect(dialog);
    RECT rect = WindowRect(RequireControl(id));
    OffsetRect(&rect, -dialogRect.left, -dialogRect.top);
    return rect;
}

std::string RectText(const RECT& r) {
    return Format("(%ld,%ld %ldx%ld)", r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void CmdRememberLayout(Args& args) {
    std::string name = WordArg(args, "a name");
    EndOfArgs(args);
    HWND dialog = RequireCurrent(KindFolder);
    Layout layout;
    layout.Dialog = WindowRect(dialog);
    for (int id : LayoutIds)
        layout.Controls[id] = RelativeRect(dialog, id);
    g.Layouts[name] = layout;
}

void ExpectRect(int id, const RECT& shown, const RECT& expected, const char* how) {
    if (!EqualRect(&shown, &expected))
        Fail(Format("control %d is at %s, expected %s (%s)", id, RectText(shown).c_str(),
                    RectText(expected).c_str(), how));
}

// ReadMe mode: both boxes hidden, OK and Cancel moved up onto the row of the
// first box, the dialog shorter by the same distance, the rest in place.
void CmdClosedUp(Args& args) {
    std::string name = WordArg(args, "the name of a remembered layout");
    EndOfArgs(args);
    if (g.Layouts.find(name) == g.Layouts.end())
        Fail("no layout remembered as " + name);
    const Layout& before = g.Layouts[name];
    HWND dialog = RequireCurrent(KindFolder);
    for (int id : {1008, 1009})
        if (IsWindowVisible(RequireControl(id)))
            Fail(Format("box %d is visible in ReadMe mode", id));
    LONG shift = before.Controls.at(IDOK).top - before.Controls.at(1008).top;
    if (shift <= 0)
        Fail(Format("the remembered layout has OK above box 1008 (shift %ld)", shift));
    for (int id : {1005, 1006, 1007})
        ExpectRect(id, RelativeRect(dialog, id), before.Controls.at(id), "unmoved");
    for (int id : {IDOK, IDCANCEL}) {
        RECT expected = before.Controls.at(id);
        OffsetRect(&expected, 0, -shift);
        ExpectRect(id, RelativeRect(dialog, id), expected, "moved up onto the first box's row");
    }
    RECT now = WindowRect(dialog);
    LONG heightBefore = before.Dialog.bottom - before.Dialog.top;
    if (now.right - now.left != before.Dialog.right - before.Dialog.left ||
        now.bottom - now.top != heightBefore - shift)
        Fail(Format("the dialog is %s, expected the install-mode size %s less %ld in height",
                    RectText(now).c_str(), RectText(before.Dialog).c_str(), shift));
    Print(Format("setup_robot: ReadMe mode closed up by %ld px: dialog %s -> %s, OK row %ld -> "
                 "%ld\n",
                 shift, RectText(before.Dialog).c_str(), RectText(now).c_str(),
                 before.Controls.at(IDOK).top, before.Controls.at(IDOK).top - shift));
}

// ---------------------------------------------------------------------------
// Commands: the progress dialog at work

std::string JoinInts(const std::vector<int>& values) {
    std::string text;
    for (int v : values)
        text += (text.empty() ? "" : " ") + std::to_string(v);
    return text;
}

std::string JoinNames(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& n : names)
        text += (text.empty() ? "" : " -> ") + Quoted(n);
    return text;
}

// Watches the member-name line and the bar until the name line has changed
// to MEMBER and the bar has moved through at least three values during it.
void CmdProgressRuns(Args& args) {
    std::string member = TextArg(args, "the member's name");
    EndOfArgs(args);
    HWND dialog = RequireCurrent(KindProgress);
    HWND nameLine = RequireControl(1003);
    HWND bar = RequireControl(1004);
    std::vector<std::string> names;
    std::vector<int> positions;
    DWORD start = GetTickCount();
    for (;;) {
        std::string name = TextOf(nameLine);
        int position = -1;
        if (IsGone(dialog))
            Fail("the progress dialog closed before " + Quoted(member) +
                 " was seen extracting; names: " + JoinNames(names) +
                 "; bar: " + JoinInts(positions));
        if (names.empty() || names.back() != name)
            names.push_back(name);
        if (name == member && ReadProgressPos(bar, position) &&
            (positions.empty() || positions.back() != position))
            positions.push_back(position);
        if (names.size() >= 2 && positions.size() >= 3 && positions.back() > 0 &&
            positions.back() < 100)
            break;
        if (TimedOut(start))
            Fail("the progress dialog did not show " + Quoted(member) + " moving within " +
                 Seconds() + "; names: " + JoinNames(names) + "; bar: " + JoinInts(positions));
        Sleep(2);
    }
    g.WatchedMember = member;
    Print("setup_robot: progress: name line " + JoinNames(names) + "; bar during " +
          Quoted(member) + ": " + JoinInts(positions) + "\n");
}

// Clicks Cancel while the watched member is still extracting and measures
// the time until the dialog is gone.
void CmdCancelWithin(Args& args) {
    int limitMs = IntArg(args, "the limit in milliseconds");
    EndOfArgs(args);
    HWND dialog = RequireCurrent(KindProgress);
    HWND cancel = RequireControl(IDCANCEL);
    int position = 0;
    ReadProgressPos(RequireControl(1004), position);
    std::string name = TextOf(RequireControl(1003));
    if (!g.WatchedMember.empty() && name != g.WatchedMember)
        Fail("the member " + Quoted(g.WatchedMember) +
             " was no longer extracting when Cancel was to be clicked (the name line shows " +
             Quoted(name) + ")");
    LARGE_INTEGER clicked, now;
    QueryPerformanceCounter(&clicked);
    Click(cancel);
    double elapsed = 0;
    do {
        Sleep(1);
        QueryPerformanceCounter(&now);
        elapsed = Milliseconds(clicked, now);
        if (elapsed > 10.0 * limitMs + 5000)
            Fail(Format("the progress dialog was still there %.0f ms after Cancel", elapsed));
    } while (!IsGone(dialog));
    Print(Format("setup_robot: Cancel answered in %.1f ms (name line %s, bar at %d)\n", elapsed,
                 Quoted(name).c_str(), position));
    if (elapsed > limitMs)
        Fail(Format("Cancel took %.1f ms to close the progress dialog, more than %d ms", elapsed,
                    limitMs));
    g.Current = nullptr;
}

// ---------------------------------------------------------------------------
// Commands: what the setup started

std::string ReadWholeFile(const std::string& path) {
    std::string data;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return data;
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        data.append(buffer, count);
    std::fclose(file);
    return data;
}

std::vector<std::string> CompleteLines(const std::string& data) {
    std::vector<std::string> lines;
    size_t start = 0, end;
    while ((end = data.find("\r\n", start)) != std::string::npos) {
        lines.push_back(data.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

void CmdOpened(Args& args) {
    std::string expected = TextArg(args, "the opened path");
    EndOfArgs(args);
    if (g.RecorderLog.empty())
        Fail("no recorder log named ('recorder-log PATH')");
    DWORD start = GetTickCount();
    std::vector<std::string> lines;
    while ((lines = CompleteLines(ReadWholeFile(g.RecorderLog))).size() <= g.RecorderLinesSeen) {
        if (TimedOut(start))
            Fail("nothing was opened within " + Seconds() + " (expected " + Quoted(expected) + ")");
        Sleep(PollMs);
    }
    std::string opened = lines[g.RecorderLinesSeen++];
    if (opened != expected)
        Fail("the setup opened " + Quoted(opened) + ", expected " + Quoted(expected));
}

struct TitleSearch {
    std::string Title;
    HWND Found;
};

BOOL CALLBACK MatchTitle(HWND window, LPARAM param) {
    TitleSearch* search = reinterpret_cast<TitleSearch*>(param);
    if (IsWindowVisible(window) && !IsDialogWindow(window) && TextOf(window) == search->Title) {
        search->Found = window;
        return FALSE;
    }
    return TRUE;
}

std::string ImagePath(HANDLE process) {
    char path[MAX_PATH] = "";
    DWORD size = sizeof path;
    if (!QueryFullProcessImageNameA(process, 0, path, &size))
        return "(unknown)";
    return path;
}

void CmdAppWindow(Args& args) {
    std::string title = TextArg(args, "the window title");
    std::string program = TextArg(args, "the program's path");
    EndOfArgs(args);
    TitleSearch search = {title, nullptr};
    DWORD start = GetTickCount();
    while (EnumWindows(MatchTitle, reinterpret_cast<LPARAM>(&search)), search.Found == nullptr) {
        if (TimedOut(start))
            Fail("no window titled " + Quoted(title) + " appeared within " + Seconds());
        Sleep(PollMs);
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(search.Found, &processId);
    HANDLE process = OpenProcess(
        PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId);
    if (process == nullptr)
        Fail("cannot open the process of the window " + Quoted(title));
    std::string image = ImagePath(process);
    PostMessageA(search.Found, WM_CLOSE, 0, 0);
    bool ended = WaitForSingleObject(process, g.TimeoutMs) == WAIT_OBJECT_0;
    if (!ended)
        TerminateProcess(process, 99);
    CloseHandle(process);
    if (_stricmp(image.c_str(), program.c_str()) != 0)
        Fail("the window " + Quoted(title) + " belongs to " + Quoted(image) + ", expected " +
             Quoted(program));
    if (!ended)
        Fail("the program " + Quoted(image) + " did not end after WM_CLOSE");
    Print("setup_robot: " + Quoted(image) + " showed its window " + Quoted(title) +
          " and closed\n");
}

void CmdNoProcess(Args& args) {
    std::string name = PlainArg(args, "a program name");
    EndOfArgs(args);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found;
         more = Process32Next(snapshot, &entry))
        found = _stricmp(entry.szExeFile, name.c_str()) == 0;
    CloseHandle(snapshot);
    if (found)
        Fail("the program " + name + " is running, but nothing should have started it");
}

// ---------------------------------------------------------------------------
// Commands: pictures, drives, messages

// The harness watches for the request file, takes the picture and removes
// the file.
void CmdSnap(Args& args) {
    std::string name = PlainArg(args, "the picture's name");
    EndOfArgs(args);
    if (g.SnapRequest.empty())
        Fail("no snap request file named ('snap-request PATH')");
    std::string temporary = g.SnapRequest + ".new";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr)
        Fail("cannot write " + temporary);
    std::fputs(name.c_str(), file);
    std::fclose(file);
    MoveFileExA(temporary.c_str(), g.SnapRequest.c_str(), MOVEFILE_REPLACE_EXISTING);
    DWORD start = GetTickCount();
    while (GetFileAttributesA(g.SnapRequest.c_str()) != INVALID_FILE_ATTRIBUTES) {
        if (TimedOut(start))
            Fail("nobody took the picture " + name + " within " + Seconds());
        Sleep(PollMs);
    }
}

void CmdDriveType(Args& args) {
    std::string drive = WordArg(args, "a drive such as D:");
    std::string wanted = WordArg(args, "fixed, removable or none");
    EndOfArgs(args);
    if (drive.size() != 2 || drive[1] != ':')
        Fail("expected a drive such as D:, not " + drive);
    UINT type = GetDriveTypeA((drive + "\\").c_str());
    bool present = (GetLogicalDrives() >> (std::toupper(drive[0]) - 'A')) & 1;
    std::string seen = !present                  ? "none"
                       : type == DRIVE_FIXED     ? "fixed"
                       : type == DRIVE_REMOVABLE ? "removable"
                                                 : "of type " + std::to_string(type);
    if (seen != wanted)
        Fail("drive " + drive + " is " + seen + ", expected " + wanted);
}

void CmdEcho(Args& args) {
    std::string text = TextArg(args, "a text");
    EndOfArgs(args);
    Print(Cp932ToUtf8(text) + "\n");
}

void CmdTimeout(Args& args) {
    int seconds = IntArg(args, "seconds");
    EndOfArgs(args);
    g.TimeoutMs = static_cast<DWORD>(seconds) * 1000;
}

void CmdRecorderLog(Args& args) {
    g.RecorderLog = PlainArg(args, "the recorder's log");
    EndOfArgs(args);
}

void CmdSnapRequest(Args& args) {
    g.SnapRequest = PlainArg(args, "the snap request file");
    EndOfArgs(args);
}

// ---------------------------------------------------------------------------
// The scenario

struct Command {
    const char* Name;
    void (*Run)(Args& args);
};

const Command Commands[] = {
    {"program", CmdProgram},
    {"texts", CmdTexts},
    {"recorder-log", CmdRecorderLog},
    {"snap-request", CmdSnapRequest},
    {"timeout", CmdTimeout},
    {"start", CmdStart},
    {"dialog", CmdDialog},
    {"msgbox", CmdMsgBox},
    {"answer", CmdAnswer},
    {"browser", CmdBrowser},
    {"browse-select", CmdBrowseSelect},
    {"caption", CmdCaption},
    {"text", CmdText},
    {"label", CmdLabel},
    {"owner", CmdOwner},
    {"icon", CmdIcon},
    {"checked", CmdChecked},
    {"visible", CmdVisible},
    {"click", CmdClick},
    {"tick", CmdTick},
    {"type", CmdType},
    {"esc", CmdEsc},
    {"close", CmdClose},
    {"gone", CmdGone},
    {"exit", CmdExit},
    {"remember-layout", CmdRememberLayout},
    {"closed-up", CmdClosedUp},
    {"progress-runs", CmdProgressRuns},
    {"cancel-within", CmdCancelWithin},
    {"opened", CmdOpened},
    {"app-window", CmdAppWindow},
    {"no-process", CmdNoProcess},
    {"snap", CmdSnap},
    {"drive-type", CmdDriveType},
    {"echo", CmdEcho},
};

void RunCommand(Args& args) {
    const std::string name = WordArg(args, "a command");
    for (const Command& command : Commands) {
        if (name == command.Name) {
            command.Run(args);
            return;
        }
    }
    Fail("unknown command " + name);
}

int RunScenario(const std::string& path) {
    g.ScenarioPath = path;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        Print("setup_robot: cannot open the scenario " + path + "\n");
        return 2;
    }
    if (GetACP() != 932)
        Fail(Format("the ANSI code page is %u, not 932 (Wine takes it from LC_ALL=ja_JP.UTF-8)",
                    GetACP()));
    // SETUP_ROBOT_TRACE=1 shows how long each command took.
    bool trace = std::getenv("SETUP_ROBOT_TRACE") != nullptr;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, file) != nullptr) {
        ++g.LineNumber;
        g.Line = buffer;
        while (!g.Line.empty() && (g.Line.back() == '\n' || g.Line.back() == '\r'))
            g.Line.pop_back();
        Args args = {{}, 0};
        std::string error;
        if (!Tokenize(g.Line, args.Tokens, error))
            Fail(error);
        if (args.Tokens.empty())
            continue;
        DWORD started = GetTickCount();
        RunCommand(args);
        if (trace)
            Print(Format("%6lu ms  %s\n", GetTickCount() - started, g.Line.c_str()));
    }
    std::fclose(file);
    g.Line = "(end of the scenario)";
    if (SetupRunning())
        Fail("the scenario ended while the setup still runs (end it with 'exit CODE')");
    Print("setup_robot: " + path + ": every step passed\n");
    return 0;
}

// Ends every program that runs from the C: drive outside the Windows folder:
// what a failed test may have left behind.
int KillStrays() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    DWORD self = GetCurrentProcessId();
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == self)
            continue;
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE,
                                     entry.th32ProcessID);
        if (process == nullptr)
            continue;
        std::string image = ImagePath(process);
        if (_strnicmp(image.c_str(), "C:\\", 3) == 0 &&
            _strnicmp(image.c_str(), "C:\\windows\\", 11) != 0) {
            TerminateProcess(process, 99);
            Print("setup_robot: ended the leftover " + image + "\n");
        }
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int i = 1;
    if (argc == 2 && std::strcmp(argv[1], "--kill-strays") == 0)
        return KillStrays();
    if (argc == 4 && std::strcmp(argv[1], "--log") == 0) {
        g.Log = std::fopen(argv[2], "wb");
        i = 3;
    }
    if (i != argc - 1) {
        std::fputs("usage: setup_robot [--log FILE] SCENARIO | setup_robot --kill-strays\n",
                   stderr);
        return 2;
    }
    return RunScenario(argv[i]);
}
