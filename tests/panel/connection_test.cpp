// The connection switch and the maintenance buttons against the simulated
// device. Switching on costs the device's 3 s wake-up, so the cases that need
// it are gathered into a few long walks through the connection states.
#include "panel/panel_device_fixture.h"

#include "panel_state.h"

using Messages = std::vector<std::string>;

static const char SwitchOnQuestion[] =
    "You are Trying to SWITCH ON the Connection of the System,           "
    "Make sure that the system is ON THE SERIAL MODE, Continue?";
static const char SwitchOffQuestion[] =
    "You are Trying to SWITCH OFF the Connection of the System,             Are you Sure?";
static const char EraseQuestion[] = "You Are Trying to ERASE the Memory of the system, Are you Sure?";
static const char SaveQuestion[] = "You Are Trying to SAVE the Memory of the system, Are you Sure?";
static const char ResetQuestion[] = "You are Trying to RESET the System, Are you Sure?";

static HBITMAP Picture(HWND button)
{
    return (HBITMAP)SendMessageA(button, BM_GETIMAGE, IMAGE_BITMAP, 0);
}

class ConnectionTest : public PanelDeviceTest {
protected:
    // Presses a control with the given answers queued; returns the boxes it showed.
    std::vector<SeenBox> PressAnswering(HWND control, std::vector<int> answers)
    {
        ForgetSeen();
        messagesBefore = DeviceMessageTexts().size();
        QueueAnswers(answers);
        Press(window, control);
        return SeenBoxes();
    }

    // The maintenance buttons among the windows destroyed during the last
    // press (the boxes' own windows go too), in order.
    std::vector<HWND> MaintenanceButtonsDestroyed()
    {
        std::vector<HWND> buttons;
        for (HWND gone : DestroyedWindows()) {
            if (gone == PanelState.SaveButton || gone == PanelState.EraseButton || gone == PanelState.ResetButton)
                buttons.push_back(gone);
        }
        return buttons;
    }

    // What the device received during the last press.
    Messages Sent()
    {
        Messages all = DeviceMessageTexts();
        if (all.size() < messagesBefore)
            return all;
        return Messages(all.begin() + messagesBefore, all.end());
    }

    size_t messagesBefore = 0;

    void ExpectBox(const SeenBox &box, const char *text, UINT flags)
    {
        EXPECT_EQ(text, box.text);
        EXPECT_EQ("", box.caption);
        EXPECT_EQ(flags, box.flags);
        EXPECT_EQ(window, box.owner);
    }

    void ExpectSwitchedOff()
    {
        EXPECT_EQ(0, PanelState.ConnectionState);
        EXPECT_EQ(PanelState.SwitchOffBitmap, Picture(PanelState.SwitchButton));
        for (HWND button : {PanelState.SaveButton, PanelState.EraseButton, PanelState.ResetButton})
            EXPECT_FALSE(IsWindow(button));
    }

    // Switches on, answering OK, and checks everything that comes with it.
    void SwitchOn(int counter, int autoCounter)
    {
        DeviceSetReadings(counter, autoCounter);
        DWORD start = GetTickCount();
        std::vector<SeenBox> boxes = PressAnswering(PanelState.SwitchButton, {IDOK});
        DWORD elapsed = GetTickCount() - start;
        ASSERT_EQ(1u, boxes.size());
        ExpectBox(boxes[0], SwitchOnQuestion, MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2);
        EXPECT_GE(elapsed, 2900u) << "the device was not given its wake-up time";
        EXPECT_EQ(1, PanelState.ConnectionState);
        EXPECT_EQ(PanelState.SwitchOnBitmap, Picture(PanelState.SwitchButton));

        // Erase, Save, Reset: created in that order, placed Save, Erase, Reset.
        const std::vector<CreatedWindow> made = ChildrenCreated(window);
        ASSERT_EQ(3u, made.size());
        const HWND PanelRecord::*fields[] = {&PanelRecord::EraseButton, &PanelRecord::SaveButton,
                                             &PanelRecord::ResetButton};
        const HBITMAP PanelRecord::*pictures[] = {&PanelRecord::EraseBitmap, &PanelRecord::SaveBitmap,
                                                  &PanelRecord::ResetBitmap};
        const int xs[] = {110, 50, 170};
        for (int i = 0; i < 3; i++) {
            SCOPED_TRACE(i);
            EXPECT_EQ(PanelState.*fields[i], made[i].window);
            EXPECT_EQ("BUTTON", made[i].className);
            EXPECT_EQ("", made[i].text);
            EXPECT_EQ(DWORD(0x50000080), made[i].style);
            EXPECT_EQ(xs[i], made[i].x);
            EXPECT_EQ(45, made[i].y);
            EXPECT_EQ(50, made[i].width);
            EXPECT_EQ(18, made[i].height);
            EXPECT_EQ(0, made[i].id);
            EXPECT_EQ(PanelState.*pictures[i], Picture(made[i].window));
            EXPECT_TRUE(IsWindowVisible(made[i].window) || !IsWindowVisible(window));
        }
        EXPECT_EQ((Messages{"1", "5", "1"}), Sent());
    }

    void ExpectReadings(const char *counter, const char *whole, const char *tenths)
    {
        EXPECT_EQ(counter, WindowText(PanelState.CounterDisplay));
        EXPECT_EQ(whole, WindowText(PanelState.AutoCounterWholeDisplay));
        EXPECT_EQ(tenths, WindowText(PanelState.AutoCounterTenthsDisplay));
    }
};

