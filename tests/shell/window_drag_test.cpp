// Dragging the borderless window through the four mouse messages.
#include "shell/panel_harness.h"

#include "panel_state.h"

#include <gtest/gtest.h>

class WindowDragTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WatchThread();
        window = OpenPanel();
        ASSERT_NE(window, nullptr);
        SetLayeredWindowAttributes(window, RGB(255, 240, 0), 0, LWA_COLORKEY);
        ShowWindow(window, SW_SHOWNOACTIVATE);
        SetWindowPos(window, NULL, 100, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void TearDown() override
    {
        ReleaseCapture();
        ClosePanel(window);
        StopWatching();
    }

    // The handler reads the cursor itself, so the cursor is put there first.
    LRESULT Mouse(UINT message, int screenX, int screenY)
    {
        SetCursorPos(screenX, screenY);
        return SendMessageA(window, message, message == WM_MOUSEMOVE ? 0 : MK_LBUTTON, 0);
    }

    POINT Position()
    {
        RECT rect;
        GetWindowRect(window, &rect);
        return {rect.left, rect.top};
    }

    HWND window = NULL;
};

TEST_F(WindowDragTest, WindowFollowsTheCursorUntilRelease)
{
    EXPECT_EQ(0, Mouse(WM_LBUTTONDOWN, 200, 200));
    EXPECT_TRUE(PanelState.DragState.Dragging);
    EXPECT_EQ(window, GetCapture());

    Mouse(WM_MOUSEMOVE, 230, 190);
    EXPECT_EQ(130, Position().x);
    EXPECT_EQ(90, Position().y);
    // Far outside the window and off the screen: nothing clamps the position.
    Mouse(WM_MOUSEMOVE, 20, 5);
    EXPECT_EQ(-80, Position().x);
    EXPECT_EQ(-95, Position().y);
    Mouse(WM_MOUSEMOVE, 700, 500);
    EXPECT_EQ(600, Position().x);
    EXPECT_EQ(400, Position().y);

    EXPECT_EQ(0, Mouse(WM_LBUTTONUP, 700, 500));
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_FALSE(PanelState.DragState.Dragging);
    Mouse(WM_MOUSEMOVE, 300, 300);
    EXPECT_EQ(600, Position().x);
    EXPECT_EQ(400, Position().y);
    // The drag never resizes the window.
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(350, rect.right - rect.left);
    EXPECT_EQ(350, rect.bottom - rect.top);
}

TEST_F(WindowDragTest, MovesWithoutAPressAndReleasesWithoutADragDoNothing)
{
    Mouse(WM_MOUSEMOVE, 400, 400);
    EXPECT_EQ(100, Position().x);
    EXPECT_EQ(100, Position().y);
    EXPECT_EQ(0, Mouse(WM_LBUTTONUP, 400, 400));
    EXPECT_FALSE(PanelState.DragState.Dragging);
    Mouse(WM_MOUSEMOVE, 410, 410);
    EXPECT_EQ(100, Position().x);
}

TEST_F(WindowDragTest, CaptureTakenByAnotherWindowEndsTheDrag)
{
    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ASSERT_NE(nullptr, other);
    Mouse(WM_LBUTTONDOWN, 200, 200);
    ASSERT_TRUE(PanelState.DragState.Dragging);
    SetCapture(other);
    EXPECT_FALSE(PanelState.DragState.Dragging);
    Mouse(WM_MOUSEMOVE, 260, 260);
    EXPECT_EQ(100, Position().x);
    ReleaseCapture();

    // Only a new press moves the window again, from where it then is.
    Mouse(WM_LBUTTONDOWN, 260, 260);
    Mouse(WM_MOUSEMOVE, 270, 250);
    EXPECT_EQ(110, Position().x);
    EXPECT_EQ(90, Position().y);
    Mouse(WM_LBUTTONUP, 270, 250);
    DestroyWindow(other);
}
