// The engine's view of the operating system: the real Win32 API and Microsoft
// runtime on Windows, a small stand-in for exactly the same calls elsewhere.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <direct.h>
#include <io.h>
#else
#include "standin/Win32StandIn.h"
#endif
