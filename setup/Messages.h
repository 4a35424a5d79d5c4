// The three message boxes through which the setup asks and reports. Every box
// carries string 2001 as its caption.
#pragma once

#include <windows.h>

void ShowErrorMessage(HWND owner, UINT stringId);

// Shows the message that belongs to the engine's ErrorCode. A cancelled job
// leaves ErrorCode at ErrNone and so reads as "cannot extract".
void ShowEngineError();

// A Yes/No question; with a path, the path stands above the question (without
// its trailing backslash, a drive root excepted). True only for Yes. The path
// may be held in MsgBuf or CaptionBuf.
bool AskYesNo(HWND owner, UINT stringId, const char* path);
