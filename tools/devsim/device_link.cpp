// One transfer is everything the device slave carries between its opening and
// its last closing: the program opens, configures, writes or reads, and closes
// for every transfer, and inotify on the slave's path reports each opening
// and closing. The kernel ties no byte to an opening, and the program under
// Wine starts its next transfer some 50 microseconds after closing the last,
// so bytes alone could run two messages together. Hence the gate: we hold a
// slave descriptor of our own and keep the slave's output stopped (TCOOFF)
// except while the one transfer we know to be open may write. A write made
// before we have seen its opening waits in the kernel until we have. Once a
// transfer's bytes have come, the output stays stopped a little longer, so a
// quick close and reopen cannot slip the next message in behind them.
//
// The master is in packet mode, so a SetCommState wakes us too. So do our own
// stops and starts of the output; those change nothing and are dropped.
#include "device_link.h"

#include "terminal_keeper.h"

#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/timerfd.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

static const uint32_t SlaveEvents = IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE;

// Far longer than the program needs to close and reopen the port, far
// shorter than anything a second write in the same opening would notice.
static const long HoldBackNanoseconds = 2000000;

static void StopOutput(DeviceLink &link)
{
    if (link.outputOn && tcflow(link.slave, TCOOFF) == 0)
        link.outputOn = false;
}

static void StartOutput(DeviceLink &link)
{
    if (!link.outputOn && tcflow(link.slave, TCOON) == 0)
        link.outputOn = true;
}

