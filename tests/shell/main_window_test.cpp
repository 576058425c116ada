// The main window under Wine: its class, its creation arguments, the control
// table, the routing of notifications and the messages it keeps to itself.
#include "shell/panel_harness.h"

#include "main_window.h"
#include "panel_state.h"
#include "resource.h"

#include <gtest/gtest.h>

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WatchThread();
        window = OpenPanel();
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override
    {
        ClosePanel(window);
        StopWatching();
    }
    HWND window = NULL;
};

TEST_F(MainWindowTest, ClassAndWindowAreMadeAsTheSkinNeeds)
{
    WNDCLASSEXA info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(NULL), "X", &info));
    EXPECT_EQ(UINT(CS_VREDRAW | CS_HREDRAW), info.style);  // no CS_DBLCLKS
    EXPECT_EQ(0, info.cbClsExtra);
    EXPECT_EQ(0, info.cbWndExtra);
    EXPECT_EQ(LoadCursorA(NULL, IDC_ARROW), info.hCursor);
    EXPECT_EQ(nullptr, info.lpszMenuName);
    EXPECT_EQ((WNDPROC)MainWindowProc, (WNDPROC)GetWindowLongPtrA(window, GWLP_WNDPROC));
    if (HasResource(IDI_APP, RT_GROUP_ICON)) {
        EXPECT_NE(nullptr, info.hIcon);
        EXPECT_NE(nullptr, info.hIconSm);
    }
    if (HasResource(IDB_SKIN, RT_BITMAP)) {
        LOGBRUSH brush = {};
        ASSERT_NE(0, GetObjectA(info.hbrBackground, sizeof brush, &brush));
        EXPECT_EQ(UINT(BS_PATTERN), brush.lbStyle);
    }

    ASSERT_FALSE(CreatedWindows().empty());
    const CreatedWindow &main = CreatedWindows().front();
    EXPECT_EQ(window, main.window);
    EXPECT_EQ("X", main.className);
    EXPECT_EQ("Kivo", main.text);
    EXPECT_EQ(DWORD(WS_POPUP), main.style);  // hidden until the colour key is set
    EXPECT_EQ(DWORD(WS_EX_LAYERED), main.exStyle);
    EXPECT_EQ(350, main.width);
    EXPECT_EQ(350, main.height);
    EXPECT_EQ(nullptr, main.parent);
    EXPECT_EQ(0, main.id);

    // A popup at CW_USEDEFAULT opens in the corner, and with no border the client is the window.
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(0, rect.left);
    EXPECT_EQ(0, rect.top);
    GetClientRect(window, &rect);
    EXPECT_EQ(350, rect.right);
    EXPECT_EQ(350, rect.bottom);
}

struct ExpectedControl {
    HWND PanelRecord::*field;
    const char *className;
    const char *text;
    DWORD style;
    int x, y, width, height, id;
    HBITMAP PanelRecord::*picture;
};

