#include "SystemLibrary.h"

#include "SetupGlobals.h"
#include "TextBuffer.h"

namespace {

typedef BOOL(WINAPI* SetDefaultDllDirectoriesProc)(DWORD);

// Whether LoadLibraryExA understands LOAD_LIBRARY_SEARCH_SYSTEM32. Windows
// knows the search flags from 8 on, and 7 and Vista with update KB2533623;
// SetDefaultDllDirectories comes with them, so its presence tells.
bool SearchFlagsKnown;

// Taken by name: a static import would keep the program from starting on
// the systems that lack it.
SetDefaultDllDirectoriesProc FindSetDefaultDllDirectories() {
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == NULL)
        return NULL;
    return reinterpret_cast<SetDefaultDllDirectoriesProc>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
}

} // namespace

void RestrictLibrarySearch() {
    const SetDefaultDllDirectoriesProc setDefault = FindSetDefaultDllDirectories();
    if (setDefault != NULL && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        SearchFlagsKnown = true;
        return;
    }
    // Without the search flags only the current folder can be taken out;
    // the program's folder stays first for libraries that the system
    // libraries load by name.
    SetDllDirectoryA("");
}

HMODULE LoadSystemLibrary(const char* name) {
    if (SearchFlagsKnown)
        return LoadLibraryExA(name, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // A full path is never searched for; the altered search makes the
    // library's own imports come from its folder, the system folder, first.
    char path[PathSize];
    const UINT length = GetSystemDirectoryA(path, PathSize);
    if (length == 0 || length >= PathSize || !EndWithBackslash(path) || !AppendText(path, name))
        return NULL;
    return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}
