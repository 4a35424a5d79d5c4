// search_watch: watches the setup's search dialog from outside while the
// robot drives the rest of the install, for what a scenario cannot say: the
// moving line of the dialog tick after tick, how long a search takes, and
// how fast Cancel is answered while the walk runs.
//
//   search_watch [--appear S] [--marquee] [--cancel-after MS --cancel-limit MS]
//                [--finish-limit MS]
//   search_watch --absent MS
//   search_watch attrib PATH...
//   search_watch drives
//
// The dialog is the first visible top-level dialog (class "#32770") of any
// process that has a control 1010; the setup runs alone in the test prefix.
//
// --marquee        reads static 1010 over and over until the line has moved
//                  eleven times (one full round and the step from phase 9
//                  back to 0 included). Every reading must be the line of
//                  one of the ten phases, and each change must go to the next
//                  phase; the time between changes must be that of a 200 ms
//                  tick.
// --cancel-after   then clicks Cancel that many milliseconds after the dialog
//                  appeared (or right after the marquee check, if later) and
//                  measures the time until the dialog is gone.
// --finish-limit   waits for the dialog to end by itself and reports how long
//                  it was shown; more than the limit fails.
// --absent         watches for MS milliseconds and fails if a search dialog
//                  shows at all (a search that ends before its dialog is
//                  shown).
// attrib           prints each path's attributes as GetFileAttributesA reads
//                  them (hex), so a test can see that a folder really is
//                  hidden for Windows programs.
// drives           prints every drive that GetLogicalDrives reports with its
//                  GetDriveTypeA type, "A:2 B:3 C:3", the way the search sees
//                  them.
//
// Exit status: 0 when every check passed, 1 with a message when one failed,
// 2 on a wrong command line.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int MarqueeId = 1010;
const int MarqueeLength = 45;
const int Phases = 10;
const int MovesWanted = 11;
const DWORD MarqueeGiveUpMs = 8000;

struct Options {
    DWORD AppearMs = 60000;
    bool Marquee = false;
    long CancelAfterMs = -1;
    long CancelLimitMs = -1;
    long FinishLimitMs = -1;
};

LARGE_INTEGER Frequency;

double MsSince(const LARGE_INTEGER& from) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart - from.QuadPart) /
           static_cast<double>(Frequency.QuadPart);
}

[[noreturn]] void Fail(const std::string& message) {
    std::printf("search_watch: FAILED: %s\n", message.c_str());
    std::fflush(stdout);
    std::exit(1);
}

void Note(const std::string& message) {
    std::printf("search_watch: %s\n", message.c_str());
    std::fflush(stdout);
}

std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// ---------------------------------------------------------------------------
// Finding the dialog

BOOL CALLBACK FindSearchDialog(HWND window, LPARAM param) {
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    if (GetDlgItem(window, MarqueeId) == nullptr)
        return TRUE;
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
}

HWND SearchDialog() {
    HWND found = nullptr;
    EnumWindows(FindSearchDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool IsGone(HWND dialog) {
    return !IsWindow(dialog) || !IsWindowVisible(dialog);
}

HWND WaitForDialog(DWORD appearMs) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND dialog = SearchDialog();
        if (dialog != nullptr)
            return dialog;
        if (GetTickCount() - start > appearMs)
            Fail(Format("no search dialog appeared within %lu s", appearMs / 1000));
        Sleep(1);
    }
}

// ---------------------------------------------------------------------------
// The moving line

// The line of phase p: 45 code-page-932 middle dots (0xA5), with an arrow
// head wherever the position's remainder by ten is the phase.
std::string LineOfPhase(int phase) {
    std::string line(MarqueeLength, '\xA5');
    for (int j = phase; j < MarqueeLength; j += Phases)
        line[j] = '>';
    return line;
}

int PhaseOf(const std::string& text) {
    for (int phase = 0; phase < Phases; ++phase)
        if (text == LineOfPhase(phase))
            return phase;
    return -1;
}

