// Serial transfers under Wine against the device simulator, which records
// every opening of COM11 with the line settings it found at the close.
#include "device/device_protocol.h"
#include "device/serial_port.h"
#include "support/device_simulator.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

// Between transfers the simulator leaves the line at 9600 baud and two stop
// bits, so 4800 8N1 here proves that this very transfer set the line.
void ExpectConfigured(const DeviceMessage &message)
{
    EXPECT_EQ(4800, message.baud);
    EXPECT_EQ(8, message.dataBits);
    EXPECT_EQ("none", message.parity);
    EXPECT_EQ(1, message.stopBits);
}

// Wine reports no process handle count, but it hands out the lowest free
// handle value: a handle left open shifts the value the next open gets.
HANDLE NextHandleValue()
{
    HANDLE probe = CreateFileA("NUL", GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    CloseHandle(probe);
    return probe;
}

class SerialWriteTest : public DeviceTest {};
class SerialReadByteTest : public DeviceTest {};
class SwitchOnExchangeTest : public DeviceTest {};

TEST_F(SerialWriteTest, ZeroByteWriteOpensConfiguresAndCloses)
{
    EXPECT_TRUE(SerialWrite("", 0));
    std::vector<DeviceMessage> messages = DeviceMessages();
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ("empty", messages[0].event);
    ExpectConfigured(messages[0]);
}

TEST_F(SerialWriteTest, EachWriteIsOneOpeningWithItsOwnLineSettings)
{
    EXPECT_TRUE(SerialWrite("1234", 4));
    // Only openings the simulator has seen keep messages apart; a stalled
    // simulator could let one written microseconds later run into this one.
    EXPECT_EQ(1u, DeviceMessages().size());
    EXPECT_TRUE(SerialWrite("99991", 5));
    std::vector<DeviceMessage> messages = DeviceMessages();
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ("1234", messages[0].bytes);
    EXPECT_EQ("99991", messages[1].bytes);
    for (const DeviceMessage &message : messages)
        ExpectConfigured(message);
}

TEST_F(SerialWriteTest, SendsExactlyCountBytesUnchanged)
{
    // 17 and 19 are XON/XOFF, 13 and 10 what a cooked line rewrites; the zero
    // byte and 255 catch string handling and sign trouble.
    const char bytes[] = {'7', 17, 19, 13, 10, 0, char(200), char(255), 'x'};
    EXPECT_TRUE(SerialWrite(bytes, 8));
    EXPECT_EQ(Texts({std::string(bytes, 8)}), DeviceMessageTexts());
}

TEST_F(SerialWriteTest, FailsWithoutDeviceAndLeavesNothingOpen)
{
    DeviceDetach();
    HANDLE next = NextHandleValue();
    EXPECT_FALSE(SerialWrite("1", 1));
    EXPECT_EQ(NoReading, SerialReadByte());
    EXPECT_EQ(next, NextHandleValue());
    DeviceAttach();
    EXPECT_TRUE(SerialWrite("5", 1));
    EXPECT_EQ(Texts({"5"}), DeviceMessageTexts());
}

TEST_F(SerialWriteTest, FailsWhenThePortTakesNoLineSettings)
{
    // /dev/null opens like a port, but has no line to configure.
    DeviceAttachElsewhere("/dev/null");
    HANDLE next = NextHandleValue();
    EXPECT_FALSE(SerialWrite("1", 1));
    EXPECT_EQ(NoReading, SerialReadByte());
    // The opened handle is closed on the failure path too.
    EXPECT_EQ(next, NextHandleValue());
    DeviceAttach();
    EXPECT_TRUE(SerialWrite("77771", 5));
    EXPECT_EQ(Texts({"77771"}), DeviceMessageTexts());
}

TEST_F(SerialReadByteTest, ReturnsEachByteUnchanged)
{
    // 13, 17 and 19 are what a cooked line eats or rewrites; 200 and 255 catch a signed char.
    const int sent[] = {0, 13, 17, 19, 200, 255};
    for (int byte : sent) {
        SCOPED_TRACE(byte);
        DeviceWillAnswer(byte);
        EXPECT_EQ(byte, SerialReadByte());
    }
    std::vector<DeviceMessage> messages = DeviceMessages();
    ASSERT_EQ(std::size(sent), messages.size());
    for (const DeviceMessage &message : messages) {
        EXPECT_EQ("empty", message.event);
        ExpectConfigured(message);
    }
}

TEST_F(SerialReadByteTest, ReturnsNoReadingWithoutDevice)
{
    DeviceDetach();
    EXPECT_EQ(256, SerialReadByte());
}

TEST_F(SwitchOnExchangeTest, ReadsCounterThenAutoCounter)
{
    DeviceSetReadings(7, 250);
    SerialWrite(WakeCommand, OneByteCommandLength);
    // Stands in for the panel's wait after waking the device.
    DeviceMessages();
    SerialWrite(CounterRequest, OneByteCommandLength);
    EXPECT_EQ(7, SerialReadByte());
    SerialWrite(WakeCommand, OneByteCommandLength);
    EXPECT_EQ(250, SerialReadByte());
    std::vector<DeviceMessage> messages = DeviceMessages();
    ASSERT_EQ(5u, messages.size());
    const char *expected[] = {"1", "5", "", "1", ""};
    for (size_t i = 0; i < messages.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i], messages[i].bytes);
        ExpectConfigured(messages[i]);
    }
}

} // namespace
