// The watch over COM11 for the kivo command. The program holds COM11 only
// for one transfer, so inotify's openings and closings of what the link
// leads to mark every transfer, and an opening that lasts is a read waiting
// for its byte. The adapter's removal shows in its folder.
#include "watch.h"

#include <cctype>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <sys/wait.h>
#include <unistd.h>

// The device answers a request within milliseconds; after 10 s it surely
// will not, and the user, before a panel that takes no clicks, has not yet
// given up and reached for the power switch of the machine.
static const int SilenceSeconds = 10;

static const uint32_t NodeEvents = IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE;
static const uint32_t NameGone = IN_DELETE | IN_MOVED_FROM;

static std::string TheDevice(const Com11Watch &watch)
{
    return watch.adapter.empty() ? "the device simulator" : "the device on " + watch.adapter;
}

static std::string WhatToCheck(const Com11Watch &watch)
{
    if (watch.adapter.empty())
        return "check that it is not muted ('mute off' on its control port)";
    return "check that it is switched on, that its cable is plugged in, and that " + watch.adapter
           + " is the device's own adapter";
}

// A clause of a line as a sentence of a dialog's text.
static std::string Sentence(std::string clause)
{
    clause[0] = char(toupper((unsigned char)clause[0]));
    return clause + ".";
}

static void Say(FILE *stream, const std::string &line)
{
    fprintf(stream, "kivo: %s\n", line.c_str());
    fflush(stream);
}

static void CloseDialog(Com11Watch &watch)
{
    if (watch.dialog > 0) {
        kill(watch.dialog, SIGTERM);
        waitpid(watch.dialog, nullptr, 0);
    }
    if (watch.dialogFd >= 0)
        close(watch.dialogFd);
    watch.dialog = -1;
    watch.dialogFd = -1;
}

// zenity, as the launcher's other dialogs; "Close the panel" is its default
// button (Return). Without zenity the line already said it all.
static void ShowDialog(Com11Watch &watch, const char *kind, const std::string &text, const char *otherAnswer)
{
    CloseDialog(watch);
    if (!watch.dialogs)
        return;
    std::string textOption = "--text=" + text;
    std::string otherOption = std::string("--cancel-label=") + (otherAnswer ? otherAnswer : "");
    std::vector<const char *> argv = {"zenity", kind, "--title=Kivo", "--no-markup", "--width=420",
                                      textOption.c_str(), "--ok-label=Close the panel"};
    if (otherAnswer)
        argv.push_back(otherOption.c_str());
    argv.push_back(nullptr);
    pid_t parent = getpid();
    pid_t child = fork();
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(0);
        // Our blocked stop signals and ignored SIGPIPE would outlive exec.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[0], const_cast<char *const *>(argv.data()));
        _exit(127);
    }
    watch.dialog = child;
    // Not pidfd_open(): Debian 12's header declares it without C linkage.
    watch.dialogFd = child > 0 ? int(syscall(SYS_pidfd_open, child, 0)) : -1;
    if (watch.dialogFd < 0)
        CloseDialog(watch);
}

// The user's answer. In a wait the program cannot leave, a dialog shut
// without an answer (Escape, the window's close box) closes the panel too.
static void OnDialogEnded(Com11Watch &watch)
{
    int status = 0;
    if (waitpid(watch.dialog, &status, WNOHANG) != watch.dialog)
        return;
    watch.dialog = -1;
    CloseDialog(watch);
    int answer = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    // The launcher learns it from our end: a signal to it could be one it
    // ignores, as a script's background job ignores SIGINT.
    if (answer == 0 || (answer == 1 && watch.state == WaitState::Lost)) {
        watch.closePanel = true;
        raise(SIGTERM);
    }
}

static void ArmSilence(Com11Watch &watch, bool on)
{
    itimerspec timer = {};
    timer.it_value.tv_sec = on ? SilenceSeconds : 0;
    timerfd_settime(watch.timerFd, 0, &timer, nullptr);
}

static void OnSilence(Com11Watch &watch)
{
    uint64_t expirations;
    while (read(watch.timerFd, &expirations, sizeof expirations) > 0) {
    }
    if (watch.openings == 0 || watch.state != WaitState::Idle)
        return;
    watch.state = WaitState::Silent;
    std::string silent = TheDevice(watch) + " has not answered for " + std::to_string(SilenceSeconds) + " s";
    Say(stdout, silent + ": " + WhatToCheck(watch) + "; the panel waits for it (Ctrl-C closes the panel)");
    std::string text = Sentence(silent) + "\n\n" + Sentence(WhatToCheck(watch))
                       + " The panel waits for the device as long as it takes.";
    ShowDialog(watch, "--question", text, "Keep waiting");
}

