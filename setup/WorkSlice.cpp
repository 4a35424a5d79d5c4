#include "WorkSlice.h"

#include "SetupGlobals.h"

UINT_PTR WorkTimerId;

namespace {

const UINT_PTR WorkTimerEvent = 1;
const UINT WorkTickMilliseconds = 200;

bool WorkEnded;

} // namespace

void OpenWork() {
    WorkEnded = false;
    WorkTimerId = 0;
}

void StartWorkTimer(HWND dialog) {
    WorkTimerId = SetTimer(dialog, WorkTimerEvent, WorkTickMilliseconds, NULL);
}

void PostWorkStep(HWND dialog) {
    PostMessageA(dialog, WM_WORKSTEP, 0, 0);
}

void EndWork(HWND dialog, INT_PTR result) {
    WorkEnded = true;
    EndDialog(dialog, result);
}

bool IsWorkEnded() {
    return WorkEnded;
}

bool IsSliceOver() {
    MSG message;
    const bool waiting = PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE) != 0;
    return waiting || WorkEnded;
}

void StopWorkTimer(HWND dialog) {
    if (WorkTimerId != 0)
        KillTimer(dialog, WorkTimerId);
}
