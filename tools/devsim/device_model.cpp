// The simulated device's reaction to each message.
#include "device_model.h"

void ResetDeviceModel(DeviceModel &model)
{
    model.counter = model.startCounter;
    model.autoCounter = model.startAutoCounter;
    model.awake = false;
    model.counterAsked = false;
    model.lastNumber.clear();
    model.hasMemory = false;
    model.memory.clear();
}

bool ParseNumberMessage(const std::string &bytes, std::string &number)
{
    size_t end = bytes.find('\0');
    if (end == std::string::npos)
        end = bytes.size();
    // Whatever follows the terminator must be padding, not more text.
    for (size_t i = end; i < bytes.size(); ++i)
        if (bytes[i] != '\0')
            return false;
    size_t first = (end > 0 && bytes[0] == '-') ? 1 : 0;
    if (first == end)
        return false;
    for (size_t i = first; i < end; ++i)
        if (bytes[i] < '0' || bytes[i] > '9')
            return false;
    number = bytes.substr(0, end);
    return true;
}

DeviceReply DeviceReceive(DeviceModel &model, const std::string &bytes)
{
    bool counterAsked = model.counterAsked;
    model.counterAsked = false;
    if (bytes == "5") {
        model.counterAsked = true;
        return {"counter-request", model.counter, "counter"};
    }
    if (bytes == "1") {
        if (counterAsked)
            return {"auto-counter-request", model.autoCounter, "auto-counter"};
        model.awake = true;
        return {"wake", -1, ""};
    }
    if (bytes == "99991") {
        model.awake = false;
        return {"switch-off", -1, ""};
    }
    if (bytes == "88881") {
        model.awake = false;
        model.counter = model.startCounter;
        model.autoCounter = model.startAutoCounter;
        return {"reset", -1, ""};
    }
    if (bytes == "77771") {
        model.hasMemory = true;
        model.memory = model.lastNumber;
        return {"save", -1, ""};
    }
    if (bytes == "33331") {
        model.hasMemory = false;
        model.memory.clear();
        return {"erase", -1, ""};
    }
    std::string number;
    if (ParseNumberMessage(bytes, number)) {
        model.lastNumber = number;
        return {"number", -1, ""};
    }
    return {"unknown", -1, ""};
}