static void OnAdapterGone(Com11Watch &watch)
{
    if (watch.adapter.empty() || watch.openings == 0 || watch.state == WaitState::Lost)
        return;
    watch.state = WaitState::Lost;
    ArmSilence(watch, false);
    std::string gone = "the adapter " + watch.adapter + " went away while the panel waited for the device";
    Say(stderr, "error: " + gone + "; Wine keeps that wait, so the panel cannot go on: Ctrl-C closes it, "
                "then plug the adapter in and start kivo again");
    std::string text = Sentence(gone) + "\n\nWine keeps that wait, so the panel cannot go on. Close it, "
                                         "plug the adapter in and start Kivo again.";
    ShowDialog(watch, "--warning", text, nullptr);
}

static void OnOpened(Com11Watch &watch)
{
    if (watch.openings++ == 0)
        ArmSilence(watch, true);
}

static void OnClosed(Com11Watch &watch)
{
    if (watch.openings == 0 || --watch.openings > 0)
        return;
    ArmSilence(watch, false);
    if (watch.state == WaitState::Silent)
        Say(stdout, TheDevice(watch) + " answered; the panel goes on");
    CloseDialog(watch);
    watch.state = WaitState::Idle;
}

// inotify follows the link to what it leads to now; a new target is watched
// anew, and its openings start from none. A lost wait is not over: the
// program still waits on the old one, and the user still has to be told.
static void WatchNode(Com11Watch &watch)
{
    int previous = watch.nodeWatch;
    watch.nodeWatch = inotify_add_watch(watch.inotifyFd, watch.link.c_str(), NodeEvents);
    if (watch.nodeWatch == previous)
        return;
    if (previous >= 0)
        inotify_rm_watch(watch.inotifyFd, previous);
    watch.openings = 0;
    if (watch.state == WaitState::Lost)
        return;
    ArmSilence(watch, false);
    CloseDialog(watch);
    watch.state = WaitState::Idle;
}

static std::string NameOf(const std::string &path)
{
    return path.substr(path.rfind('/') + 1);
}

static std::string FolderOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

static void OnEvent(Com11Watch &watch, const inotify_event &event)
{
    std::string name = event.len ? event.name : "";
    if (event.wd == watch.nodeWatch) {
        if (event.mask & IN_OPEN)
            OnOpened(watch);
        if (event.mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE))
            OnClosed(watch);
    }
    if (event.wd == watch.linkFolderWatch && name == NameOf(watch.link)) {
        // The monitor withdraws COM11 when its adapter fails.
        if (event.mask & NameGone)
            OnAdapterGone(watch);
        WatchNode(watch);
    }
    if (event.wd == watch.adapterFolderWatch && name == watch.adapterNode && (event.mask & NameGone))
        OnAdapterGone(watch);
}

static void ReadEvents(Com11Watch &watch)
{
    alignas(inotify_event) char buffer[4096];
    ssize_t length;
    while ((length = read(watch.inotifyFd, buffer, sizeof buffer)) > 0) {
        for (char *next = buffer; next < buffer + length;) {
            const inotify_event *event = reinterpret_cast<const inotify_event *>(next);
            OnEvent(watch, *event);
            next += sizeof(inotify_event) + event->len;
        }
    }
}

bool PrepareWatch(Com11Watch &watch, std::string &error)
{
    // Our parent is the launcher; if it goes, so do we.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    watch.inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    watch.timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (watch.inotifyFd < 0 || watch.timerFd < 0) {
        error = "inotify or timerfd unavailable";
        return false;
    }
    watch.linkFolderWatch = inotify_add_watch(watch.inotifyFd, FolderOf(watch.link).c_str(),
                                              IN_CREATE | IN_MOVED_TO | NameGone);
    WatchNode(watch);
    if (watch.linkFolderWatch < 0 || watch.nodeWatch < 0) {
        error = "cannot watch " + watch.link + ": " + strerror(errno);
        return false;
    }
    // The node itself, not a name such as /dev/serial/by-id/... leading to it.
    char *node = watch.adapter.empty() ? nullptr : realpath(watch.adapter.c_str(), nullptr);
    if (node) {
        watch.adapterNode = NameOf(node);
        watch.adapterFolderWatch = inotify_add_watch(watch.inotifyFd, FolderOf(node).c_str(), NameGone);
        free(node);
    }
    return true;
}

void ListWatchSources(Com11Watch &watch, std::vector<EventSource> &sources)
{
    sources.push_back({watch.inotifyFd, [&watch] { ReadEvents(watch); }});
    sources.push_back({watch.timerFd, [&watch] { OnSilence(watch); }});
    if (watch.dialogFd >= 0)
        sources.push_back({watch.dialogFd, [&watch] { OnDialogEnded(watch); }});
}

void StopWatch(Com11Watch &watch)
{
    CloseDialog(watch);
}