std::string Hex(const std::string& text) {
    std::string hex;
    for (unsigned char c : text)
        hex += Format("%02X", c);
    return hex;
}

std::string ReadControlText(HWND control) {
    char text[256] = "";
    int length = GetWindowTextA(control, text, sizeof text);
    return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

// Reads the line until it has moved MovesWanted times, checking every
// reading and every move.
void CheckMarquee(HWND dialog) {
    HWND line = GetDlgItem(dialog, MarqueeId);
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    std::vector<int> phases;
    std::vector<double> changedAt;
    long readings = 0;
    while (static_cast<int>(phases.size()) <= MovesWanted) {
        std::string text = ReadControlText(line);
        if (IsGone(dialog))
            Fail(Format("the search dialog closed after %zu of the %d moves of its line were seen",
                        phases.empty() ? 0 : phases.size() - 1, MovesWanted));
        ++readings;
        int phase = PhaseOf(text);
        if (phase < 0)
            Fail(Format("static %d shows %zu bytes that are no phase of the moving line: %s",
                        MarqueeId, text.size(), Hex(text).c_str()));
        if (phases.empty() || phases.back() != phase) {
            if (!phases.empty() && phase != (phases.back() + 1) % Phases)
                Fail(Format("the line went from phase %d to phase %d; it must move one place "
                            "per tick",
                            phases.back(), phase));
            phases.push_back(phase);
            changedAt.push_back(MsSince(start));
        }
        if (MsSince(start) > MarqueeGiveUpMs)
            Fail(Format("the line moved only %zu times in %lu ms", phases.size() - 1,
                        MarqueeGiveUpMs));
        Sleep(1);
    }
    std::string seen;
    for (int phase : phases)
        seen += Format("%d", phase);
    // The first change is measured from the first reading, not from a tick.
    double period = (changedAt.back() - changedAt[1]) / (MovesWanted - 1);
    Note(Format("moving line: phases %s in %ld readings, one move every %.0f ms", seen.c_str(),
                readings, period));
    if (period < 150 || period > 600)
        Fail(Format("the line moved every %.0f ms, not once per 200 ms tick", period));
}

// ---------------------------------------------------------------------------
// Cancel and the end of the search

// A click as the mouse gives it, queued for the button's thread, so the
// setup meets it between two of its work steps.
void ClickCancel(HWND dialog) {
    HWND cancel = GetDlgItem(dialog, IDCANCEL);
    if (cancel == nullptr || !IsWindowVisible(cancel) || !IsWindowEnabled(cancel))
        Fail("the search dialog has no Cancel button a person could click");
    RECT client;
    GetClientRect(cancel, &client);
    LPARAM point = MAKELPARAM(client.right / 2, client.bottom / 2);
    PostMessageA(cancel, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(cancel, WM_LBUTTONUP, 0, point);
}

void CancelAndMeasure(HWND dialog, const LARGE_INTEGER& appeared, const Options& options) {
    while (MsSince(appeared) < options.CancelAfterMs) {
        if (IsGone(dialog))
            Fail(Format("the search ended by itself after %.0f ms, before Cancel was to be "
                        "clicked at %ld ms",
                        MsSince(appeared), options.CancelAfterMs));
        Sleep(1);
    }
    if (IsGone(dialog))
        Fail("the search ended by itself before Cancel could be clicked");
    double clickedAfter = MsSince(appeared);
    LARGE_INTEGER clicked;
    QueryPerformanceCounter(&clicked);
    ClickCancel(dialog);
    while (!IsGone(dialog)) {
        if (MsSince(clicked) > 10000)
            Fail("the search dialog was still there 10 s after Cancel");
        Sleep(1);
    }
    double answered = MsSince(clicked);
    Note(Format("Cancel clicked %.0f ms into the search, dialog gone %.1f ms later", clickedAfter,
                answered));
    if (answered > options.CancelLimitMs)
        Fail(Format("Cancel took %.1f ms, more than %ld ms", answered, options.CancelLimitMs));
}

void ExpectNoDialog(long ms) {
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    while (MsSince(start) < ms) {
        if (SearchDialog() != nullptr)
            Fail(Format("a search dialog showed %.0f ms into the watch", MsSince(start)));
        Sleep(1);
    }
    Note(Format("no search dialog showed in %ld ms", ms));
}

void MeasureFinish(HWND dialog, const LARGE_INTEGER& appeared, long limitMs) {
    while (!IsGone(dialog)) {
        if (MsSince(appeared) > limitMs)
            Fail(Format("the search was still running after %ld ms", limitMs));
        Sleep(1);
    }
    Note(Format("the search dialog was shown for %.0f ms", MsSince(appeared)));
}

// ---------------------------------------------------------------------------
// The command line

long NumberArg(int argc, char** argv, int& i) {
    if (i + 1 >= argc)
        Fail(Format("%s needs a number", argv[i]));
    char* end = nullptr;
    long value = std::strtol(argv[++i], &end, 10);
    if (*end != 0 || value < 0)
        Fail(Format("%s needs a number, not %s", argv[i - 1], argv[i]));
    return value;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--appear")
            options.AppearMs = static_cast<DWORD>(NumberArg(argc, argv, i) * 1000);
        else if (arg == "--marquee")
            options.Marquee = true;
        else if (arg == "--cancel-after")
            options.CancelAfterMs = NumberArg(argc, argv, i);
        else if (arg == "--cancel-limit")
            options.CancelLimitMs = NumberArg(argc, argv, i);
        else if (arg == "--finish-limit")
            options.FinishLimitMs = NumberArg(argc, argv, i);
        else
            return false;
    }
    bool cancels = options.CancelAfterMs >= 0 || options.CancelLimitMs >= 0;
    if (cancels && (options.CancelAfterMs < 0 || options.CancelLimitMs < 0))
        return false;
    return !(cancels && options.FinishLimitMs >= 0);
}

int PrintAttributes(int argc, char** argv) {
    for (int i = 2; i < argc; ++i) {
        DWORD attributes = GetFileAttributesA(argv[i]);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            std::printf("%s: missing\n", argv[i]);
            return 1;
        }
        std::printf("%s: 0x%lX\n", argv[i], attributes);
    }
    return 0;
}

