// The device's end of COM11, shared by the simulator and the monitor: a raw
// pty published under a path, and the machinery that tells the program's
// transfers apart and says what each carried. What sits behind the link (the
// device model, or a real adapter) is told through hooks.
#pragma once

#include "pty_link.h"

#include <functional>
#include <string>
#include <sys/types.h>

// Any hook may be left empty.
struct LinkHooks {
    // The first opening of a transfer, before any of its bytes may pass.
    // False keeps the transfer's output stopped until it ends.
    std::function<bool()> opened;
    // Bytes of the open transfer, in order, once they are known to be its.
    std::function<void(const std::string &bytes)> received;
    // The program changed the line settings (each SetCommState).
    std::function<void()> lineChanged;
    // The last closing: every byte of the transfer and the line as the
    // program left it. Bytes are empty for a read or a write of nothing.
    std::function<void(const std::string &bytes, const LineSettings &line)> ended;
};

struct DeviceLink {
    PtyLink pty;                   // the program's COM11
    pid_t keeper = -1;             // owns the pty as its terminal
    int slave = -1;                // ours: holds the line's flow and input
    int inotifyFd = -1;
    int watch = -1;                // on the slave's path
    int gateTimerFd = -1;          // lets a held-back transfer write again
    bool outputOn = false;         // the program's bytes may flow to us
    bool transferWrote = false;    // some opening of this transfer could write
    bool heldBack = false;         // this transfer has sent bytes: output waits
    bool refused = false;          // opened() said no: output stays stopped
    bool lineChanged = false;      // a change not yet passed on
    bool idleSettings = false;     // set 9600 and two stop bits between transfers
    int holders = 0;               // the program's opens of the slave not yet closed
    std::string transfer;          // bytes of the transfer in progress
    size_t delivered = 0;          // how many of them received() has had
    LinkHooks hooks;
};

// Opens the pty with its keeper, holds the slave with the output stopped and
// watches it. Publishing it under a path is up to the caller (PublishLink).
bool OpenDeviceLink(DeviceLink &link, std::string &error);

// Closes the master, which hangs up whoever still has the slave open.
void CloseDeviceLink(DeviceLink &link);

// For the event loop: the descriptors to watch for reading, and what to do
// when one is ready. Any call may find nothing to do.
int LinkDescriptors(const DeviceLink &link, int fds[3]);
void ServiceLink(DeviceLink &link);

// Handles every open and close already reported and finishes every transfer
// that has ended.
void SyncLink(DeviceLink &link);
