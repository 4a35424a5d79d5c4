// Starts the stand-in application, finds its window, checks the title and the
// version it shows, closes it and expects a clean exit.
//
//   quillom_window_check QUILLOM.EXE
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

const DWORD WaitMs = 20000;

int Fail(const char* what) {
    std::printf("quillom_window_check: %s\n", what);
    return 1;
}

struct Search {
    DWORD ProcessId;
    HWND Window;
};

BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM param) {
    Search* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    if (owner == search->ProcessId && std::strcmp(title, "Quillometer") == 0) {
        search->Window = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForWindow(DWORD processId) {
    Search search = {processId, nullptr};
    for (DWORD waited = 0; waited < WaitMs && search.Window == nullptr; waited += 100) {
        Sleep(100);
        EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
    }
    return search.Window;
}

// Under Wine the host's root is drive Z:, so a host path given by the test
// runner becomes a Windows path there.
void ToWindowsPath(const char* path, char* out, size_t size) {
    std::snprintf(out, size, "%s%s", path[0] == '/' ? "Z:" : "", path);
    for (char* p = out; *p; ++p)
        if (*p == '/')
            *p = '\\';
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2)
        return Fail("usage: quillom_window_check QUILLOM.EXE");
    char program[MAX_PATH];
    ToWindowsPath(argv[1], program, sizeof program);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return Fail("cannot start the program");

    int result = 0;
    HWND window = WaitForWindow(process.dwProcessId);
    if (window == nullptr) {
        result = Fail("no window titled \"Quillometer\" appeared");
        TerminateProcess(process.hProcess, 99);
    } else {
        char version[64] = "";
        GetDlgItemTextA(window, 100, version, sizeof version);
        if (std::strcmp(version, "Quillometer Ver1.18") != 0)
            result = Fail("the window does not show \"Quillometer Ver1.18\"");
        PostMessageA(window, WM_CLOSE, 0, 0);
    }

    DWORD code = 1;
    if (WaitForSingleObject(process.hProcess, WaitMs) != WAIT_OBJECT_0)
        result = Fail("the program did not end after WM_CLOSE");
    else if (!GetExitCodeProcess(process.hProcess, &code) || code != 0)
        result = Fail("the program did not end with exit code 0");
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (result == 0)
        std::printf("quillom_window_check: window \"Quillometer\" showed \"Quillometer Ver1.18\" "
                    "and closed with exit code 0\n");
    return result;
}
