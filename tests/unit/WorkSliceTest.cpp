// The work slices of the setup's two work dialogs, on a dialog of their own
// under Wine: the timer and its ticks, the queue test, and a Cancel that
// another thread sends while a slice tests the queue.
#include <gtest/gtest.h>

#include <windows.h>

#include <thread>
#include <vector>

#include "../../setup/SetupGlobals.h"
#include "../../setup/WorkSlice.h"

namespace {

// As much of a work dialog as the slices need: its switch, without work.
int WorkSteps;
// EndDialog may post a message of its own to wake a modal loop (Wine posts
// WM_NULL); with this set, the Cancel takes it off the queue again, so that
// only the ended work can end the slice.
bool TakeEndDialogMessages;

INT_PTR CALLBACK WorkDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OpenWork();
        StartWorkTimer(dialog);
        return TRUE;
    case WM_TIMER:
        PostWorkStep(dialog);
        return TRUE;
    case WM_WORKSTEP:
        ++WorkSteps;
        return TRUE;
    case WM_COMMAND:
        if (wParam != IDCANCEL)
            return FALSE;
        EndWork(dialog, IDCANCEL);
        if (TakeEndDialogMessages) {
            MSG posted;
            while (PeekMessageA(&posted, NULL, 0, 0, PM_REMOVE)) {
            }
        }
        return TRUE;
    case WM_DESTROY:
        StopWorkTimer(dialog);
        return TRUE;
    }
    return FALSE;
}

// A modeless dialog from a template with no controls, its timer running.
HWND OpenWorkDialog() {
    static const struct {
        DLGTEMPLATE Header;
        WORD Menu, Class, Title;
    } empty = {{WS_POPUP, 0, 0, 0, 0, 100, 50}, 0, 0, 0};
    WorkSteps = 0;
    TakeEndDialogMessages = false;
    return CreateDialogIndirectParamA(GetModuleHandleA(NULL), &empty.Header, NULL, WorkDlgProc, 0);
}

// Takes and handles every message that waits.
void DrainQueue() {
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

TEST(WorkSliceTest, EveryTickOfTimerOnePostsOneWorkStep) {
    const HWND dialog = OpenWorkDialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_NE(0u, WorkTimerId);
    std::vector<DWORD> ticks;
    const DWORD start = GetTickCount();
    MSG message;
    while (ticks.size() < 3 && GetTickCount() - start < 10000 &&
           GetMessageA(&message, NULL, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == dialog) {
            EXPECT_EQ(1u, message.wParam) << "the work timer's id";
            ticks.push_back(GetTickCount());
        }
        DispatchMessageA(&message);
    }
    ASSERT_EQ(3u, ticks.size()) << "ticks within 10 s";
    // A timer is never early; a busy machine may make it late.
    EXPECT_GE(ticks[2] - ticks[0], 2 * 180u) << "a tick every 200 ms";
    DrainQueue();
    EXPECT_EQ(3, WorkSteps) << "each tick posts WM_WORKSTEP once";

    StopWorkTimer(dialog);
    DrainQueue();
    Sleep(500);
    EXPECT_FALSE(PeekMessageA(&message, NULL, WM_TIMER, WM_TIMER, PM_NOREMOVE))
        << "a tick after the timer stopped";
    DestroyWindow(dialog);
}

TEST(WorkSliceTest, ASliceIsOverWhenAnyMessageWaitsWhichStaysInTheQueue) {
    const HWND dialog = OpenWorkDialog();
    ASSERT_NE(nullptr, dialog);
    StopWorkTimer(dialog);
    DrainQueue();
    EXPECT_FALSE(IsSliceOver()) << "nothing waits";
    PostMessageA(dialog, WM_APP, 7, 0);
    EXPECT_TRUE(IsSliceOver());
    EXPECT_TRUE(IsSliceOver()) << "the queue test removed the message";
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_APP), message.message);
    EXPECT_FALSE(IsSliceOver());
    EXPECT_FALSE(IsWorkEnded());
    DestroyWindow(dialog);
}

// A message sent by another thread is handled inside the queue test; when it
// ends the work, the slice is over whether or not anything waits.
TEST(WorkSliceTest, ACancelSentWhileTheQueueIsTestedEndsTheSlice) {
    const HWND dialog = OpenWorkDialog();
    ASSERT_NE(nullptr, dialog);
    StopWorkTimer(dialog);
    DrainQueue();
    TakeEndDialogMessages = true;
    std::thread canceller([dialog] { SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0); });
    const DWORD start = GetTickCount();
    bool over = false;
    while (!over && GetTickCount() - start < 10000)
        over = IsSliceOver();
    canceller.join();
    EXPECT_TRUE(over) << "the slice went on for 10 s after its work ended";
    EXPECT_TRUE(IsWorkEnded());
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE)) << "nothing waits";
    DestroyWindow(dialog);
}

} // namespace
