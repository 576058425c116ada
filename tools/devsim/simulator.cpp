// The device model behind the link: each message is logged with its meaning
// and answered, maybe late, when the model says so.
#include "simulator.h"

#include <sys/timerfd.h>
#include <termios.h>
#include <cstdint>
#include <unistd.h>

void SendAnswer(Simulator &sim, int value, const char *reason)
{
    unsigned char byte = (unsigned char)value;
    // Written while the program has the port closed, the byte waits in the
    // slave's input for its next read.
    if (write(sim.device.pty.master, &byte, 1) == 1)
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

void SendDueAnswers(Simulator &sim)
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
    tcflush(sim.device.slave, TCIFLUSH);
}

static void OnTransferEnd(Simulator &sim, const std::string &bytes, const LineSettings &line)
{
    DeviceReply reply = LogMessage(sim.log, sim.model, bytes, line);
    // The answer follows the end of the message that asked for it.
    if (reply.answer >= 0 && !sim.muted)
        QueueAnswer(sim, reply.answer, reply.reason);
}

bool PrepareSimulator(Simulator &sim, std::string &error)
{
    sim.device.idleSettings = true;
    sim.device.hooks.ended = [&sim](const std::string &bytes, const LineSettings &line) {
        OnTransferEnd(sim, bytes, line);
    };
    if (!OpenDeviceLink(sim.device, error))
        return false;
    sim.timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (sim.timerFd < 0) {
        error = "timerfd unavailable";
        return false;
    }
    return true;
}

bool AttachDevice(Simulator &sim, const std::string &target, std::string &error)
{
    if (!PublishLink(sim.device.pty, target, error))
        return false;
    sim.attached = true;
    return true;
}

void DetachDevice(Simulator &sim)
{
    RemoveLink(sim.device.pty);
    sim.attached = false;
}
