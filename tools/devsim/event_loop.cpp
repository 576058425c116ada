// One transfer is everything the device slave carries between its opening and
// its last closing: the program opens, configures, writes or reads, and closes
// for every transfer. inotify on the slave's path tells us when that happens;
// while nobody holds the slave the master reports a hang-up without end, so it
// is polled only while the slave is open, and drained to EIO after the close.
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

bool PrepareEventSources(Simulator &sim, std::string &error)
{
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
    if (sim.signalFd < 0 || sim.timerFd < 0) {
        error = "signalfd or timerfd unavailable";
        return false;
    }
    SetIdleLineSettings(sim.device.master);
    return true;
}

void SendAnswer(Simulator &sim, int value, const char *reason)
{
    unsigned char byte = (unsigned char)value;
    // Written while the slave is closed, the byte waits in the slave's input
    // for the program's next read.
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
    if (sim.holders > 0)
        return;
    // Bytes already written sit in the slave's input, where only a flush on
    // the slave reaches them. Our own open must not count as a transfer, so
    // the watch is off meanwhile.
    inotify_rm_watch(sim.inotifyFd, sim.watch);
    int slave = open(sim.device.slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave >= 0) {
        tcflush(slave, TCIFLUSH);
        close(slave);
    }
    std::string ignored;
    DrainMaster(sim.device.master, ignored);
    sim.watch = inotify_add_watch(sim.inotifyFd, sim.device.slavePath.c_str(), SlaveEvents);
}

// The line as the program left it is recorded before anything is changed.
static void EndTransfer(Simulator &sim)
{
    DrainMaster(sim.device.master, sim.transfer);
    LineSettings line = ReadLineSettings(sim.device.master);
    if (sim.transfer.empty()) {
        LogTransfer(sim.log, sim.transfer, line, "");
    } else {
        DeviceReply reply = DeviceReceive(sim.model, sim.transfer);
        LogTransfer(sim.log, sim.transfer, line, reply.meaning);
        // The answer follows the end of the message that asked for it.
        if (reply.answer >= 0 && !sim.muted)
            QueueAnswer(sim, reply.answer, reply.reason);
    }
    sim.transfer.clear();
}

static void OnSlaveEvent(Simulator &sim, uint32_t mask)
{
    if (mask & IN_OPEN) {
        if (sim.holders++ == 0)
            sim.transfer.clear();
    }
    if (mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
        // A close we never saw open (the watch was briefly off) ends nothing.
        if (sim.holders == 0)
            return;
        if (--sim.holders == 0)
            EndTransfer(sim);
    }
}

static bool EventsPending(int fd)
{
    int pending = 0;
    return ioctl(fd, FIONREAD, &pending) == 0 && pending > 0;
}

void SyncTransfers(Simulator &sim)
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
    // Only while nobody holds the slave: a program that has just set 4800
    // must not have it changed under its feet.
    if (sim.holders == 0 && !EventsPending(sim.inotifyFd))
        SetIdleLineSettings(sim.device.master);
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
        pollfd fds[5];
        int count = 0;
        fds[count++] = {sim.signalFd, POLLIN, 0};
        fds[count++] = {sim.inotifyFd, POLLIN, 0};
        fds[count++] = {sim.timerFd, POLLIN, 0};
        int controlIndex = -1;
        if (sim.control.master >= 0) {
            controlIndex = count;
            fds[count++] = {sim.control.master, POLLIN, 0};
        }
        int deviceIndex = -1;
        if (sim.holders > 0) {
            deviceIndex = count;
            fds[count++] = {sim.device.master, POLLIN, 0};
        }
        if (poll(fds, nfds_t(count), -1) < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        if (fds[0].revents && StopRequested(sim))
            return 0;
        // Opens and closes first: a hang-up on the master is only news once
        // the close that caused it has been counted.
        if (fds[1].revents)
            SyncTransfers(sim);
        if (deviceIndex >= 0 && fds[deviceIndex].revents && sim.holders > 0)
            DrainMaster(sim.device.master, sim.transfer);
        if (fds[2].revents)
            SendDueAnswers(sim);
        if (controlIndex >= 0 && fds[controlIndex].revents)
            ReadControl(sim);
    }
}
