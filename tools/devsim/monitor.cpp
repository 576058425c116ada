// The bridge between the link and the adapter. The adapter follows the
// program's openings so that the device sees what a direct mapping would
// show it: the same openings and closings, the same line settings, and
// nothing while the program has the port closed. What a direct mapping does
// that the bridge cannot is listed in the README.
#include "monitor.h"

#include "line_rate.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libgen.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <unistd.h>

// How often a lost adapter is looked for.
static const long RetryNanoseconds = 200000000;

// A write to the adapter that makes no headway for this long means the
// adapter takes no more bytes (a real one at 300 baud takes one in 33 ms).
static const int StallMilliseconds = 2000;

static void CloseAdapter(Monitor &mon, bool dropOutput)
{
    if (mon.adapter < 0)
        return;
    // A failed adapter's unsent bytes would only hold up the close.
    if (dropOutput)
        tcflush(mon.adapter, TCOFLUSH);
    close(mon.adapter);
    mon.adapter = -1;
}

// Withdraws COM11, so the program's next opening fails as it would with the
// adapter gone. An opening in progress is hung up, once the link's own
// handling is over, as the kernel hangs up a port whose adapter goes.
static bool AdapterFailed(Monitor &mon, const std::string &reason)
{
    if (!mon.lost) {
        mon.lost = true;
        RemoveLink(mon.link.pty);
        LogAdapter(mon.log, "lost", mon.adapterPath, reason);
        itimerspec timer = {};
        timer.it_value.tv_nsec = RetryNanoseconds;
        timer.it_interval.tv_nsec = RetryNanoseconds;
        timerfd_settime(mon.retryTimerFd, 0, &timer, nullptr);
    }
    if (mon.link.holders > 0)
        mon.hangUp = true;
    CloseAdapter(mon, true);
    return false;
}

static bool SameSettings(const termios &a, const termios &b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag
           && a.c_lflag == b.c_lflag && cfgetispeed(&a) == cfgetispeed(&b)
           && cfgetospeed(&a) == cfgetospeed(&b) && a.c_cc[VMIN] == b.c_cc[VMIN]
           && a.c_cc[VTIME] == b.c_cc[VTIME];
}

