// Showing the panel before a long transfer: it paints, and leaves everything
// that would run the panel's own code queued for the message loop, in order.
#include "shell/panel_harness.h"

#include "panel_refresh.h"
#include "panel_state.h"

#include <gtest/gtest.h>

TEST(ShowPanelChanges, PaintsAndKeepsCommandsAndQuitForTheLoop)
{
    WatchThread();
    HWND window = OpenPanel();
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    InvalidateRect(window, NULL, TRUE);
    // A press of the switch, run now, would ask its question in the middle of
    // the work: whether it is posted to the panel or to the button itself.
    PostMessageA(window, WM_COMMAND, 0, (LPARAM)PanelState.SwitchButton);
    PostMessageA(PanelState.SwitchButton, BM_CLICK, 0, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_APP, 1, 2);
    PostQuitMessage(3);
    ForgetSeen();

    ShowPanelChanges(window);

    EXPECT_FALSE(GetUpdateRect(window, NULL, FALSE)) << "what was pending is painted";
    EXPECT_TRUE(SeenBoxes().empty()) << "the press ran during the refresh";
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(window, message.hwnd);
    EXPECT_EQ(UINT(WM_COMMAND), message.message);
    EXPECT_EQ(LPARAM(PanelState.SwitchButton), message.lParam);
    ASSERT_TRUE(PeekMessageA(&message, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(PanelState.SwitchButton, message.hwnd);
    EXPECT_EQ(UINT(BM_CLICK), message.message);
    ASSERT_TRUE(PeekMessageA(&message, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(UINT(WM_APP), message.message);
    EXPECT_EQ(WPARAM(1), message.wParam);
    int code = 0;
    EXPECT_TRUE(TakeQuitMessage(&code));
    EXPECT_EQ(3, code);
    ClosePanel(window);
    StopWatching();
}
