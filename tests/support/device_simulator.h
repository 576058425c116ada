// The device simulator as the Windows tests see it: orders go to COM12, and
// what the device received is read back from the simulator's log, whose Unix
// path the test environment gives in KIVO_DEVICE_LOG.
#pragma once

#include "device_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// One transfer as the device saw it: "message" with its bytes, or "empty"
// (the port was opened, configured and closed without a byte, as a read does).
struct DeviceMessage {
    std::string event;
    std::string bytes;
    int baud = 0;
    int dataBits = 0;
    std::string parity;
    int stopBits = 0;
};

// COM12 opens and the simulator answers `sync`.
bool DeviceSimulatorAvailable();

// Each call is one control command; a refused or failed one is a test failure.
void DeviceReset();
void DeviceSetReadings(int counter, int autoCounter);
void DeviceWillAnswer(int byte);   // the program's next read receives it
void DeviceMute(bool on);
void DeviceDelay(int milliseconds);
void DeviceDetach();               // COM11 no longer exists
void DeviceAttach();               // COM11 is the device again
// COM11 leads to unixPath instead, e.g. /dev/null: it opens but is no serial line.
void DeviceAttachElsewhere(const char *unixPath);

// The transfers since the last reset, every finished one included.
std::vector<DeviceMessage> DeviceMessages();
// Just the bytes of the "message" transfers, in order.
std::vector<std::string> DeviceMessageTexts();

// For tests that talk to the device: skipped with a reason when no simulator
// runs, otherwise starting from a freshly reset device.
class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override;
};
