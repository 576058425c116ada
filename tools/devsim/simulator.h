// The running simulator: its two ptys, the watched slave, the transfer in
// progress, the device model and the answers still to be sent.
#pragma once

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
    PtyLink device;                // the program's COM11
    int deviceSlave = -1;          // ours: holds the line's flow and input
    bool outputOn = false;         // the program's bytes may flow to us
    bool transferWrote = false;    // some opening of this transfer could write
    bool heldBack = false;         // this transfer has sent bytes: output waits
    int gateTimerFd = -1;          // lets a held-back transfer write again
    PtyLink control;               // the tests' COM12, optional
    int controlSlave = -1;         // held so the control master never hangs up
    int inotifyFd = -1;
    int watch = -1;                // on the device slave's path
    int signalFd = -1;
    int timerFd = -1;              // due time of the first delayed answer
    int holders = 0;               // the program's opens of the slave not yet closed
    std::string transfer;          // bytes of the transfer in progress
    bool attached = false;         // the device link leads to the device
    bool muted = false;
    int delayMilliseconds = 0;
    std::deque<PendingAnswer> answers;
    std::string controlInput;      // a command line not yet complete
    DeviceModel model;
    EventLog log;
};
