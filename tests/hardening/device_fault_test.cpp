// The device misbehaving under the panel: gone, going mid-exchange, late,
// answering every byte value, or the port held by another program.
#include "panel/panel_device_fixture.h"

#include "device_protocol.h"
#include "panel_state.h"
#include "serial_port.h"

#include <string>
#include <thread>

namespace {

using Messages = std::vector<std::string>;

class DeviceFaultTest : public PanelDeviceTest {
protected:
    // Switches on, answering OK; returns how long the press took in ms.
    DWORD SwitchOn()
    {
        DWORD start = GetTickCount();
        QueueAnswers({IDOK});
        Press(window, PanelState.SwitchButton);
        return GetTickCount() - start;
    }

    void SwitchOff()
    {
        QueueAnswers({IDYES});
        Press(window, PanelState.SwitchButton);
    }

    void ExpectReadings(const char *counter, const char *whole, const char *tenths)
    {
        EXPECT_EQ(counter, WindowText(PanelState.CounterDisplay));
        EXPECT_EQ(whole, WindowText(PanelState.AutoCounterWholeDisplay));
        EXPECT_EQ(tenths, WindowText(PanelState.AutoCounterTenthsDisplay));
    }

    // Presses save, answering Yes; returns the number of boxes shown.
    size_t Save()
    {
        ForgetSeen();
        QueueAnswers({IDYES});
        Press(window, PanelState.SaveButton);
        return SeenBoxes().size();
    }
};

TEST_F(DeviceFaultTest, DeviceGoingAndComingBetweenTransfers)
{
    SwitchOn();
    ASSERT_EQ(1, PanelState.ConnectionState);
    EXPECT_EQ(2u, Save()) << "question and notice with the device there";

    // Gone: the command fails quietly, no notice, the panel carries on.
    DeviceDetach();
    EXPECT_EQ(1u, Save()) << "a failed save must not claim completion";
    EXPECT_EQ(1, PanelState.ConnectionState);
    EXPECT_FALSE(TakeQuitMessage());

    // Back: the very next transfer reaches it, nothing of the failure lingers.
    DeviceAttach();
    DeviceReset();
    EXPECT_EQ(2u, Save());
    EXPECT_EQ(Messages{"77771"}, DeviceMessageTexts());
    SwitchOff();
    EXPECT_EQ(0, PanelState.ConnectionState);
}

TEST_F(DeviceFaultTest, DeviceGoingDuringTheSwitchOnWait)
{
    DeviceSetReadings(42, 123);
    // The wake command goes out, then the device vanishes within the 3 s
    // wait; the rest of the exchange must fail into no-reading, not hang.
    std::thread unplug([] {
        for (int tries = 0; tries < 500 && DeviceMessageTexts().empty(); tries++)
            Sleep(10);
        DeviceDetach();
    });
    SwitchOn();
    unplug.join();
    EXPECT_EQ(1, PanelState.ConnectionState);
    EXPECT_TRUE(IsWindow(PanelState.SaveButton));
    ExpectReadings("256", "25", "6");
    EXPECT_EQ(Messages{"1"}, DeviceMessageTexts());
    EXPECT_FALSE(TakeQuitMessage());

    // Plugged in again, switching off reaches the device.
    DeviceAttach();
    DeviceReset();
    SwitchOff();
    EXPECT_EQ(Messages{"99991"}, DeviceMessageTexts());
}

TEST_F(DeviceFaultTest, LateAnswersAreWaitedForAndShown)
{
    // No time-outs are set on the port, so the read waits for the byte.
    DeviceSetReadings(200, 7);
    DeviceDelay(1500);
    DWORD took = SwitchOn();
    ExpectReadings("200", "0", "7");
    EXPECT_GE(took, 3000u + 2 * 1400u) << "the readings came before the device sent them";
    DeviceDelay(0);
}

TEST_F(DeviceFaultTest, ExtremeReadingsShowOnThePanel)
{
    DeviceSetReadings(0, 255);
    SwitchOn();
    ExpectReadings("0", "25", "5");
    SwitchOff();
    DeviceSetReadings(255, 0);
    SwitchOn();
    ExpectReadings("255", "0", "0");
}

TEST(DeviceAnswers, EveryByteValueIsReadAndDecoded)
{
    ASSERT_TRUE(DeviceSimulatorAvailable()) << "no device simulator answers on COM12";
    DeviceReset();
    for (int byte = 0; byte < 256; byte++) {
        SCOPED_TRACE(byte);
        DeviceWillAnswer(byte);
        int reading = SerialReadByte();
        ASSERT_EQ(byte, reading);
        char counter[ReadingTextSize], whole[ReadingTextSize], tenths[ReadingTextSize];
        FormatReading(reading, counter);
        FormatAutoCounter(reading, whole, tenths);
        EXPECT_EQ(std::to_string(byte), counter);
        EXPECT_EQ(std::to_string(byte / 10), whole);
        EXPECT_EQ(std::to_string(byte % 10), tenths);
    }
}

TEST_F(DeviceFaultTest, PortHeldByAnotherProgram)
{
    HANDLE holder = CreateFileA(PortName, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    HANDLE second = CreateFileA(PortName, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (second != INVALID_HANDLE_VALUE) {
        CloseHandle(second);
        CloseHandle(holder);
        GTEST_SKIP() << "this platform (Wine) does not enforce exclusive access to a serial port";
    }
    EXPECT_FALSE(SerialWrite("1", 1));
    EXPECT_EQ(NoReading, SerialReadByte());
    CloseHandle(holder);
    EXPECT_TRUE(SerialWrite("1", 1));
}

} // namespace
