// Pseudo-terminal setup, the published link and the line settings.
#include "pty_link.h"

#include "line_rate.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

bool OpenRawPty(PtyLink &pty)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0)
        return false;
    const char *name = nullptr;
    termios settings = {};
    if (grantpt(master) != 0 || unlockpt(master) != 0 || (name = ptsname(master)) == nullptr
        || tcgetattr(master, &settings) != 0) {
        close(master);
        return false;
    }
    // A cooked line would eat 17 and 19 and turn 13 into 10.
    cfmakeraw(&settings);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (tcsetattr(master, TCSANOW, &settings) != 0) {
        close(master);
        return false;
    }
    pty.master = master;
    pty.slavePath = name;
    return true;
}

bool PublishLink(PtyLink &pty, const std::string &target, std::string &error)
{
    struct stat existing;
    if (lstat(pty.linkPath.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        error = pty.linkPath + " exists and is not a symlink";
        return false;
    }
    std::string temporary = pty.linkPath + ".devsim-new";
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0
        || rename(temporary.c_str(), pty.linkPath.c_str()) != 0) {
        error = pty.linkPath + ": " + strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    pty.linkedTo = target;
    return true;
}

void RemoveLink(const PtyLink &pty)
{
    if (pty.linkPath.empty())
        return;
    char target[4096];
    ssize_t length = readlink(pty.linkPath.c_str(), target, sizeof target - 1);
    if (length < 0)
        return;
    target[length] = '\0';
    // Another simulator may have taken the path over; leave its link alone.
    if (pty.linkedTo == target)
        unlink(pty.linkPath.c_str());
}

bool WatchLineChanges(int master)
{
    int on = 1;
    termios settings = {};
    if (ioctl(master, TIOCPKT, &on) != 0 || tcgetattr(master, &settings) != 0)
        return false;
    settings.c_lflag |= EXTPROC;
    return tcsetattr(master, TCSANOW, &settings) == 0;
}

LineSettings ReadLineSettings(int master)
{
    LineSettings line;
    termios settings = {};
    if (tcgetattr(master, &settings) != 0)
        return line;
    // Not cfgetospeed, which gives BOTHER for a rate set as an arbitrary
    // one, as Wine 10 sets every rate.
    line.baud = LineRateOf(master);
    switch (settings.c_cflag & CSIZE) {
    case CS5: line.dataBits = 5; break;
    case CS6: line.dataBits = 6; break;
    case CS7: line.dataBits = 7; break;
    default:  line.dataBits = 8; break;
    }
    if (!(settings.c_cflag & PARENB))
        line.parity = "none";
    else if (settings.c_cflag & CMSPAR)
        line.parity = (settings.c_cflag & PARODD) ? "mark" : "space";
    else
        line.parity = (settings.c_cflag & PARODD) ? "odd" : "even";
    line.stopBits = (settings.c_cflag & CSTOPB) ? 2 : 1;
    return line;
}

void SetIdleLineSettings(int master)
{
    termios settings = {};
    if (tcgetattr(master, &settings) != 0)
        return;
    if (cfgetospeed(&settings) == B9600 && cfgetispeed(&settings) == B9600 && (settings.c_cflag & CSTOPB))
        return;
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    settings.c_cflag |= CSTOPB;
    // TCSANOW: an answer waiting for the next read must not be flushed.
    tcsetattr(master, TCSANOW, &settings);
}

size_t WriteAll(int fd, const std::string &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t count = write(fd, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        done += size_t(count);
    }
    return done;
}

bool ReadPackets(int master, std::string &bytes, bool &lineChanged)
{
    char buffer[4096];
    for (;;) {
        ssize_t count = read(master, buffer, sizeof buffer);
        if (count > 0) {
            // A packet is either a status byte alone or a zero byte and data.
            if (buffer[0] == TIOCPKT_DATA)
                bytes.append(buffer + 1, size_t(count - 1));
            else if (buffer[0] & TIOCPKT_IOCTL)
                lineChanged = true;
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        // EIO comes only after the kernel has handed over every byte the
        // closed side wrote; EAGAIN means the slave is (again) open.
        return !(count < 0 && errno == EIO);
    }
}