// The constant for a rate in baud, where there is one: a driver without
// arbitrary rates takes nothing else.
static bool StandardSpeed(int baud, speed_t &speed)
{
    static const struct { int baud; speed_t speed; } Speeds[] = {
        {0, B0}, {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150},
        {200, B200}, {300, B300}, {600, B600}, {1200, B1200}, {1800, B1800},
        {2400, B2400}, {4800, B4800}, {9600, B9600}, {19200, B19200},
        {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
        {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
        {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
        {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const auto &entry : Speeds)
        if (entry.baud == baud) {
            speed = entry.speed;
            return true;
        }
    return false;
}

// The adapter gets what the program set on COM11: baud rate, character size,
// parity, stop bits, and whether the close drops DTR. Everything else is raw:
// a cooked line would echo the device's answer back to it and eat 17, 19 and 13.
// The rate is read in baud: Wine 10 sets every rate as an arbitrary one, and
// copying what cfgetospeed gives for that (BOTHER) leaves the adapter at
// whatever rate it had.
static bool ApplyLine(Monitor &mon)
{
    if (mon.adapter < 0)
        return false;
    termios program = {}, adapter = {};
    int rate = LineRateOf(mon.link.pty.master);
    if (rate < 0 || tcgetattr(mon.link.pty.master, &program) != 0 || tcgetattr(mon.adapter, &adapter) != 0)
        return AdapterFailed(mon, std::string("cannot read its line settings: ") + strerror(errno));
    const tcflag_t Taken = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | HUPCL;
    termios wanted = adapter;
    cfmakeraw(&wanted);
    wanted.c_iflag &= ~(IXOFF | IXANY);
    // CIBAUD clear: no input rate of its own, the program's rate both ways.
    wanted.c_cflag &= ~(Taken | CRTSCTS | CIBAUD);
    wanted.c_cflag |= (program.c_cflag & Taken) | CREAD | CLOCAL;
    wanted.c_cc[VMIN] = 1;
    wanted.c_cc[VTIME] = 0;
    speed_t speed;
    bool standard = StandardSpeed(rate, speed);
    if (standard) {
        cfsetospeed(&wanted, speed);
        cfsetispeed(&wanted, speed);
    }
    // The flags tell one constant from another, but not one arbitrary rate
    // from another. A constant is not checked against the rate in baud: a
    // driver may report the rate it achieved instead.
    if (SameSettings(wanted, adapter) && (standard || LineRateOf(mon.adapter) == rate))
        return true;
    if (tcsetattr(mon.adapter, TCSANOW, &wanted) != 0 || (!standard && !SetLineRate(mon.adapter, rate)))
        return AdapterFailed(mon, std::string("cannot set its line: ") + strerror(errno));
    return true;
}

// Opened by its path every time: a device number can belong to another
// device by the next transfer.
static bool OpenAdapter(Monitor &mon)
{
    if (mon.lost)
        return false;
    mon.adapter = open(mon.adapterPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (mon.adapter < 0)
        return AdapterFailed(mon, strerror(errno));
    struct stat adapter, ours;
    termios settings;
    if (fstat(mon.adapter, &adapter) == 0 && fstat(mon.link.slave, &ours) == 0
        && adapter.st_rdev == ours.st_rdev)
        return AdapterFailed(mon, "it is the monitor's own port");
    if (tcgetattr(mon.adapter, &settings) != 0)
        return AdapterFailed(mon, "it is not a serial port");
    return ApplyLine(mon);
}

// Waits while the adapter's output is full, but not for ever.
static bool WriteAdapter(Monitor &mon, const std::string &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t count = write(mon.adapter, bytes.data() + done, bytes.size() - done);
        if (count > 0) {
            done += size_t(count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno != EAGAIN)
            return AdapterFailed(mon, strerror(errno));
        pollfd room = {mon.adapter, POLLOUT, 0};
        if (poll(&room, 1, StallMilliseconds) != 1 || (room.revents & (POLLERR | POLLHUP)))
            return AdapterFailed(mon, "it takes no more bytes");
    }
    return true;
}

static void ForwardToAdapter(Monitor &mon, const std::string &bytes)
{
    // Checked again before every write: the program sets the line before it
    // writes, and a change must reach the adapter before the bytes do.
    if (ApplyLine(mon))
        WriteAdapter(mon, bytes);
}

// The reading the last message asked for, if these bytes can be it.
static const char *TakeReason(Monitor &mon, const std::string &bytes)
{
    const char *reason = bytes.size() == 1 ? mon.awaited : "";
    mon.awaited = "";
    return reason;
}

static void PassToProgram(Monitor &mon, const std::string &bytes)
{
    LogDeviceBytes(mon.log, bytes, TakeReason(mon, bytes));
    size_t done = WriteAll(mon.link.pty.master, bytes);
    // The program's input is full: what does not fit is lost, as on a real
    // line whose reader falls behind.
    if (done < bytes.size())
        LogUnread(mon.log, bytes.substr(done));
}

// What the adapter holds now. A read that finds nothing may say so with 0
// (a line set to wait for nothing, as Wine sets one): only an error, or the
// hang-up that poll reports, means the adapter is gone.
static std::string ReadAdapter(Monitor &mon)
{
    std::string bytes;
    char buffer[4096];
    while (mon.adapter >= 0) {
        ssize_t count = read(mon.adapter, buffer, sizeof buffer);
        if (count > 0)
            bytes.append(buffer, size_t(count));
        else if (count < 0 && errno == EINTR)
            continue;
        else if (count < 0 && errno != EAGAIN)
            AdapterFailed(mon, strerror(errno));
        if (count <= 0)
            break;
    }
    return bytes;
}

static void OnAdapterReady(Monitor &mon)
{
    pollfd state = {mon.adapter, POLLIN, 0};
    poll(&state, 1, 0);
    std::string bytes = ReadAdapter(mon);
    if (!bytes.empty())
        PassToProgram(mon, bytes);
    // A line in error that has nothing to read would wake us for ever.
    if (mon.adapter >= 0 && (state.revents & (POLLERR | POLLHUP | POLLNVAL)))
        AdapterFailed(mon, "hung up");
}

// The program has closed the port, so the adapter closes at once: what the
// device sends from now on is the adapter's to keep or drop, as with a direct
// mapping. What the program left unread, and what came after its close, is
// dropped, as a serial port drops its input at its last close.
static void OnTransferEnd(Monitor &mon, const std::string &bytes, const LineSettings &line)
{
    std::string late, unread;
    if (mon.adapter >= 0) {
        late = ReadAdapter(mon);
        char buffer[4096];
        ssize_t count;
        while ((count = read(mon.link.slave, buffer, sizeof buffer)) > 0)
            unread.append(buffer, size_t(count));
        CloseAdapter(mon, false);
    }
    DeviceReply reply = LogMessage(mon.log, mon.shadow, bytes, line);
    if (!bytes.empty())
        mon.awaited = reply.answer >= 0 ? reply.reason : "";
    if (!late.empty())
        LogDeviceBytes(mon.log, late, TakeReason(mon, late));
    if (!unread.empty() || !late.empty())
        LogUnread(mon.log, unread + late);
}

// After a failure, the hang-up: the program's opening in progress ends as
// with a direct mapping whose adapter went.
static void FinishHangUp(Monitor &mon)
{
    if (!mon.hangUp)
        return;
    mon.hangUp = false;
    CloseDeviceLink(mon.link);
}

// Watches the adapter itself for its removal; a new one under the same
// path is another node, watched anew when it comes.
static void WatchAdapterNode(Monitor &mon)
{
    if (mon.nodeWatch >= 0)
        inotify_rm_watch(mon.watchFd, mon.nodeWatch);
    mon.nodeWatch = inotify_add_watch(mon.watchFd, mon.adapterPath.c_str(),
                                      IN_DELETE_SELF | IN_MOVE_SELF | IN_ATTRIB);
}

// COM11 comes back once the adapter's path exists again; whether the
// adapter works shows at the program's next opening.
static void RestoreLink(Monitor &mon)
{
    std::string error;
    if (mon.link.pty.master < 0 && !OpenDeviceLink(mon.link, error))
        return;
    if (!PublishLink(mon.link.pty, mon.link.pty.slavePath, error))
        return;
    itimerspec disarmed = {};
    timerfd_settime(mon.retryTimerFd, 0, &disarmed, nullptr);
    mon.lost = false;
    WatchAdapterNode(mon);
    LogAdapter(mon.log, "back", mon.adapterPath, "");
}

// The path is what counts, not the device it led to at the start.
static void CheckAdapter(Monitor &mon)
{
    uint64_t expirations;
    while (read(mon.retryTimerFd, &expirations, sizeof expirations) > 0) {
    }
    alignas(inotify_event) char buffer[4096];
    while (read(mon.watchFd, buffer, sizeof buffer) > 0) {
    }
    struct stat adapter;
    bool present = stat(mon.adapterPath.c_str(), &adapter) == 0;
    if (!mon.lost && !present)
        AdapterFailed(mon, "it is gone");
    else if (mon.lost && present)
        RestoreLink(mon);
    FinishHangUp(mon);
}

bool PrepareMonitor(Monitor &mon, std::string &error)
{
    struct stat adapter;
    if (stat(mon.adapterPath.c_str(), &adapter) != 0) {
        error = "the adapter " + mon.adapterPath + ": " + strerror(errno);
        return false;
    }
    if (!S_ISCHR(adapter.st_mode)) {
        error = "the adapter " + mon.adapterPath + " is not a serial port";
        return false;
    }
    ResetDeviceModel(mon.shadow);
    mon.link.hooks.opened = [&mon] { return OpenAdapter(mon); };
    mon.link.hooks.received = [&mon](const std::string &bytes) { ForwardToAdapter(mon, bytes); };
    mon.link.hooks.lineChanged = [&mon] { ApplyLine(mon); };
    mon.link.hooks.ended = [&mon](const std::string &bytes, const LineSettings &line) {
        OnTransferEnd(mon, bytes, line);
    };
    mon.retryTimerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    mon.watchFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (mon.retryTimerFd < 0 || mon.watchFd < 0) {
        error = "timerfd or inotify unavailable";
        return false;
    }
    // The folder tells when the name goes (a symlink such as those in
    // /dev/serial/by-id, or the node itself); the node tells when it goes.
    std::string folder = mon.adapterPath;
    inotify_add_watch(mon.watchFd, dirname(folder.data()), IN_DELETE | IN_MOVED_FROM | IN_CREATE | IN_MOVED_TO);
    WatchAdapterNode(mon);
    return OpenDeviceLink(mon.link, error);
}

void ListMonitorSources(Monitor &mon, std::vector<EventSource> &sources)
{
    int fds[3];
    int count = LinkDescriptors(mon.link, fds);
    for (int i = 0; i < count; ++i)
        sources.push_back({fds[i], [&mon] {
                               ServiceLink(mon.link);
                               FinishHangUp(mon);
                           }});
    if (mon.adapter >= 0)
        sources.push_back({mon.adapter, [&mon] {
                               OnAdapterReady(mon);
                               FinishHangUp(mon);
                           }});
    sources.push_back({mon.watchFd, [&mon] { CheckAdapter(mon); }});
    sources.push_back({mon.retryTimerFd, [&mon] { CheckAdapter(mon); }});
}

void StopMonitor(Monitor &mon)
{
    SyncLink(mon.link);
    CloseAdapter(mon, false);
    RemoveLink(mon.link.pty);
    CloseDeviceLink(mon.link);
}
