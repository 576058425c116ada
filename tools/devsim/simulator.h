// The simulated device behind the link: the device model, the answers it
// owes, and what the control port may change.
#pragma once

#include "device_link.h"
#include "device_model.h"
#include "event_log.h"
#include "pty_link.h"

#include <ctime>
#include <deque>
#include <string>

struct PendingAnswer {
    timespec due;          // CLOCK_MONOTONIC
    int value;
    const char *reason;
};

struct Simulator {
    DeviceLink device;             // the program's COM11
    PtyLink control;               // the tests' COM12, optional
    int controlSlave = -1;         // held so the control master never hangs up
    int timerFd = -1;              // due time of the first delayed answer
    bool attached = false;         // the device link leads to the device
    bool muted = false;
    int delayMilliseconds = 0;
    std::deque<PendingAnswer> answers;
    std::string controlInput;      // a command line not yet complete
    DeviceModel model;
    EventLog log;
};

// Opens the device link with the model behind it (not yet published).
bool PrepareSimulator(Simulator &sim, std::string &error);

// Writes an answer byte to the device now.
void SendAnswer(Simulator &sim, int value, const char *reason);

// Sends the delayed answers that are due.
void SendDueAnswers(Simulator &sim);

// Drops answers not yet sent, and answer bytes sent but not yet read.
void DiscardAnswers(Simulator &sim);

// Publishes the device link, normally to the device's slave; another target
// (say /dev/null) plays a port that opens but is no serial line.
bool AttachDevice(Simulator &sim, const std::string &target, std::string &error);
void DetachDevice(Simulator &sim);
