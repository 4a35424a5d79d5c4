// Libraries come from the system folder only. Setups are run from download
// folders, where a web page can leave a file named like a system library,
// and Windows looks for a library in the program's own folder first unless
// the library is one of its "known" ones. The executable therefore imports
// only known libraries; every other one is loaded here.
#pragma once

#include <windows.h>

// Takes the program's folder and the current folder out of the library
// search of the whole process, for the loads of the system libraries too.
// The first thing the program does.
void RestrictLibrarySearch();

// Loads a library from the system folder only; NULL when it is not there.
HMODULE LoadSystemLibrary(const char* name);