TEST_F(MainWindowTest, BuildsTheSixteenControlsInTableOrder)
{
    const ExpectedControl table[] = {
        {&PanelRecord::NumberEdit, "EDIT", "", 0x50802001, 75, 127, 100, 20, 0, nullptr},
        {&PanelRecord::FirstOperandEdit, "EDIT", "1st", 0x50802001, 75, 197, 50, 20, 0, nullptr},
        {&PanelRecord::SecondOperandEdit, "EDIT", "2nd", 0x50802001, 175, 197, 50, 20, 0, nullptr},
        {&PanelRecord::CounterDisplay, "EDIT", "", 0x58800300, 110, 70, 38, 17, 0, nullptr},
        {&PanelRecord::AutoCounterWholeDisplay, "EDIT", "", 0x58800300, 262, 70, 21, 17, 0, nullptr},
        {&PanelRecord::AutoCounterTenthsDisplay, "EDIT", "", 0x58800300, 291, 70, 12, 17, 0, nullptr},
        {&PanelRecord::SwitchButton, "BUTTON", "", 0x50000080, 240, 45, 60, 18, 0, &PanelRecord::SwitchOffBitmap},
        {&PanelRecord::SendNumberButton, "BUTTON", "", 0x50000080, 180, 128, 60, 18, 0, &PanelRecord::SendNumberBitmap},
        {&PanelRecord::SendResultButton, "BUTTON", "", 0x50000080, 200, 238, 80, 25, 0, &PanelRecord::SendResultBitmap},
        {&PanelRecord::CloseButton, "BUTTON", "", 0x50000080, 305, 7, 15, 15, 0, &PanelRecord::CloseBitmap},
        {&PanelRecord::MinimizeButton, "BUTTON", "", 0x50000080, 288, 7, 15, 15, 0, &PanelRecord::MinimizeBitmap},
        {&PanelRecord::AboutButton, "BUTTON", "", 0x50000080, 165, 299, 25, 25, 0, &PanelRecord::AboutButtonBitmap},
        {&PanelRecord::OperationGroupBox, "BUTTON", "", 0x52000087, 50, 225, 130, 60, 0, &PanelRecord::OperationGroupBitmap},
        {&PanelRecord::AddRadio, "BUTTON", "+", 0x50020009, 60, 255, 30, 20, 3000, nullptr},
        {&PanelRecord::SubtractRadio, "BUTTON", "-", 0x50000009, 100, 255, 30, 20, 3001, nullptr},
        {&PanelRecord::MultiplyRadio, "BUTTON", "*", 0x50000009, 140, 255, 30, 20, 3002, nullptr},
    };
    // WS_EX_WINDOWEDGE is not checked: the platform drops it from child
    // controls before even the creation hook can see it.
    const bool picturesShipped = HasResource(IDB_SWITCH_OFF, RT_BITMAP);
    // The main window and its sixteen children, nothing more.
    const std::vector<CreatedWindow> children = ChildrenCreated(window);
    ASSERT_EQ(16u, children.size());
    HWND sibling = GetWindow(window, GW_CHILD);
    for (size_t row = 0; row < 16; row++) {
        const ExpectedControl &want = table[row];
        const CreatedWindow &made = children[row];
        SCOPED_TRACE("row " + std::to_string(row + 1));
        EXPECT_EQ(PanelState.*want.field, made.window);
        EXPECT_EQ(want.className, made.className);
        EXPECT_EQ(want.text, made.text);
        EXPECT_EQ(want.style, made.style);
        EXPECT_EQ(want.x, made.x);
        EXPECT_EQ(want.y, made.y);
        EXPECT_EQ(want.width, made.width);
        EXPECT_EQ(want.height, made.height);
        EXPECT_EQ(want.id, made.id);
        EXPECT_EQ(window, made.parent);
        EXPECT_EQ(GetModuleHandleA(NULL), made.instance);
        // Sibling order is creation order; the radio group depends on it.
        EXPECT_EQ(made.window, sibling);
        sibling = GetWindow(sibling, GW_HWNDNEXT);
        EXPECT_EQ(want.text, WindowText(made.window));
        if (want.picture != nullptr) {
            HBITMAP shown = (HBITMAP)SendMessageA(made.window, BM_GETIMAGE, IMAGE_BITMAP, 0);
            EXPECT_EQ(PanelState.*want.picture, shown);
            if (picturesShipped) {
                EXPECT_NE(nullptr, shown);
            }
        }
    }
    EXPECT_EQ(nullptr, PanelState.SaveButton);
    EXPECT_EQ(nullptr, PanelState.EraseButton);
    EXPECT_EQ(nullptr, PanelState.ResetButton);
    EXPECT_EQ(0, PanelState.ConnectionState);
    EXPECT_EQ(0, PanelState.SelectedOperation);
    for (HWND radio : {PanelState.AddRadio, PanelState.SubtractRadio, PanelState.MultiplyRadio})
        EXPECT_EQ(BST_UNCHECKED, SendMessageA(radio, BM_GETCHECK, 0, 0));
}

