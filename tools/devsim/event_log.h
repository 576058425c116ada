// The simulator's two records of what happened: one JSON object per line in
// the log file (others parse it), and a readable line per event on stdout.
#pragma once

#include "device_model.h"
#include "pty_link.h"

#include <cstdio>
#include <string>

struct EventLog {
    FILE *file = nullptr;   // --log, appended to; none when null
    bool quiet = false;     // no terminal lines
};

bool OpenEventLog(EventLog &log, const char *path);
void CloseEventLog(EventLog &log);

// note, when given, says what a reader of this log must know (the monitor:
// what differs from a direct mapping).
void LogStart(EventLog &log, const std::string &where, const char *note = "");
// event is "message" (bytes received) or "empty" (a transfer without bytes).
void LogTransfer(EventLog &log, const std::string &bytes, const LineSettings &line,
                 const char *meaning);
// A transfer with what the device makes of it: the model takes the bytes
// (a transfer without any leaves it alone and asks for no answer).
DeviceReply LogMessage(EventLog &log, DeviceModel &model, const std::string &bytes,
                       const LineSettings &line);
void LogAnswer(EventLog &log, int value, const char *reason);
void LogControl(EventLog &log, const std::string &command);
// Bytes a real device sent through the monitor; reason names the reading
// they answer ("counter", "auto-counter"), or is empty when none was asked for.
void LogDeviceBytes(EventLog &log, const std::string &bytes, const char *reason);
// Device bytes the program did not read before it closed the port.
void LogUnread(EventLog &log, const std::string &bytes);
// The monitor's adapter: state "lost" (with the error) or "back".
void LogAdapter(EventLog &log, const char *state, const std::string &path, const std::string &error);
void LogStop(EventLog &log);

// The bytes as a JSON string body: printable ASCII as is, the rest as \u00XX.
std::string JsonText(const std::string &bytes);
