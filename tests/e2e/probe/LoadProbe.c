// load_probe.dll: a library that only tells that it was loaded. Copied
// beside the setup under the name of a library that the setup uses, it
// leaves a marker file, its own path followed by ".loaded", as soon as
// any program loads it. It is built without the C runtime and imports
// only kernel32, so it can stand in for any library but kernel32 itself.
#include <windows.h>

static const char MarkerSuffix[] = ".loaded";

static void LeaveMarker(HINSTANCE self) {
    char path[MAX_PATH + sizeof MarkerSuffix];
    const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    for (DWORD i = 0; i < sizeof MarkerSuffix; ++i)
        path[length + i] = MarkerSuffix[i];
    HANDLE marker =
        CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (marker != INVALID_HANDLE_VALUE)
        CloseHandle(marker);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        LeaveMarker(self);
    return TRUE;
}

// An entry for rundll32, which the tests use to see that the probe works.
__declspec(dllexport) void CALLBACK Probe(HWND window, HINSTANCE instance, LPSTR line, int show) {
    (void)window;
    (void)instance;
    (void)line;
    (void)show;
}
