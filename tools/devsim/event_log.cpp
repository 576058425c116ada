// JSON lines for the tests, readable lines for whoever watches the terminal.
#include "event_log.h"

#include <cstdarg>
#include <ctime>

bool OpenEventLog(EventLog &log, const char *path)
{
    log.file = fopen(path, "ae");
    return log.file != nullptr;
}

void CloseEventLog(EventLog &log)
{
    if (log.file)
        fclose(log.file);
    log.file = nullptr;
}

struct Stamp {
    char iso[64];     // 2026-12-07T06:30:01.123Z
    char clock[32];   // 06:30:01.123
};

static Stamp Now()
{
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts;
    gmtime_r(&now.tv_sec, &parts);
    int milliseconds = int(now.tv_nsec / 1000000);
    Stamp stamp;
    snprintf(stamp.iso, sizeof stamp.iso, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ",
             parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
             parts.tm_hour, parts.tm_min, parts.tm_sec, milliseconds);
    snprintf(stamp.clock, sizeof stamp.clock, "%02d:%02d:%02d.%03d",
             parts.tm_hour, parts.tm_min, parts.tm_sec, milliseconds);
    return stamp;
}

// Printable ASCII as it is, quotes and backslashes escaped, every other byte
// in the given escape format.
static std::string EscapedText(const std::string &bytes, const char *escapeFormat)
{
    std::string text;
    for (unsigned char byte : bytes) {
        if (byte == '"' || byte == '\\') {
            text += '\\';
            text += char(byte);
        } else if (byte >= 0x20 && byte < 0x7f) {
            text += char(byte);
        } else {
            char escape[8];
            snprintf(escape, sizeof escape, escapeFormat, byte);
            text += escape;
        }
    }
    return text;
}

std::string JsonText(const std::string &bytes)
{
    return EscapedText(bytes, "\\u%04x");
}

static std::string HexText(const std::string &bytes)
{
    static const char Digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : bytes) {
        hex += Digits[byte >> 4];
        hex += Digits[byte & 15];
    }
    return hex;
}

// Like JsonText but for eyes: C-style escapes.
static std::string TerminalText(const std::string &bytes)
{
    return EscapedText(bytes, "\\x%02x");
}

// Each line is flushed at once: a test reads the log while we run.
static void WriteJson(EventLog &log, const std::string &line)
{
    if (!log.file)
        return;
    fputs(line.c_str(), log.file);
    fputc('\n', log.file);
    fflush(log.file);
}

