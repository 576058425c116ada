// Number and result sends against the simulated device.
#include "panel/panel_device_fixture.h"

#include "panel_state.h"
#include "program.h"

using Messages = std::vector<std::string>;

TEST_F(PanelDeviceTest, NumberSendWritesExactlyTheTypedText)
{
    for (const char *typed : {"1234", "0", "0042", "65535"}) {
        SCOPED_TRACE(typed);
        DeviceReset();
        PanelState.LastSendResult = 0;
        SetWindowTextA(PanelState.NumberEdit, typed);
        Press(window, PanelState.SendNumberButton);
        EXPECT_EQ(Messages{typed}, DeviceMessageTexts());
        EXPECT_EQ(1, PanelState.LastSendResult);
    }
    // An empty field is a write of nothing, which succeeds and keeps the program running.
    DeviceReset();
    SetWindowTextA(PanelState.NumberEdit, "");
    PanelState.LastSendResult = 0;
    Press(window, PanelState.SendNumberButton);
    EXPECT_EQ(1, PanelState.LastSendResult);
    for (const std::string &message : DeviceMessageTexts())
        EXPECT_EQ("", message);
    EXPECT_FALSE(TakeQuitMessage());
    EXPECT_TRUE(SeenBoxes().empty());
}

struct ResultCase {
    const char *first;
    const char *second;
    int radio;  // AddRadio, SubtractRadio or MultiplyRadio by identifier
    std::string sent;
};

TEST_F(PanelDeviceTest, ResultSendWritesTheResultCutOrPaddedToTheLongerOperand)
{
    const ResultCase cases[] = {
        // The start-up texts read as 1 and 2; the count of 4 takes the zero bytes after "3".
        {"1st", "2nd", 3000, std::string("3\0\0\0", 4)},
        {"15", "5", 3000, std::string("20\0", 3)},
        {"99", "99", 3002, "980"},
        {"9999", "9999", 3000, "19998"},
        {"1", "9999", 3001, "-9998"},
        {"5", "12", 3001, std::string("-7\0", 3)},
    };
    for (const ResultCase &c : cases) {
        SCOPED_TRACE(std::string(c.first) + " " + c.second + " " + std::to_string(c.radio));
        DeviceReset();
        HWND radio = GetDlgItem(window, c.radio);
        ASSERT_NE(nullptr, radio);
        SendMessageA(radio, BM_CLICK, 0, 0);
        SetWindowTextA(PanelState.FirstOperandEdit, c.first);
        SetWindowTextA(PanelState.SecondOperandEdit, c.second);
        PanelState.LastSendResult = 0;
        Press(window, PanelState.SendResultButton);
        EXPECT_EQ(Messages{c.sent}, DeviceMessageTexts());
        EXPECT_EQ(1, PanelState.LastSendResult);
    }
    EXPECT_FALSE(TakeQuitMessage());
}

TEST_F(PanelDeviceTest, ResultSendWithNoOperationSendsNothingEvenWithoutADevice)
{
    PanelState.LastSendResult = 1;
    Press(window, PanelState.SendResultButton);
    EXPECT_TRUE(DeviceMessageTexts().empty());
    DeviceDetach();
    Press(window, PanelState.SendResultButton);
    EXPECT_EQ(1, PanelState.LastSendResult);
    EXPECT_FALSE(TakeQuitMessage());
}

TEST_F(PanelDeviceTest, FailedSendsEndTheProgramWithCodeThreeAndNoMessage)
{
    DeviceDetach();
    SetWindowTextA(PanelState.NumberEdit, "12");
    PanelState.LastSendResult = 1;
    Press(window, PanelState.SendNumberButton);
    int code = -1;
    EXPECT_TRUE(TakeQuitMessage(&code));
    EXPECT_EQ(3, code);
    EXPECT_EQ(0, PanelState.LastSendResult);

    SendMessageA(PanelState.AddRadio, BM_CLICK, 0, 0);
    PanelState.LastSendResult = 1;
    Press(window, PanelState.SendResultButton);
    code = -1;
    EXPECT_TRUE(TakeQuitMessage(&code));
    EXPECT_EQ(3, code);
    EXPECT_EQ(0, PanelState.LastSendResult);
    EXPECT_TRUE(SeenBoxes().empty());
    EXPECT_TRUE(IsWindow(window));
}

// A No to a maintenance question ends only that action: the later comparisons
// still run. With the maintenance button's handle standing for SendNumberButton
// too, both the question and the number send must happen, in that order.
TEST_F(PanelDeviceTest, NoToAMaintenanceQuestionStillReachesTheLaterComparisons)
{
    struct Case {
        HWND PanelRecord::*maintenance;
        const char *question;
    };
    const Case cases[] = {
        {&PanelRecord::EraseButton, "You Are Trying to ERASE the Memory of the system, Are you Sure?"},
        {&PanelRecord::SaveButton, "You Are Trying to SAVE the Memory of the system, Are you Sure?"},
        {&PanelRecord::ResetButton, "You are Trying to RESET the System, Are you Sure?"},
    };
    SetWindowTextA(PanelState.NumberEdit, "77");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.question);
        DeviceReset();
        ForgetSeen();
        PanelState.*c.maintenance = PanelState.SendNumberButton;
        QueueAnswers({IDNO});
        Press(window, PanelState.SendNumberButton);
        PanelState.*c.maintenance = NULL;
        ASSERT_EQ(1u, SeenBoxes().size());
        EXPECT_EQ(c.question, SeenBoxes()[0].text);
        EXPECT_EQ(Messages{"77"}, DeviceMessageTexts());
    }
}

class ProgramDeviceTest : public DeviceTest {};

static void CALLBACK PressSendNumber(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    SendMessageA(PanelState.SendNumberButton, BM_CLICK, 0, 0);
}

static void CALLBACK GiveUp(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    PostQuitMessage(99);
}

// The code must survive the message loop to become the process's exit code.
TEST_F(ProgramDeviceTest, FailedNumberSendEndsTheRunningProgramWithCodeThree)
{
    DeviceDetach();
    PanelState = {};
    SetTimer(NULL, 0, 100, PressSendNumber);
    UINT_PTR safety = SetTimer(NULL, 0, 10000, GiveUp);
    EXPECT_EQ(3, RunProgram(GetModuleHandleA(NULL), SW_SHOWNOACTIVATE));
    KillTimer(NULL, safety);
    HWND window = FindWindowA("X", "Kivo");
    if (window != NULL)
        DestroyWindow(window);
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
    }
    UnregisterClassA("X", GetModuleHandleA(NULL));
    PanelState = {};
}
