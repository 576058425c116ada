// kivo-devsim: plays the counting device on a pseudo-terminal, or, with
// --adapter, passes the program's transfers to a real device and shows them;
// with --watch, keeps the kivo command's watch over COM11, and ends with 3
// when the user closes the panel from its dialog.
//   kivo-devsim --link PATH [--control-link PATH] [--counter N]
//               [--auto-counter N] [--log FILE] [--quiet]
//   kivo-devsim --link PATH --adapter PATH [--log FILE] [--quiet]
//   kivo-devsim --watch PATH [--adapter PATH] [--dialogs]
// The Counter starts at 42 and the Auto Counter at 123 (12.3) unless given.
#include "control.h"
#include "event_loop.h"
#include "monitor.h"
#include "simulator.h"
#include "terminal_keeper.h"
#include "watch.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

static const char Usage[] =
    "usage: kivo-devsim --link PATH [--control-link PATH] [--counter N]"
    " [--auto-counter N] [--log FILE] [--quiet]\n"
    "       kivo-devsim --link PATH --adapter PATH [--log FILE] [--quiet]\n"
    "       kivo-devsim --watch PATH [--adapter PATH] [--dialogs]\n";

struct Options {
    const char *link = nullptr;
    const char *watch = nullptr;
    const char *controlLink = nullptr;
    const char *adapter = nullptr;
    const char *logPath = nullptr;
    int counter = 42;
    int autoCounter = 123;
    bool readingsGiven = false;
    bool quiet = false;
    bool dialogs = false;
};

static bool ParseByte(const char *text, int &value)
{
    char *end = nullptr;
    long number = strtol(text, &end, 10);
    if (end == text || *end != '\0' || number < 0 || number > 255)
        return false;
    value = int(number);
    return true;
}

static bool ParseOptions(int argc, char **argv, Options &options)
{
    for (int i = 1; i < argc; ++i) {
        const char *option = argv[i];
        bool hasValue = i + 1 < argc;
        if (strcmp(option, "--quiet") == 0) {
            options.quiet = true;
        } else if (strcmp(option, "--dialogs") == 0) {
            options.dialogs = true;
        } else if (strcmp(option, "--watch") == 0 && hasValue) {
            options.watch = argv[++i];
        } else if (strcmp(option, "--link") == 0 && hasValue) {
            options.link = argv[++i];
        } else if (strcmp(option, "--adapter") == 0 && hasValue) {
            options.adapter = argv[++i];
        } else if (strcmp(option, "--control-link") == 0 && hasValue) {
            options.controlLink = argv[++i];
        } else if (strcmp(option, "--log") == 0 && hasValue) {
            options.logPath = argv[++i];
        } else if (strcmp(option, "--counter") == 0 && hasValue) {
            if (!ParseByte(argv[++i], options.counter))
                return false;
            options.readingsGiven = true;
        } else if (strcmp(option, "--auto-counter") == 0 && hasValue) {
            if (!ParseByte(argv[++i], options.autoCounter))
                return false;
            options.readingsGiven = true;
        } else {
            return false;
        }
    }
    // A real device has its own readings, and takes no orders from tests.
    if (options.adapter && (options.readingsGiven || options.controlLink))
        return false;
    // The watch only watches: it plays no device and logs nothing.
    if (options.watch)
        return !options.link && !options.controlLink && !options.logPath && !options.readingsGiven
               && !options.quiet;
    return options.link != nullptr && !options.dialogs;
}

static int Fail(const std::string &message, const PtyLink &device, const PtyLink &control = PtyLink())
{
    fprintf(stderr, "kivo-devsim: %s\n", message.c_str());
    RemoveLink(device);
    RemoveLink(control);
    return 1;
}

// The program starts its next transfer some 50 microseconds after the last;
// the sooner we stop the line after a transfer, the smaller the chance that
// its bytes run into the next. Real-time priority makes our wake-up
// immediate; without the privilege we run as we are.
static void AskForPriority()
{
    sched_param priority = {};
    priority.sched_priority = 1;
    sched_setscheduler(0, SCHED_FIFO, &priority);
}