bool OpenDeviceLink(DeviceLink &link, std::string &error)
{
    if (!OpenRawPty(link.pty) || !WatchLineChanges(link.pty.master)) {
        CloseDeviceLink(link);
        error = "cannot create a pseudo-terminal";
        return false;
    }
    // Before anything watches the slave: the keeper's opening is no transfer.
    link.keeper = KeepAsTerminal(link.pty.slavePath);
    // Opened before the watch exists, so our own opening is no transfer.
    // Holding it also keeps the master from ever reporting a hang-up.
    link.slave = open(link.pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    link.outputOn = true;
    if (link.slave < 0 || tcflow(link.slave, TCOOFF) != 0) {
        error = "cannot hold " + link.pty.slavePath;
        CloseDeviceLink(link);
        return false;
    }
    link.outputOn = false;
    link.inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (link.inotifyFd >= 0)
        link.watch = inotify_add_watch(link.inotifyFd, link.pty.slavePath.c_str(), SlaveEvents);
    link.gateTimerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (link.watch < 0 || link.gateTimerFd < 0) {
        error = "cannot watch " + link.pty.slavePath;
        CloseDeviceLink(link);
        return false;
    }
    if (link.idleSettings)
        SetIdleLineSettings(link.pty.master);
    return true;
}

void CloseDeviceLink(DeviceLink &link)
{
    for (int *fd : {&link.inotifyFd, &link.gateTimerFd, &link.slave, &link.pty.master}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    // The hang-up ends the keeper; it must not linger as a zombie.
    if (link.keeper > 0) {
        kill(link.keeper, SIGKILL);
        waitpid(link.keeper, nullptr, 0);
    }
    link.keeper = -1;
    link.watch = -1;
    link.outputOn = link.transferWrote = link.heldBack = link.refused = link.lineChanged = false;
    link.holders = 0;
    link.transfer.clear();
    link.delivered = 0;
}

int LinkDescriptors(const DeviceLink &link, int fds[3])
{
    fds[0] = link.pty.master;
    fds[1] = link.inotifyFd;
    fds[2] = link.gateTimerFd;
    return link.pty.master >= 0 ? 3 : 0;
}

// Passes on the bytes not yet passed on: they belong to the open transfer.
static void Deliver(DeviceLink &link)
{
    if (link.delivered >= link.transfer.size())
        return;
    std::string fresh = link.transfer.substr(link.delivered);
    link.delivered = link.transfer.size();
    if (link.hooks.received)
        link.hooks.received(fresh);
}

static void PassLineChange(DeviceLink &link)
{
    bool changed = link.lineChanged;
    link.lineChanged = false;
    if (changed && link.hooks.lineChanged)
        link.hooks.lineChanged();
}

// The line as the program left it is recorded before anything is changed.
static void EndTransfer(DeviceLink &link)
{
    StopOutput(link);
    // Opened for reading only, the transfer cannot have carried bytes: what
    // waits in the master belongs to the next one. Otherwise, with the output
    // stopped, everything up to now is this transfer's, and the kernel hands
    // over what is still on its way before a read reports nothing left.
    std::string bytes;
    if (link.transferWrote) {
        ReadPackets(link.pty.master, link.transfer, link.lineChanged);
        PassLineChange(link);
        Deliver(link);
        bytes.swap(link.transfer);
        link.delivered = 0;
    }
    LineSettings line = ReadLineSettings(link.pty.master);
    link.transferWrote = false;
    link.heldBack = false;
    link.refused = false;
    itimerspec disarmed = {};
    timerfd_settime(link.gateTimerFd, 0, &disarmed, nullptr);
    if (link.hooks.ended)
        link.hooks.ended(bytes, line);
}

static void OnSlaveEvent(DeviceLink &link, uint32_t mask)
{
    if (mask & IN_OPEN) {
        if (link.holders++ == 0)
            link.refused = link.hooks.opened && !link.hooks.opened();
    }
    if (mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
        if (link.holders == 0)
            return;
        if (mask & IN_CLOSE_WRITE)
            link.transferWrote = true;
        if (--link.holders == 0)
            EndTransfer(link);
    }
}

static bool EventsPending(int fd)
{
    int pending = 0;
    return ioctl(fd, FIONREAD, &pending) == 0 && pending > 0;
}

static void ProcessSlaveEvents(DeviceLink &link)
{
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t length = read(link.inotifyFd, buffer, sizeof buffer);
        if (length <= 0)
            break;
        for (char *next = buffer; next < buffer + length;) {
            const inotify_event *event = reinterpret_cast<const inotify_event *>(next);
            if (event->wd == link.watch)
                OnSlaveEvent(link, event->mask);
            next += sizeof(inotify_event) + event->len;
        }
    }
}

// Opens the output for the one transfer we know to be open, once every
// reported opening and closing has been handled.
static void SettleGate(DeviceLink &link)
{
    if (EventsPending(link.inotifyFd))
        return;
    if (link.holders > 0) {
        if (!link.heldBack && !link.refused)
            StartOutput(link);
    } else if (link.idleSettings) {
        // Only while nobody holds the slave: a program that has just set 4800
        // must not have it changed under its feet.
        SetIdleLineSettings(link.pty.master);
    }
}

void SyncLink(DeviceLink &link)
{
    if (link.pty.master < 0)
        return;
    ProcessSlaveEvents(link);
    SettleGate(link);
}

static bool HoldBackOver(DeviceLink &link)
{
    uint64_t expirations = 0;
    bool over = false;
    while (read(link.gateTimerFd, &expirations, sizeof expirations) > 0)
        over = true;
    return over;
}

void ServiceLink(DeviceLink &link)
{
    if (link.pty.master < 0)
        return;
    size_t known = link.transfer.size();
    ReadPackets(link.pty.master, link.transfer, link.lineChanged);
    bool holdBackOver = HoldBackOver(link);
    if (holdBackOver)
        link.heldBack = false;
    if (link.transfer.size() == known && !holdBackOver && !EventsPending(link.inotifyFd)) {
        // Our own stop or start of the output, or a SetCommState: the gate
        // stays as it is.
        PassLineChange(link);
        return;
    }
    // Stop the flow first, so that an opening we have not seen yet cannot add
    // bytes to what we are about to sort out.
    StopOutput(link);
    ProcessSlaveEvents(link);
    ReadPackets(link.pty.master, link.transfer, link.lineChanged);
    PassLineChange(link);
    if (link.holders > 0 && link.delivered < link.transfer.size()) {
        Deliver(link);
        // The transfer that sent bytes is still open and may write more, but
        // the next one must not slip in behind them.
        if (!link.heldBack) {
            link.heldBack = true;
            itimerspec timer = {};
            timer.it_value.tv_nsec = HoldBackNanoseconds;
            timerfd_settime(link.gateTimerFd, 0, &timer, nullptr);
        }
    }
    SettleGate(link);
}
