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
#include "event_loop.h"

#include "control.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <unistd.h>

static const uint32_t SlaveEvents = IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE;

// Far longer than the program needs to close and reopen the port, far
// shorter than anything a second write in the same opening would notice.
static const long HoldBackNanoseconds = 2000000;

static void StopOutput(Simulator &sim)
{
    if (sim.outputOn && tcflow(sim.deviceSlave, TCOOFF) == 0)
        sim.outputOn = false;
}

static void StartOutput(Simulator &sim)
{
    if (!sim.outputOn && tcflow(sim.deviceSlave, TCOON) == 0)
        sim.outputOn = true;
}

bool PrepareEventSources(Simulator &sim, std::string &error)
{
    // Opened before the watch exists, so our own opening is no transfer.
    // Holding it also keeps the master from ever reporting a hang-up.
    sim.deviceSlave = open(sim.device.slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (sim.deviceSlave < 0 || tcflow(sim.deviceSlave, TCOOFF) != 0) {
        error = "cannot hold " + sim.device.slavePath;
        return false;
    }
    sim.outputOn = false;
    sim.inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (sim.inotifyFd < 0) {
        error = "inotify unavailable";
        return false;
    }
    sim.watch = inotify_add_watch(sim.inotifyFd, sim.device.slavePath.c_str(), SlaveEvents);
    if (sim.watch < 0) {
        error = "cannot watch " + sim.device.slavePath;
        return false;
    }
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    sim.signalFd = signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
    sim.timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    sim.gateTimerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (sim.signalFd < 0 || sim.timerFd < 0 || sim.gateTimerFd < 0) {
        error = "signalfd or timerfd unavailable";
        return false;
    }
    SetIdleLineSettings(sim.device.master);
    return true;
}

void SendAnswer(Simulator &sim, int value, const char *reason)
{
    unsigned char byte = (unsigned char)value;
    // Written while the program has the port closed, the byte waits in the
    // slave's input for its next read.
    if (write(sim.device.master, &byte, 1) == 1)
        LogAnswer(sim.log, value, reason);
}

static void ArmTimer(Simulator &sim)
{
    itimerspec timer = {};
    if (!sim.answers.empty())
        timer.it_value = sim.answers.front().due;
    timerfd_settime(sim.timerFd, TFD_TIMER_ABSTIME, &timer, nullptr);
}

static bool Due(const timespec &due, const timespec &now)
{
    return due.tv_sec < now.tv_sec || (due.tv_sec == now.tv_sec && due.tv_nsec <= now.tv_nsec);
}

static void SendDueAnswers(Simulator &sim)
{
    uint64_t expirations;
    while (read(sim.timerFd, &expirations, sizeof expirations) > 0) {
    }
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    while (!sim.answers.empty() && Due(sim.answers.front().due, now)) {
        SendAnswer(sim, sim.answers.front().value, sim.answers.front().reason);
        sim.answers.pop_front();
    }
    ArmTimer(sim);
}

static void QueueAnswer(Simulator &sim, int value, const char *reason)
{
    if (sim.delayMilliseconds <= 0 && sim.answers.empty()) {
        SendAnswer(sim, value, reason);
        return;
    }
    PendingAnswer answer;
    clock_gettime(CLOCK_MONOTONIC, &answer.due);
    answer.due.tv_sec += sim.delayMilliseconds / 1000;
    answer.due.tv_nsec += long(sim.delayMilliseconds % 1000) * 1000000L;
    if (answer.due.tv_nsec >= 1000000000L) {
        answer.due.tv_sec += 1;
        answer.due.tv_nsec -= 1000000000L;
    }
    answer.value = value;
    answer.reason = reason;
    sim.answers.push_back(answer);
    ArmTimer(sim);
}

void DiscardAnswers(Simulator &sim)
{
    sim.answers.clear();
    ArmTimer(sim);
    // Bytes already written sit in the slave's input until someone reads.
    tcflush(sim.deviceSlave, TCIFLUSH);
}

// The line as the program left it is recorded before anything is changed.
static void EndTransfer(Simulator &sim)
{
    StopOutput(sim);
    // Opened for reading only, the transfer cannot have carried bytes: what
    // waits in the master belongs to the next one. Otherwise, with the output
    // stopped, everything up to now is this transfer's, and the kernel hands
    // over what is still on its way before a read reports nothing left.
    if (sim.transferWrote)
        DrainMaster(sim.device.master, sim.transfer);
    LineSettings line = ReadLineSettings(sim.device.master);
    std::string bytes;
    if (sim.transferWrote)
        bytes.swap(sim.transfer);
    sim.transferWrote = false;
    sim.heldBack = false;
    itimerspec disarmed = {};
    timerfd_settime(sim.gateTimerFd, 0, &disarmed, nullptr);
    if (bytes.empty()) {
        LogTransfer(sim.log, bytes, line, "");
        return;
    }
    DeviceReply reply = DeviceReceive(sim.model, bytes);
    LogTransfer(sim.log, bytes, line, reply.meaning);
    // The answer follows the end of the message that asked for it.
    if (reply.answer >= 0 && !sim.muted)
        QueueAnswer(sim, reply.answer, reply.reason);
}

static void OnSlaveEvent(Simulator &sim, uint32_t mask)
{
    if (mask & IN_OPEN)
        sim.holders++;
    if (mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
        if (sim.holders == 0)
            return;
        if (mask & IN_CLOSE_WRITE)
            sim.transferWrote = true;
        if (--sim.holders == 0)
            EndTransfer(sim);
    }
}

static bool EventsPending(int fd)
{
    int pending = 0;
    return ioctl(fd, FIONREAD, &pending) == 0 && pending > 0;
}

static void ProcessSlaveEvents(Simulator &sim)
{
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t length = read(sim.inotifyFd, buffer, sizeof buffer);
        if (length <= 0)
            break;
        for (char *next = buffer; next < buffer + length;) {
            const inotify_event *event = reinterpret_cast<const inotify_event *>(next);
            if (event->wd == sim.watch)
                OnSlaveEvent(sim, event->mask);
            next += sizeof(inotify_event) + event->len;
        }
    }
}

