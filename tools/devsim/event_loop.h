// The one loop of both the simulator and the monitor: waits on descriptors,
// runs what each one's owner asked for, and ends on SIGINT, SIGTERM or SIGHUP.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct EventSource {
    int fd;
    std::function<void()> ready;
};

// Blocks the stop signals and returns a descriptor that reports them, or -1.
int OpenStopSignals();

// Asks listSources for the descriptors to watch afresh each round (ports
// open and close as the program works). A handler runs when its descriptor
// is readable, and may also run after an earlier handler of the same round
// closed or replaced it: handlers read without blocking and take nothing
// for granted. Returns 0 on a stop signal, 1 if waiting fails.
int RunEventLoop(int stopSignals, const std::function<void(std::vector<EventSource> &)> &listSources);