TEST_F(MainWindowTest, RadioButtonsFormOneGroupAndChooseTheOperation)
{
    SendMessageA(PanelState.AddRadio, BM_CLICK, 0, 0);
    EXPECT_EQ(1, PanelState.SelectedOperation);
    SendMessageA(PanelState.SubtractRadio, BM_CLICK, 0, 0);
    EXPECT_EQ(2, PanelState.SelectedOperation);
    EXPECT_EQ(BST_UNCHECKED, SendMessageA(PanelState.AddRadio, BM_GETCHECK, 0, 0));
    EXPECT_EQ(BST_CHECKED, SendMessageA(PanelState.SubtractRadio, BM_GETCHECK, 0, 0));
    // The notification code is never looked at.
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(3002, BN_DOUBLECLICKED), 0);
    EXPECT_EQ(3, PanelState.SelectedOperation);
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(3000, 0x1234), (LPARAM)PanelState.NumberEdit);
    EXPECT_EQ(1, PanelState.SelectedOperation);
}

TEST_F(MainWindowTest, UnknownIdentifiersAndEditNotificationsChangeNothing)
{
    SendMessageA(PanelState.MultiplyRadio, BM_CLICK, 0, 0);
    ForgetSeen();
    for (int id : {1, 2, 999, 2999, 3003, 0xFFFF})
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)PanelState.SwitchButton);
    for (HWND edit : {PanelState.NumberEdit, PanelState.FirstOperandEdit, PanelState.SecondOperandEdit,
                      PanelState.CounterDisplay, PanelState.OperationGroupBox}) {
        for (WORD code : {EN_CHANGE, EN_SETFOCUS, EN_UPDATE, EN_KILLFOCUS})
            SendMessageA(window, WM_COMMAND, MAKEWPARAM(0, code), (LPARAM)edit);
    }
    // A command with no sender must not pass for the maintenance buttons,
    // whose handles are still null before the first switch-on.
    SendMessageA(window, WM_COMMAND, 0, 0);
    EXPECT_TRUE(SeenBoxes().empty());
    EXPECT_TRUE(CreatedWindows().empty());
    EXPECT_FALSE(TakeQuitMessage());
    EXPECT_EQ(3, PanelState.SelectedOperation);
    EXPECT_EQ(0, PanelState.ConnectionState);
    EXPECT_EQ(0, PanelState.LastSendResult);
    EXPECT_TRUE(IsWindow(window));
}

TEST_F(MainWindowTest, MinimizeButtonMinimisesAndRestoreBringsThePanelBack)
{
    ShowWindow(window, SW_SHOWNOACTIVATE);
    Press(window, PanelState.MinimizeButton);
    EXPECT_TRUE(IsIconic(window));
    ShowWindow(window, SW_RESTORE);
    EXPECT_FALSE(IsIconic(window));
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(0, rect.left);
    EXPECT_EQ(350, rect.right - rect.left);
    EXPECT_TRUE(IsWindow(PanelState.AboutButton));
}

TEST_F(MainWindowTest, EditColoursAreTheAnswerNotTheDefault)
{
    HDC dc = CreateCompatibleDC(NULL);
    LRESULT brush = SendMessageA(window, WM_CTLCOLOREDIT, (WPARAM)dc, (LPARAM)PanelState.NumberEdit);
    EXPECT_EQ((LRESULT)GetStockObject(DC_BRUSH), brush);
    EXPECT_EQ(RGB(228, 20, 5), GetTextColor(dc));
    EXPECT_EQ(TRANSPARENT, GetBkMode(dc));
    // Nobody ever colours the DC brush, so the fields are white.
    EXPECT_EQ(RGB(255, 255, 255), GetDCBrushColor(dc));
    DeleteDC(dc);
}
