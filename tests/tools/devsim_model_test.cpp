// The simulated device's reactions, message by message.
#include "device_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Step {
    std::string bytes;
    const char *meaning;
    int answer;
};

struct Case {
    const char *name;
    std::vector<Step> steps;
};

TEST(DeviceReceive, FollowsTheSwitchOnExchangeAndCommands)
{
    const std::string z(1, '\0');
    const Case cases[] = {
        {"switch-on", {{"1", "wake", -1}, {"5", "counter-request", 42},
                       {"1", "auto-counter-request", 123}, {"1", "wake", -1}}},
        // Only a "1" right after a "5" asks for the Auto Counter.
        {"number between", {{"5", "counter-request", 42}, {"77", "number", -1}, {"1", "wake", -1}}},
        {"reset forgets the 5", {{"5", "counter-request", 42}, {"88881", "reset", -1}, {"1", "wake", -1}}},
        {"commands", {{"99991", "switch-off", -1}, {"77771", "save", -1}, {"33331", "erase", -1}}},
        {"numbers", {{"0", "number", -1}, {"-9998", "number", -1}, {"20" + z, "number", -1},
                     {"7" + z + z + z, "number", -1}}},
        {"not numbers", {{"-", "unknown", -1}, {"12a", "unknown", -1}, {"1" + z + "5", "unknown", -1},
                         {z, "unknown", -1}, {"\x11\x13", "unknown", -1}}},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        DeviceModel model;
        ResetDeviceModel(model);
        for (const Step &step : test.steps) {
            SCOPED_TRACE(step.bytes);
            DeviceReply reply = DeviceReceive(model, step.bytes);
            EXPECT_STREQ(step.meaning, reply.meaning);
            EXPECT_EQ(step.answer, reply.answer);
        }
    }
}

TEST(DeviceReceive, RemembersNumbersAndRestoresReadingsOnReset)
{
    DeviceModel model;
    model.startCounter = 10;
    model.startAutoCounter = 20;
    ResetDeviceModel(model);
    model.counter = 99;
    DeviceReceive(model, std::string("-15\0\0", 5));
    EXPECT_EQ("-15", model.lastNumber);
    DeviceReceive(model, "77771");
    EXPECT_TRUE(model.hasMemory);
    EXPECT_EQ("-15", model.memory);
    DeviceReceive(model, "33331");
    EXPECT_FALSE(model.hasMemory);
    DeviceReceive(model, "1");
    EXPECT_TRUE(model.awake);
    DeviceReceive(model, "88881");
    EXPECT_FALSE(model.awake);
    EXPECT_EQ(10, model.counter);
    EXPECT_EQ(20, model.autoCounter);
}

} // namespace
