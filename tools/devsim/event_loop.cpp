// Waiting on many descriptors at once, and stopping on a signal.
#include "event_loop.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

int OpenStopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    // A reader that went away must not end us: writes report it instead.
    signal(SIGPIPE, SIG_IGN);
    return signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
}

static bool StopRequested(int stopSignals)
{
    signalfd_siginfo info;
    return read(stopSignals, &info, sizeof info) == ssize_t(sizeof info);
}

int RunEventLoop(int stopSignals, const std::function<void(std::vector<EventSource> &)> &listSources)
{
    std::vector<EventSource> sources;
    std::vector<pollfd> fds;
    for (;;) {
        sources.clear();
        listSources(sources);
        fds.assign(1, {stopSignals, POLLIN, 0});
        for (const EventSource &source : sources)
            fds.push_back({source.fd, POLLIN, 0});
        if (poll(fds.data(), nfds_t(fds.size()), -1) < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        if (fds[0].revents && StopRequested(stopSignals))
            return 0;
        for (size_t i = 0; i < sources.size(); ++i)
            if (fds[i + 1].revents)
                sources[i].ready();
    }
}
