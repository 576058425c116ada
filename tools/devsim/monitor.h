// The monitor: the simulator's link with a real serial adapter behind it
// instead of the device model. Every byte passes both ways unchanged; each
// transfer is logged and decoded as the simulator logs it. The adapter is
// opened when the program opens COM11 and closed when it closes it, and gets
// the program's line settings before any byte of the transfer passes.
#pragma once

#include "device_link.h"
#include "device_model.h"
#include "event_log.h"
#include "event_loop.h"

#include <string>
#include <vector>

struct Monitor {
    DeviceLink link;               // the program's COM11
    std::string adapterPath;       // opened by its path for every transfer
    int adapter = -1;              // open while the program has COM11 open
    bool lost = false;             // failed or gone: COM11 withdrawn until it is back
    bool hangUp = false;           // the link is to be closed once handled
    int watchFd = -1;              // inotify: the adapter's path disappearing
    int nodeWatch = -1;            // on the adapter itself
    int retryTimerFd = -1;         // looks for a lost adapter's return
    DeviceModel shadow;            // names what the program says; answers nothing
    const char *awaited = "";      // the reading the last message asked for
    EventLog log;
};

// Checks that the adapter exists and opens the link (not yet published).
bool PrepareMonitor(Monitor &mon, std::string &error);

// What the event loop watches for the monitor.
void ListMonitorSources(Monitor &mon, std::vector<EventSource> &sources);

// Finishes what the program has ended and closes the adapter.
void StopMonitor(Monitor &mon);
