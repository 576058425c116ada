// The control port's commands.
#include "control.h"

#include <climits>
#include <cstdlib>
#include <sstream>
#include <termios.h>
#include <unistd.h>

// A whole decimal number in [low, high], nothing else.
static bool ParseValue(const std::string &word, int low, int high, int &value)
{
    if (word.empty() || word.size() > 9)
        return false;
    for (char c : word)
        if (c < '0' || c > '9')
            return false;
    long number = strtol(word.c_str(), nullptr, 10);
    if (number < low || number > high)
        return false;
    value = int(number);
    return true;
}

std::string RunControlCommand(Simulator &sim, const std::string &line)
{
    std::istringstream words(line);
    std::string command, first, second, extra;
    words >> command >> first >> second >> extra;
    if (!extra.empty())
        return "error too many arguments\n";

    if (command == "sync") {
        if (!first.empty())
            return "error sync takes no argument\n";
        SyncLink(sim.device);
        LogControl(sim.log, line);
        return "ok\n";
    }
    if (command == "reset") {
        if (!first.empty())
            return "error reset takes no argument\n";
        // Transfers of the previous test belong before the marker.
        SyncLink(sim.device);
        ResetDeviceModel(sim.model);
        sim.muted = false;
        sim.delayMilliseconds = 0;
        DiscardAnswers(sim);
        std::string error;
        if (!sim.attached && !AttachDevice(sim, sim.device.pty.slavePath, error))
            return "error " + error + "\n";
        LogControl(sim.log, line);
        return "ok\n";
    }
    if (command == "readings") {
        int counter = 0, autoCounter = 0;
        if (!ParseValue(first, 0, 255, counter) || !ParseValue(second, 0, 255, autoCounter))
            return "error readings takes two values 0..255\n";
        sim.model.counter = counter;
        sim.model.autoCounter = autoCounter;
        LogControl(sim.log, line);
        return "ok\n";
    }
    if (!second.empty())
        return "error too many arguments\n";
    if (command == "attach") {
        // "attach PATH" points the link elsewhere: a port that opens but is
        // no serial line (e.g. /dev/null) makes the line settings fail.
        std::string error;
        if (!AttachDevice(sim, first.empty() ? sim.device.pty.slavePath : first, error))
            return "error " + error + "\n";
        sim.attached = first.empty();
        LogControl(sim.log, line);
        return "ok\n";
    }
    if (command == "answer") {
        int value = 0;
        if (!ParseValue(first, 0, 255, value))
            return "error answer takes a byte 0..255\n";
        LogControl(sim.log, line);
        SendAnswer(sim, value, "control");
        return "ok\n";
    }
    if (command == "mute") {
        if (first != "on" && first != "off")
            return "error mute takes on or off\n";
        sim.muted = first == "on";
        LogControl(sim.log, line);
        return "ok\n";
    }
    if (command == "delay") {
        int milliseconds = 0;
        if (!ParseValue(first, 0, 60000, milliseconds))
            return "error delay takes milliseconds 0..60000\n";
        sim.delayMilliseconds = milliseconds;
        LogControl(sim.log, line);
        return "ok\n";
    }
    if (command == "detach") {
        if (!first.empty())
            return "error detach takes no argument\n";
        DetachDevice(sim);
        LogControl(sim.log, line);
        return "ok\n";
    }
    return "error unknown command\n";
}

void ReadControl(Simulator &sim)
{
    char buffer[512];
    for (;;) {
        ssize_t count = read(sim.control.master, buffer, sizeof buffer);
        if (count <= 0)
            break;
        // A new command: whatever answer still waits unread is stale.
        if (sim.controlInput.empty())
            tcflush(sim.controlSlave, TCIFLUSH);
        sim.controlInput.append(buffer, size_t(count));
    }
    size_t end;
    while ((end = sim.controlInput.find('\n')) != std::string::npos) {
        std::string line = sim.controlInput.substr(0, end);
        sim.controlInput.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // A stray line end is no command, and answering it would put the
        // client one answer behind.
        if (line.find_first_not_of(" \t") == std::string::npos)
            continue;
        WriteAll(sim.control.master, RunControlCommand(sim, line));
    }
    // Nobody sends lines this long; a runaway writer must not grow us forever.
    if (sim.controlInput.size() > 4096) {
        sim.controlInput.clear();
        WriteAll(sim.control.master, "error line too long\n");
    }
}