int PrintDrives() {
    DWORD mask = GetLogicalDrives();
    std::string line;
    for (int i = 0; i < 26; ++i) {
        if ((mask >> i & 1) == 0)
            continue;
        char root[] = {static_cast<char>('A' + i), ':', '\\', 0};
        line += Format("%s%c:%u", line.empty() ? "" : " ", root[0], GetDriveTypeA(root));
    }
    std::printf("%s\n", line.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QueryPerformanceFrequency(&Frequency);
    if (argc >= 3 && std::strcmp(argv[1], "attrib") == 0)
        return PrintAttributes(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "drives") == 0)
        return PrintDrives();
    if (argc == 3 && std::strcmp(argv[1], "--absent") == 0) {
        int i = 1;
        ExpectNoDialog(NumberArg(argc, argv, i));
        return 0;
    }
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs("usage: search_watch [--appear S] [--marquee] [--cancel-after MS "
                   "--cancel-limit MS] [--finish-limit MS] | search_watch --absent MS | "
                   "search_watch attrib "
                   "PATH... | search_watch drives\n",
                   stderr);
        return 2;
    }
    HWND dialog = WaitForDialog(options.AppearMs);
    LARGE_INTEGER appeared;
    QueryPerformanceCounter(&appeared);
    Note("the search dialog appeared");
    if (options.Marquee)
        CheckMarquee(dialog);
    if (options.CancelAfterMs >= 0)
        CancelAndMeasure(dialog, appeared, options);
    if (options.FinishLimitMs >= 0)
        MeasureFinish(dialog, appeared, options.FinishLimitMs);
    return 0;
}
