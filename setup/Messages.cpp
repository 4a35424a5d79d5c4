#include "Messages.h"

#include "../res/ResourceIds.h"
#include "SetupGlobals.h"
#include "TextBuffer.h"

void ShowErrorMessage(HWND owner, UINT stringId) {
    LoadStringA(InstanceHandle, stringId, MsgBuf, TextSize);
    LoadStringA(InstanceHandle, IDS_CAPTION, CaptionBuf, TextSize);
    MessageBoxA(owner, MsgBuf, CaptionBuf, MB_ICONERROR);
}

void ShowEngineError() {
    UINT stringId;
    switch (Extractor.ErrorCode) {
    case ErrCreateFolder:
        stringId = IDS_ERR_CREATE_FOLDER;
        break;
    case ErrCreateFile:
        stringId = IDS_ERR_CREATE_FILE;
        break;
    case ErrFileAccess:
        stringId = IDS_ERR_FILE_ACCESS;
        break;
    default:
        stringId = IDS_ERR_EXTRACT;
        break;
    }
    ShowErrorMessage(NULL, stringId);
}

bool AskYesNo(HWND owner, UINT stringId, const char* path) {
    // The path first: the caller may hold it in MsgBuf or CaptionBuf, which
    // the text and the caption take next.
    BeginQuestionText(MsgBuf, path);
    LoadStringA(InstanceHandle, stringId, CaptionBuf, TextSize);
    AppendText(MsgBuf, CaptionBuf);
    LoadStringA(InstanceHandle, IDS_CAPTION, CaptionBuf, TextSize);
    return MessageBoxA(owner, MsgBuf, CaptionBuf, MB_ICONQUESTION | MB_YESNO) == IDYES;
}