static void WriteTerminal(EventLog &log, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

static void WriteTerminal(EventLog &log, const char *format, ...)
{
    if (log.quiet)
        return;
    va_list arguments;
    va_start(arguments, format);
    vprintf(format, arguments);
    va_end(arguments);
    fflush(stdout);
}

static std::string Head(const Stamp &stamp, const char *event)
{
    return std::string("{\"time\":\"") + stamp.iso + "\",\"event\":\"" + event + "\"";
}

void LogStart(EventLog &log, const std::string &where, const char *note)
{
    Stamp stamp = Now();
    std::string json = Head(stamp, "start") + ",\"where\":\"" + JsonText(where) + "\"";
    if (*note)
        json += std::string(",\"note\":\"") + JsonText(note) + "\"";
    WriteJson(log, json + "}");
}

void LogTransfer(EventLog &log, const std::string &bytes, const LineSettings &line,
                 const char *meaning)
{
    Stamp stamp = Now();
    bool empty = bytes.empty();
    char lineJson[128];
    snprintf(lineJson, sizeof lineJson,
             "\"line\":{\"baud\":%d,\"data_bits\":%d,\"parity\":\"%s\",\"stop_bits\":%d}",
             line.baud, line.dataBits, line.parity, line.stopBits);
    // An empty transfer carries the same fields, so one parser reads both.
    std::string json = Head(stamp, empty ? "empty" : "message");
    json += ",\"hex\":\"" + HexText(bytes) + "\",\"text\":\"" + JsonText(bytes)
            + "\",\"length\":" + std::to_string(bytes.size());
    json += std::string(",") + lineJson;
    if (!empty)
        json += std::string(",\"meaning\":\"") + meaning + "\"";
    WriteJson(log, json + "}");

    char settings[48];
    snprintf(settings, sizeof settings, "%d %d%c%d", line.baud, line.dataBits,
             line.parity[0] == 'n' ? 'N' : char(line.parity[0] - 'a' + 'A'), line.stopBits);
    if (empty)
        WriteTerminal(log, "%s  <- (no bytes)  (%s)\n", stamp.clock, settings);
    else
        WriteTerminal(log, "%s  <- \"%s\"  %s  (%s)\n", stamp.clock,
                      TerminalText(bytes).c_str(), meaning, settings);
}

DeviceReply LogMessage(EventLog &log, DeviceModel &model, const std::string &bytes,
                       const LineSettings &line)
{
    if (bytes.empty()) {
        LogTransfer(log, bytes, line, "");
        return {"", -1, ""};
    }
    DeviceReply reply = DeviceReceive(model, bytes);
    LogTransfer(log, bytes, line, reply.meaning);
    return reply;
}

// The reading's name as the panel labels it.
static const char *ReadingName(const char *reason)
{
    std::string said = reason;
    if (said == "counter")
        return "Counter";
    if (said == "auto-counter")
        return "Auto Counter";
    return reason;
}

void LogAnswer(EventLog &log, int value, const char *reason)
{
    Stamp stamp = Now();
    WriteJson(log, Head(stamp, "answer") + ",\"value\":" + std::to_string(value)
                   + ",\"reason\":\"" + reason + "\"}");
    WriteTerminal(log, "%s  -> %d (%s)\n", stamp.clock, value, ReadingName(reason));
}

// Byte values as the panel would show them, one after another.
static std::string Values(const std::string &bytes)
{
    std::string values;
    for (unsigned char byte : bytes)
        values += (values.empty() ? "" : " ") + std::to_string(byte);
    return values;
}

void LogDeviceBytes(EventLog &log, const std::string &bytes, const char *reason)
{
    Stamp stamp = Now();
    std::string json = Head(stamp, "device") + ",\"hex\":\"" + HexText(bytes)
                       + "\",\"length\":" + std::to_string(bytes.size());
    if (*reason)
        json += std::string(",\"reason\":\"") + reason + "\"";
    WriteJson(log, json + "}");
    if (*reason)
        WriteTerminal(log, "%s  -> %s (%s)\n", stamp.clock, Values(bytes).c_str(), ReadingName(reason));
    else
        WriteTerminal(log, "%s  -> %s\n", stamp.clock, Values(bytes).c_str());
}

void LogUnread(EventLog &log, const std::string &bytes)
{
    Stamp stamp = Now();
    WriteJson(log, Head(stamp, "unread") + ",\"hex\":\"" + HexText(bytes) + "\",\"length\":"
                   + std::to_string(bytes.size()) + "}");
    WriteTerminal(log, "%s  -> %s not read before the port closed: dropped\n", stamp.clock,
                  Values(bytes).c_str());
}

void LogAdapter(EventLog &log, const char *state, const std::string &path, const std::string &error)
{
    Stamp stamp = Now();
    std::string json = Head(stamp, "adapter") + ",\"state\":\"" + state + "\",\"path\":\""
                       + JsonText(path) + "\"";
    if (!error.empty())
        json += ",\"error\":\"" + JsonText(error) + "\"";
    WriteJson(log, json + "}");
    if (error.empty())
        WriteTerminal(log, "%s  adapter %s %s: COM11 is open to the program again\n", stamp.clock,
                      TerminalText(path).c_str(), state);
    else
        WriteTerminal(log, "%s  adapter %s %s (%s): COM11 withdrawn until it is back\n", stamp.clock,
                      TerminalText(path).c_str(), state, TerminalText(error).c_str());
}

void LogControl(EventLog &log, const std::string &command)
{
    Stamp stamp = Now();
    WriteJson(log, Head(stamp, "control") + ",\"command\":\"" + JsonText(command) + "\"}");
    WriteTerminal(log, "%s  control: %s\n", stamp.clock, TerminalText(command).c_str());
}

void LogStop(EventLog &log)
{
    Stamp stamp = Now();
    WriteJson(log, Head(stamp, "stop") + "}");
    WriteTerminal(log, "%s  stopped\n", stamp.clock);
}
