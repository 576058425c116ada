// A real main window with the simulator playing the device.
#pragma once

#include "shell/panel_harness.h"
#include "support/device_simulator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class PanelDeviceTest : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        WatchThread();
        window = OpenPanel();
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override
    {
        if (window != NULL)
            ClosePanel(window);
        StopWatching();
        DeviceTest::TearDown();
    }

    // Texts with zero bytes in them, as the device receives them.
    static std::string Bytes(const char *text, size_t count) { return std::string(text, count); }

    HWND window = NULL;
};
