// Talks to the device simulator from inside Wine.
#include "device_simulator.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

static void Command(const std::string &command)
{
    std::string answer = DeviceControl(command);
    if (answer != "ok")
        ADD_FAILURE() << "device simulator: \"" << command << "\" answered \"" << answer << "\"";
}

bool DeviceSimulatorAvailable() { return DeviceControl("sync") == "ok"; }
void DeviceReset() { Command("reset"); }
void DeviceSetReadings(int counter, int autoCounter)
{
    Command("readings " + std::to_string(counter) + " " + std::to_string(autoCounter));
}
void DeviceWillAnswer(int byte) { Command("answer " + std::to_string(byte)); }
void DeviceMute(bool on) { Command(on ? "mute on" : "mute off"); }
void DeviceDelay(int milliseconds) { Command("delay " + std::to_string(milliseconds)); }
void DeviceDetach() { Command("detach"); }
void DeviceAttach() { Command("attach"); }
void DeviceAttachElsewhere(const char *unixPath) { Command(std::string("attach ") + unixPath); }

// The log is Unix-side; Wine shows the Unix root as drive Z:.
static std::string LogPathForWine()
{
    const char *unixPath = getenv("KIVO_DEVICE_LOG");
    if (!unixPath || !*unixPath)
        return "";
    std::string path = std::string("Z:") + unixPath;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// The value of "key" in one JSON line of the simulator's fixed format: a
// string (with its \" \\ and \u00XX escapes undone) or a bare number.
static bool JsonField(const std::string &line, const char *key, std::string &value)
{
    std::string marker = std::string("\"") + key + "\":";
    size_t at = line.find(marker);
    if (at == std::string::npos)
        return false;
    at += marker.size();
    value.clear();
    if (at < line.size() && line[at] != '"') {
        while (at < line.size() && line[at] != ',' && line[at] != '}')
            value += line[at++];
        return true;
    }
    for (++at; at < line.size() && line[at] != '"'; ++at) {
        if (line[at] != '\\') {
            value += line[at];
            continue;
        }
        char kind = ++at < line.size() ? line[at] : '\0';
        if (kind == 'u' && at + 4 < line.size()) {
            value += char(strtol(line.substr(at + 1, 4).c_str(), nullptr, 16));
            at += 4;
        } else {
            value += kind;
        }
    }
    return true;
}

static int JsonNumber(const std::string &line, const char *key)
{
    std::string value;
    return JsonField(line, key, value) ? atoi(value.c_str()) : -1;
}

std::vector<DeviceMessage> DeviceMessages()
{
    std::vector<DeviceMessage> messages;
    // After sync the log holds every transfer the program has finished.
    Command("sync");
    std::string path = LogPathForWine();
    FILE *log = path.empty() ? nullptr : fopen(path.c_str(), "rb");
    if (!log) {
        ADD_FAILURE() << "cannot read the device log " << path;
        return messages;
    }
    std::string line;
    int c;
    while ((c = fgetc(log)) != EOF) {
        if (c != '\n') {
            line += char(c);
            continue;
        }
        std::string event, command;
        JsonField(line, "event", event);
        if (event == "control" && JsonField(line, "command", command) && command == "reset") {
            messages.clear();
        } else if (event == "message" || event == "empty") {
            DeviceMessage message;
            message.event = event;
            JsonField(line, "text", message.bytes);
            // The line settings sit in their own object; its keys are unique.
            message.baud = JsonNumber(line, "baud");
            message.dataBits = JsonNumber(line, "data_bits");
            JsonField(line, "parity", message.parity);
            message.stopBits = JsonNumber(line, "stop_bits");
            messages.push_back(message);
        }
        line.clear();
    }
    fclose(log);
    return messages;
}

std::vector<std::string> DeviceMessageTexts()
{
    std::vector<std::string> texts;
    for (const DeviceMessage &message : DeviceMessages())
        if (message.event == "message")
            texts.push_back(message.bytes);
    return texts;
}

void DeviceTest::SetUp()
{
    // A lane gives every test its simulator: a missing one is a fault, not a skip.
    ASSERT_NE(nullptr, getenv("KIVO_DEVICE_LOG"))
        << "no device simulator: KIVO_DEVICE_LOG is not set (run the tests with ctest, which starts one)";
    ASSERT_TRUE(DeviceSimulatorAvailable())
        << "KIVO_DEVICE_LOG is set, but no device simulator answers on COM12";
    DeviceReset();
}
