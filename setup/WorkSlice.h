// Long work on the single GUI thread, cut into slices: the two work dialogs
// (progress and search) share this. A work dialog starts the work timer;
// each tick posts WM_WORKSTEP, whose handler runs one slice: steps of the
// work until the work ends or any message waits in the thread's queue. A
// due tick counts as one, so no slice lasts much longer than a tick, and the
// tick's own WM_WORKSTEP starts the next slice. The queue test removes
// nothing, so slices never nest; a slice keeps nothing of its own, so an
// extra WM_WORKSTEP only runs one more. Only one work dialog is open at a
// time, so this state is one for both.
#pragma once

#include <windows.h>

// Posted by the work timer's tick: run one slice of the work.
enum { WM_WORKSTEP = WM_USER + 101 };

// WM_INITDIALOG of a work dialog, first: its work has not ended and no timer
// runs yet.
void OpenWork();

// Starts the work timer (id 1, a tick every 200 ms); WorkTimerId keeps its id.
void StartWorkTimer(HWND dialog);

// WM_TIMER, whatever the timer's id: posts WM_WORKSTEP to the dialog.
void PostWorkStep(HWND dialog);

// Ends the dialog with its result; no step of its work is taken after this.
void EndWork(HWND dialog, INT_PTR result);

bool IsWorkEnded();

// The queue test after each step: true when the slice is over, because a
// message waits or because the work ended inside the test itself. A message
// sent by another thread (a Cancel) is delivered inside PeekMessageA, in the
// middle of a slice, which must then stop instead of stepping ended work.
bool IsSliceOver();

// WM_DESTROY: the timer stops. This is the only place where it does.
void StopWorkTimer(HWND dialog);