// Opens the output for the one transfer we know to be open, once every
// reported opening and closing has been handled.
static void SettleGate(Simulator &sim)
{
    if (EventsPending(sim.inotifyFd))
        return;
    if (sim.holders > 0) {
        if (!sim.heldBack)
            StartOutput(sim);
    } else {
        // Only while nobody holds the slave: a program that has just set 4800
        // must not have it changed under its feet.
        SetIdleLineSettings(sim.device.master);
    }
}

void SyncTransfers(Simulator &sim)
{
    ProcessSlaveEvents(sim);
    SettleGate(sim);
}

// Something happened on the slave: stop the flow first, so that an opening
// we have not seen yet cannot add bytes to what we are about to sort out.
static void OnSlaveEvents(Simulator &sim)
{
    StopOutput(sim);
    ProcessSlaveEvents(sim);
    SettleGate(sim);
}

static void OnDeviceBytes(Simulator &sim)
{
    StopOutput(sim);
    ProcessSlaveEvents(sim);
    DrainMaster(sim.device.master, sim.transfer);
    if (sim.holders > 0 && !sim.transfer.empty() && !sim.heldBack) {
        sim.heldBack = true;
        itimerspec timer = {};
        timer.it_value.tv_nsec = HoldBackNanoseconds;
        timerfd_settime(sim.gateTimerFd, 0, &timer, nullptr);
    }
    SettleGate(sim);
}

// The transfer that sent bytes is still open: it may write more.
static void OnHoldBackOver(Simulator &sim)
{
    uint64_t expirations;
    while (read(sim.gateTimerFd, &expirations, sizeof expirations) > 0) {
    }
    sim.heldBack = false;
    OnSlaveEvents(sim);
}

bool AttachDevice(Simulator &sim, const std::string &target, std::string &error)
{
    if (!PublishLink(sim.device, target, error))
        return false;
    sim.attached = true;
    return true;
}

void DetachDevice(Simulator &sim)
{
    RemoveLink(sim.device);
    sim.attached = false;
}

static bool StopRequested(Simulator &sim)
{
    signalfd_siginfo info;
    return read(sim.signalFd, &info, sizeof info) == ssize_t(sizeof info);
}

int RunEventLoop(Simulator &sim)
{
    for (;;) {
        pollfd fds[6];
        int count = 0;
        fds[count++] = {sim.signalFd, POLLIN, 0};
        fds[count++] = {sim.inotifyFd, POLLIN, 0};
        fds[count++] = {sim.device.master, POLLIN, 0};
        fds[count++] = {sim.timerFd, POLLIN, 0};
        fds[count++] = {sim.gateTimerFd, POLLIN, 0};
        if (sim.control.master >= 0)
            fds[count++] = {sim.control.master, POLLIN, 0};
        if (poll(fds, nfds_t(count), -1) < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        if (fds[0].revents && StopRequested(sim))
            return 0;
        if (fds[2].revents)
            OnDeviceBytes(sim);
        else if (fds[1].revents)
            OnSlaveEvents(sim);
        if (fds[3].revents)
            SendDueAnswers(sim);
        if (fds[4].revents)
            OnHoldBackOver(sim);
        if (count > 5 && fds[5].revents)
            ReadControl(sim);
    }
}
