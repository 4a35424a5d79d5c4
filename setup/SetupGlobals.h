// The state that the driver and the dialogs share. One instance of each, in
// static storage, for the life of the process; the driver waits inside
// DialogBoxParamA while a dialog runs, so no two parties use them at once.
#pragma once

#include <windows.h>

#include "ExtractorLZH.h"

enum { TextSize = 1024 }; // PathSize comes with the engine

extern HINSTANCE InstanceHandle;
extern char SetupPath[PathSize];  // the running setup, which holds the archive
extern char DestFolder[PathSize]; // ends with a backslash once chosen
extern char OnlyFile[PathSize];   // "ReadMe.txt", or empty to install everything
// The two scratch texts. A text in one lasts until the next call that writes
// that buffer; only these hold one across calls they make, none of which
// writes the buffer held:
//   MsgBuf      the folder dialog (the typed path, the ReadMe's path, the
//               browser's title), the search (a drive's root while it is
//               tried; the moving line), the default destination (string
//               2003), the shortcuts (a link's path);
//   CaptionBuf  the folder browser (its result), the shortcuts (a link's
//               name).
// ShowErrorMessage and AskYesNo write both. AskYesNo takes its path before it
// writes either, so its path may be held in either.
extern char MsgBuf[TextSize];
extern char CaptionBuf[TextSize];
extern bool AddToStartMenu;
extern bool AddToDesktop;
extern UINT_PTR WorkTimerId; // the open work dialog's timer, 0 when none (WorkSlice.h)

extern CExtractorLZH Extractor;

// The application's program, the file that the install places, finds and
// starts.
extern const char ProgramName[];
// The member that the ReadMe flow extracts and opens; a release's payload
// holds it last.
extern const char ReadMeName[];

INT_PTR CALLBACK MenuDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FolderDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ProgressDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SearchDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