TEST_F(ConnectionTest, CancelToTheSwitchOnQuestionChangesNothing)
{
    std::vector<SeenBox> boxes = PressAnswering(PanelState.SwitchButton, {IDCANCEL});
    ASSERT_EQ(1u, boxes.size());
    ExpectBox(boxes[0], SwitchOnQuestion, MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2);
    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(ChildrenCreated(window).empty());
    EXPECT_EQ(nullptr, PanelState.SaveButton);
    ExpectSwitchedOff();
    ExpectReadings("", "", "");
}

TEST_F(ConnectionTest, OnMaintainOffOnAndReset)
{
    SwitchOn(42, 123);
    ExpectReadings("42", "12", "3");
    const HBITMAP onPicture = PanelState.SwitchOnBitmap, savePicture = PanelState.SaveBitmap;

    // No sends nothing and shows nothing more; Yes sends and confirms.
    std::vector<SeenBox> boxes = PressAnswering(PanelState.EraseButton, {IDNO});
    ASSERT_EQ(1u, boxes.size());
    ExpectBox(boxes[0], EraseQuestion, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    EXPECT_TRUE(Sent().empty());
    boxes = PressAnswering(PanelState.EraseButton, {IDYES});
    ASSERT_EQ(2u, boxes.size());
    ExpectBox(boxes[1], "Memory ERASE Complete", MB_ICONINFORMATION);
    EXPECT_EQ(Messages{"33331"}, Sent());
    boxes = PressAnswering(PanelState.SaveButton, {IDYES});
    ASSERT_EQ(2u, boxes.size());
    ExpectBox(boxes[0], SaveQuestion, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    ExpectBox(boxes[1], "Memory SAVE Complete", MB_ICONINFORMATION);
    EXPECT_EQ(Messages{"77771"}, Sent());
    EXPECT_EQ(1, PanelState.ConnectionState);

    // Switching off: No keeps the connection, Yes tears the buttons down
    // (Reset, Save, Erase) before telling the device.
    boxes = PressAnswering(PanelState.SwitchButton, {IDNO});
    ASSERT_EQ(1u, boxes.size());
    ExpectBox(boxes[0], SwitchOffQuestion, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    EXPECT_EQ(1, PanelState.ConnectionState);
    EXPECT_TRUE(IsWindow(PanelState.SaveButton));
    EXPECT_TRUE(Sent().empty());
    boxes = PressAnswering(PanelState.SwitchButton, {IDYES});
    EXPECT_EQ(1u, boxes.size());
    ExpectSwitchedOff();
    EXPECT_EQ((std::vector<HWND>{PanelState.ResetButton, PanelState.SaveButton, PanelState.EraseButton}),
              MaintenanceButtonsDestroyed());
    EXPECT_EQ(Messages{"99991"}, Sent());
    ExpectReadings("42", "12", "3");

    // A second cycle shows the same pictures: nothing is loaded twice.
    SwitchOn(200, 7);
    ExpectReadings("200", "0", "7");
    EXPECT_EQ(onPicture, PanelState.SwitchOnBitmap);
    EXPECT_EQ(savePicture, PanelState.SaveBitmap);

    SendMessageA(PanelState.MultiplyRadio, BM_CLICK, 0, 0);
    SetWindowTextA(PanelState.NumberEdit, "55");
    SetWindowTextA(PanelState.FirstOperandEdit, "6");
    SetWindowTextA(PanelState.SecondOperandEdit, "7");
    boxes = PressAnswering(PanelState.ResetButton, {IDNO});
    ASSERT_EQ(1u, boxes.size());
    ExpectBox(boxes[0], ResetQuestion, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ("55", WindowText(PanelState.NumberEdit));
    EXPECT_EQ(1, PanelState.ConnectionState);

    boxes = PressAnswering(PanelState.ResetButton, {IDYES});
    ASSERT_EQ(2u, boxes.size());
    ExpectBox(boxes[1], "System RESET Complete", MB_ICONINFORMATION);
    EXPECT_EQ(Messages{"88881"}, Sent());
    EXPECT_EQ("", WindowText(PanelState.NumberEdit));
    EXPECT_EQ("1st", WindowText(PanelState.FirstOperandEdit));
    EXPECT_EQ("2nd", WindowText(PanelState.SecondOperandEdit));
    ExpectSwitchedOff();
    EXPECT_EQ((std::vector<HWND>{PanelState.SaveButton, PanelState.EraseButton, PanelState.ResetButton}),
              MaintenanceButtonsDestroyed());
    // The readings and the chosen operation survive a reset.
    ExpectReadings("200", "0", "7");
    EXPECT_EQ(3, PanelState.SelectedOperation);

    // Off again, so the switch asks the switch-on question.
    boxes = PressAnswering(PanelState.SwitchButton, {IDCANCEL});
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(SwitchOnQuestion, boxes[0].text);
    EXPECT_FALSE(TakeQuitMessage());
}

TEST_F(ConnectionTest, WithoutADeviceTheSwitchShowsNoReadingAndNoticesStaySilent)
{
    DeviceDetach();
    std::vector<SeenBox> boxes = PressAnswering(PanelState.SwitchButton, {IDOK});
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(1, PanelState.ConnectionState);
    EXPECT_EQ(PanelState.SwitchOnBitmap, Picture(PanelState.SwitchButton));
    EXPECT_TRUE(IsWindow(PanelState.EraseButton));
    ExpectReadings("256", "25", "6");

    // A save or erase that did not go out is not reported as done.
    for (HWND button : {PanelState.EraseButton, PanelState.SaveButton}) {
        boxes = PressAnswering(button, {IDYES});
        EXPECT_EQ(1u, boxes.size());
    }
    // A reset is not checked: the panel starts over and says so.
    boxes = PressAnswering(PanelState.ResetButton, {IDYES});
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("System RESET Complete", boxes[1].text);
    ExpectSwitchedOff();
    EXPECT_FALSE(TakeQuitMessage());
}