static int RunSimulator(const Options &options, int stopSignals)
{
    Simulator sim;
    sim.log.quiet = options.quiet;
    sim.model.startCounter = options.counter;
    sim.model.startAutoCounter = options.autoCounter;
    ResetDeviceModel(sim.model);
    if (options.logPath && !OpenEventLog(sim.log, options.logPath))
        return Fail(std::string("cannot open the log ") + options.logPath, sim.device.pty);
    if (options.controlLink) {
        if (!OpenRawPty(sim.control))
            return Fail("cannot create a pseudo-terminal", sim.device.pty);
        // Held for our whole life: with one slave always open the control
        // master never hangs up, however often the tests open and close it.
        sim.controlSlave = open(sim.control.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (sim.controlSlave < 0)
            return Fail("cannot open " + sim.control.slavePath, sim.device.pty);
        KeepAsTerminal(sim.control.slavePath);
    }
    std::string error;
    if (!PrepareSimulator(sim, error))
        return Fail(error, sim.device.pty);

    // Everything is ready before the first link appears; the control link
    // comes last, so its appearance means the simulator is ready.
    std::string where = "device " + sim.device.pty.slavePath + " at " + options.link;
    if (options.controlLink)
        where += std::string("; control ") + sim.control.slavePath + " at " + options.controlLink;
    if (options.logPath)
        where += std::string("; log ") + options.logPath;
    LogStart(sim.log, where);
    sim.device.pty.linkPath = options.link;
    if (!AttachDevice(sim, sim.device.pty.slavePath, error))
        return Fail(error, sim.device.pty);
    if (options.controlLink) {
        sim.control.linkPath = options.controlLink;
        if (!PublishLink(sim.control, sim.control.slavePath, error))
            return Fail(error, sim.device.pty, sim.control);
    }
    AskForPriority();
    printf("kivo-devsim: %s\n", where.c_str());
    fflush(stdout);

    int status = RunEventLoop(stopSignals, [&sim](std::vector<EventSource> &sources) {
        int fds[3];
        int count = LinkDescriptors(sim.device, fds);
        for (int i = 0; i < count; ++i)
            sources.push_back({fds[i], [&sim] { ServiceLink(sim.device); }});
        sources.push_back({sim.timerFd, [&sim] { SendDueAnswers(sim); }});
        if (sim.control.master >= 0)
            sources.push_back({sim.control.master, [&sim] { ReadControl(sim); }});
    });
    SyncLink(sim.device);
    LogStop(sim.log);
    RemoveLink(sim.device.pty);
    RemoveLink(sim.control);
    CloseEventLog(sim.log);
    return status;
}

// Where the monitor cannot do what a direct mapping does; the README says more.
static const char MonitorNote[] =
    "device bytes the program leaves unread, or that arrive after it closes the port and before "
    "the adapter is closed, are dropped (event unread), as a serial port drops them at its close; "
    "a pty as the adapter would keep them. The adapter opens and closes a moment after the "
    "program's port. Modem-line changes by the program are not passed on.";

static int RunMonitor(const Options &options, int stopSignals)
{
    Monitor mon;
    mon.log.quiet = options.quiet;
    mon.adapterPath = options.adapter;
    if (options.logPath && !OpenEventLog(mon.log, options.logPath))
        return Fail(std::string("cannot open the log ") + options.logPath, mon.link.pty);
    std::string error;
    if (!PrepareMonitor(mon, error))
        return Fail(error, mon.link.pty);
    std::string where = "COM11 " + mon.link.pty.slavePath + " at " + options.link + "; adapter "
                        + mon.adapterPath;
    if (options.logPath)
        where += std::string("; log ") + options.logPath;
    LogStart(mon.log, where, MonitorNote);
    mon.link.pty.linkPath = options.link;
    if (!PublishLink(mon.link.pty, mon.link.pty.slavePath, error))
        return Fail(error, mon.link.pty);
    AskForPriority();
    printf("kivo-devsim: monitor: %s\n", where.c_str());
    fflush(stdout);

    int status = RunEventLoop(stopSignals, [&mon](std::vector<EventSource> &sources) {
        ListMonitorSources(mon, sources);
    });
    StopMonitor(mon);
    LogStop(mon.log);
    CloseEventLog(mon.log);
    return status;
}

static int RunWatch(const Options &options, int stopSignals)
{
    Com11Watch watch;
    watch.link = options.watch;
    watch.adapter = options.adapter ? options.adapter : "";
    watch.dialogs = options.dialogs;
    std::string error;
    if (!PrepareWatch(watch, error)) {
        fprintf(stderr, "kivo-devsim: %s\n", error.c_str());
        return 1;
    }
    int status = RunEventLoop(stopSignals, [&watch](std::vector<EventSource> &sources) {
        ListWatchSources(watch, sources);
    });
    StopWatch(watch);
    return watch.closePanel ? ClosePanelStatus : status;
}

int main(int argc, char **argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        fputs(Usage, stderr);
        return 2;
    }
    int stopSignals = OpenStopSignals();
    if (stopSignals < 0) {
        fputs("kivo-devsim: signalfd unavailable\n", stderr);
        return 1;
    }
    if (options.watch)
        return RunWatch(options, stopSignals);
    return options.adapter ? RunMonitor(options, stopSignals) : RunSimulator(options, stopSignals);
}
