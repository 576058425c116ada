// A child process per pty that owns it as its controlling terminal.
#include "terminal_keeper.h"

#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

static void RunKeeper(pid_t parent, int ready, const std::string &slavePath)
{
    // It must not outlive us, and it must not act on our signals.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(0);
    // Nothing of ours stays open in it: not the masters, whose last close is
    // the hang-up, nor stdout, whose reader may wait for its end.
    if (ready > 0)
        close_range(0, unsigned(ready) - 1, 0);
    close_range(unsigned(ready) + 1, ~0U, 0);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (setsid() < 0)
        _exit(1);
    int terminal = open(slavePath.c_str(), O_RDWR);
    if (terminal < 0 || ioctl(terminal, TIOCSCTTY, 0) != 0)
        _exit(1);
    char done = 1;
    if (write(ready, &done, 1) != 1)
        _exit(1);
    close(ready);
    // The hang-up when our master closes ends the child too.
    for (;;)
        pause();
}

pid_t KeepAsTerminal(const std::string &slavePath)
{
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        return -1;
    pid_t parent = getpid();
    pid_t child = fork();
    if (child == 0)
        RunKeeper(parent, ready[1], slavePath);
    close(ready[1]);
    // The keeper's opening must be over before anyone watches the slave.
    char done = 0;
    bool kept = child > 0 && read(ready[0], &done, 1) == 1;
    close(ready[0]);
    if (child > 0 && !kept)
        waitpid(child, nullptr, 0);
    return kept ? child : -1;
}
