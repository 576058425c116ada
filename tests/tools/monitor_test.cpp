// kivo-devsim --adapter as a process: a pty pair stands in for the serial
// adapter, this test plays the device on its master, and COM11 is opened the
// way the program opens it (open, set the line, one transfer, close).
#include "log_lines.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const std::string AllBytes = [] {
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    return all;
}();

// Waits for check() to hold, up to two seconds.
template <typename Check> bool Eventually(Check check)
{
    auto deadline = Clock::now() + std::chrono::seconds(2);
    while (!check()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class MonitorTest : public ::testing::Test {
protected:
    std::string dir, link, adapterLink, logPath, outPath;
    int device = -1;           // the adapter's far end: the device's side
    std::string adapterPath;   // /dev/pts/N, the adapter itself
    int watch = -1;            // inotify on the adapter: its openings
    int opens = 0, closes = 0;
    pid_t monitor = -1;

    void SetUp() override
    {
        char pattern[] = "/tmp/kivo-monitor-test-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        dir = pattern;
        link = dir + "/com11";
        adapterLink = dir + "/adapter";
        logPath = dir + "/monitor.jsonl";
        outPath = dir + "/monitor.out";
        watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        PlugAdapter();
    }

    void TearDown() override
    {
        if (monitor > 0) {
            kill(monitor, SIGKILL);
            waitpid(monitor, nullptr, 0);
        }
        if (device >= 0)
            close(device);
        close(watch);
        std::string command = "rm -rf '" + dir + "'";
        if (system(command.c_str()) != 0)
            ADD_FAILURE() << "could not remove " << dir;
    }

    // A new adapter under the same path, as a USB adapter plugged in again
    // would be. It starts as the kernel makes a tty: cooked, with echo.
    void PlugAdapter()
    {
        device = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(device, 0);
        ASSERT_EQ(0, grantpt(device));
        ASSERT_EQ(0, unlockpt(device));
        adapterPath = ptsname(device);
        inotify_add_watch(watch, adapterPath.c_str(), IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
        unlink(adapterLink.c_str());
        ASSERT_EQ(0, symlink(adapterPath.c_str(), adapterLink.c_str()));
        SetAdapterLine(B9600, true);
    }

    void UnplugAdapter()
    {
        close(device);
        device = -1;
        unlink(adapterLink.c_str());
    }

    // The adapter's line as the device side sees it; a pty shows only the
    // baud rate and the stop bits.
    void SetAdapterLine(speed_t speed, bool twoStopBits)
    {
        termios line;
        ASSERT_EQ(0, tcgetattr(device, &line));
        cfsetispeed(&line, speed);
        cfsetospeed(&line, speed);
        line.c_cflag = twoStopBits ? line.c_cflag | CSTOPB : line.c_cflag & ~CSTOPB;
        ASSERT_EQ(0, tcsetattr(device, TCSANOW, &line));
    }

    bool AdapterLineIs(speed_t speed, bool twoStopBits)
    {
        termios line;
        return tcgetattr(device, &line) == 0 && cfgetospeed(&line) == speed
               && bool(line.c_cflag & CSTOPB) == twoStopBits;
    }

    void Start(std::vector<std::string> extra = {})
    {
        std::vector<std::string> arguments = {KIVO_DEVSIM_PATH, "--link", link, "--adapter",
                                              adapterLink, "--log", logPath};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        monitor = fork();
        if (monitor == 0) {
            int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(out, 2);
            std::vector<char *> argv;
            for (std::string &argument : arguments)
                argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        struct stat published;
        ASSERT_TRUE(Eventually([&] { return lstat(link.c_str(), &published) == 0; }));
    }

    int Stop()
    {
        kill(monitor, SIGTERM);
        int status = -1;
        waitpid(monitor, &status, 0);
        monitor = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Opens COM11 as the program does and sets the line.
    int OpenPort(int flags, speed_t speed = B4800)
    {
        int fd = open(link.c_str(), flags | O_NOCTTY | O_CLOEXEC);
        termios line;
        if (fd >= 0 && tcgetattr(fd, &line) == 0) {
            cfsetispeed(&line, speed);
            cfsetospeed(&line, speed);
            line.c_cflag &= ~CSTOPB;
            tcsetattr(fd, TCSANOW, &line);
        }
        return fd;
    }

    std::vector<std::string> Events(std::vector<std::string> kinds)
    {
        std::vector<std::string> found;
        for (const std::string &line : ReadLines(logPath))
            for (const std::string &kind : kinds)
                if (Field(line, "event") == kind)
                    found.push_back(line);
        return found;
    }

    // Each transfer ends in its log line; the next may start only then,
    // because this process could reopen far faster than the program does.
    bool TransfersLogged(size_t count)
    {
        return Eventually([&] { return Events({"message", "empty"}).size() >= count; });
    }

    bool WriteTransfer(const std::string &bytes)
    {
        size_t before = Events({"message", "empty"}).size();
        int fd = OpenPort(O_RDWR);
        bool written = fd >= 0 && write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
        close(fd);
        return written && TransfersLogged(before + 1);
    }

    void CountAdapterOpenings()
    {
        alignas(inotify_event) char buffer[4096];
        ssize_t length;
        while ((length = read(watch, buffer, sizeof buffer)) > 0) {
            for (char *next = buffer; next < buffer + length;) {
                const inotify_event *event = reinterpret_cast<const inotify_event *>(next);
                opens += (event->mask & IN_OPEN) ? 1 : 0;
                closes += (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) ? 1 : 0;
                next += sizeof(inotify_event) + event->len;
            }
        }
    }

    bool AdapterOpen()
    {
        return Eventually([&] {
            CountAdapterOpenings();
            return opens > closes;
        });
    }

    // The opening ends in an error, as a blocking read or write would: the
    // hang-up shows a moment before reads and writes fail.
    bool HungUp(int fd, bool writing)
    {
        char byte = 0;
        if (!Eventually([&] { return read(fd, &byte, 1) == 0; }))
            return false;
        return !writing || (write(fd, "5", 1) == -1 && errno == EIO);
    }

    // What reached the device, once count bytes have.
    std::string DeviceReads(size_t count)
    {
        std::string bytes;
        Eventually([&] {
            char buffer[512];
            ssize_t got = read(device, buffer, sizeof buffer);
            if (got > 0)
                bytes.append(buffer, size_t(got));
            return bytes.size() >= count;
        });
        return bytes;
    }

    // A read transfer that the device answers once the adapter is open.
    std::string ReadTransfer(const std::string &answer, size_t count)
    {
        size_t before = Events({"message", "empty"}).size();
        int fd = OpenPort(O_RDONLY | O_NONBLOCK);
        std::string bytes;
        if (fd < 0 || !AdapterOpen() || write(device, answer.data(), answer.size()) != ssize_t(answer.size()))
            return "(no transfer)";
        Eventually([&] {
            char buffer[512];
            ssize_t got = read(fd, buffer, std::min(sizeof buffer, count - bytes.size()));
            if (got > 0)
                bytes.append(buffer, size_t(got));
            return bytes.size() >= count;
        });
        close(fd);
        EXPECT_TRUE(TransfersLogged(before + 1));
        return bytes;
    }
};

TEST_F(MonitorTest, PassesEveryByteBothWaysUnchanged)
{
    Start({"--quiet"});
    // 13, 17 and 19 are what a cooked adapter would rewrite or eat; its echo
    // would send the device's answers back to it.
    const std::string messages[] = {AllBytes, std::string("\0\r\x11\x13\xff", 5), "5"};
    for (const std::string &message : messages) {
        EXPECT_TRUE(WriteTransfer(message));
        EXPECT_EQ(message, DeviceReads(message.size()));
    }
    EXPECT_EQ(std::string("\0\r\x11\x13\xff", 5), ReadTransfer(std::string("\0\r\x11\x13\xff", 5), 5));
    EXPECT_EQ(AllBytes, ReadTransfer(AllBytes, 256));
    char echoed;
    EXPECT_EQ(-1, read(device, &echoed, 1));
    std::vector<std::string> logged = Events({"message"});
    ASSERT_EQ(3u, logged.size());
    EXPECT_EQ("00", Field(logged[0], "hex").substr(0, 2));
    EXPECT_EQ("ff", Field(logged[0], "hex").substr(510));
    EXPECT_EQ("000d1113ff", Field(logged[1], "hex"));
    EXPECT_EQ("\\u0000\\u000d\\u0011\\u0013\\u00ff", Field(logged[1], "text"));
    EXPECT_EQ(0, Stop());
}

TEST_F(MonitorTest, GivesTheAdapterTheProgramsLineBeforeAnyByte)
{
    Start({"--quiet"});
    // The device looks at the line the moment the first byte arrives, while
    // the program still has the port open.
    int fd = OpenPort(O_RDWR);
    ASSERT_EQ(1, write(fd, "5", 1));
    EXPECT_EQ("5", DeviceReads(1));
    EXPECT_TRUE(AdapterLineIs(B4800, false));
    termios raw;
    ASSERT_EQ(0, tcgetattr(device, &raw));
    EXPECT_EQ(0u, raw.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_EQ(0u, raw.c_iflag & (IXON | IXOFF | ICRNL));
    EXPECT_EQ(0u, raw.c_oflag & OPOST);
    close(fd);
    ASSERT_TRUE(TransfersLogged(1));

    // A read carries no bytes: a change made while it is open reaches the
    // adapter all the same.
    SetAdapterLine(B9600, true);
    fd = open(link.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_TRUE(AdapterOpen());
    termios line;
    ASSERT_EQ(0, tcgetattr(fd, &line));
    cfsetispeed(&line, B19200);
    cfsetospeed(&line, B19200);
    line.c_cflag &= ~CSTOPB;
    ASSERT_EQ(0, tcsetattr(fd, TCSANOW, &line));
    EXPECT_TRUE(Eventually([&] { return AdapterLineIs(B19200, false); }));
    close(fd);
    EXPECT_EQ(0, Stop());
}

TEST_F(MonitorTest, ShowsTheSwitchOnExchangeAndMirrorsEachOpening)
{
    Start();
    EXPECT_TRUE(WriteTransfer("1"));
    EXPECT_TRUE(WriteTransfer("5"));
    EXPECT_EQ("\x2a", ReadTransfer("\x2a", 1));
    EXPECT_TRUE(WriteTransfer("1"));
    EXPECT_EQ("\x07", ReadTransfer("\x07", 1));
    // The adapter is open exactly while the program has the port open (it
    // closes a moment after the transfer is logged).
    EXPECT_TRUE(Eventually([&] {
        CountAdapterOpenings();
        return closes == 5;
    }));
    EXPECT_EQ(5, opens);

    std::vector<std::string> events = Events({"message", "empty", "device"});
    const char *expected[][4] = {{"message", "31", "wake", ""},
                                 {"message", "35", "counter-request", ""},
                                 {"device", "2a", "", "counter"},
                                 {"empty", "", "", ""},
                                 {"message", "31", "auto-counter-request", ""},
                                 {"device", "07", "", "auto-counter"},
                                 {"empty", "", "", ""}};
    ASSERT_EQ(std::size(expected), events.size());
    for (size_t i = 0; i < events.size(); ++i) {
        SCOPED_TRACE(events[i]);
        EXPECT_EQ(expected[i][0], Field(events[i], "event"));
        EXPECT_EQ(expected[i][1], Field(events[i], "hex"));
        EXPECT_EQ(expected[i][2], Field(events[i], "meaning"));
        EXPECT_EQ(expected[i][3], Field(events[i], "reason"));
        if (Field(events[i], "event") != "device") {
            EXPECT_EQ("4800", Field(events[i], "baud"));
            EXPECT_EQ("1", Field(events[i], "stop_bits"));
        }
    }
    EXPECT_EQ(0, Stop());
    std::string out;
    for (const std::string &line : ReadLines(outPath))
        out += line.substr(line.find(' ') + 1) + "\n";
    EXPECT_NE(std::string::npos, out.find(" <- \"5\"  counter-request  (4800 8N1)\n"
                                          " -> 42 (Counter)\n"
                                          " <- (no bytes)  (4800 8N1)\n"
                                          " <- \"1\"  auto-counter-request  (4800 8N1)\n"
                                          " -> 7 (Auto Counter)\n")) << out;
}

TEST_F(MonitorTest, LeavesTheDevicesBytesToTheAdapterWhileThePortIsClosed)
{
    Start({"--quiet"});
    // Sent while nobody has the port open, a byte stays with the adapter
    // (a pty keeps it) and reaches the next opening, as with a direct mapping.
    ASSERT_EQ(1, write(device, "A", 1));
    EXPECT_EQ("A", ReadTransfer("", 1));
    // What the program leaves unread when it closes is dropped, as a serial
    // port drops it, and logged.
    EXPECT_EQ("B", ReadTransfer("BC", 1));
    EXPECT_EQ("D", ReadTransfer("D", 1));
    std::vector<std::string> unread = Events({"unread"});
    ASSERT_EQ(1u, unread.size());
    EXPECT_EQ("43", Field(unread[0], "hex"));
    EXPECT_EQ(0, Stop());
}

TEST_F(MonitorTest, WithdrawsThePortWhileTheAdapterIsGone)
{
    Start({"--quiet"});
    ASSERT_TRUE(WriteTransfer("1"));
    // Unplugged while the program waits for an answer: its read ends.
    int fd = OpenPort(O_RDONLY | O_NONBLOCK);
    ASSERT_TRUE(AdapterOpen());
    UnplugAdapter();
    EXPECT_TRUE(HungUp(fd, false));
    close(fd);
    // The next opening fails, as with no adapter at all.
    struct stat gone;
    EXPECT_TRUE(Eventually([&] { return lstat(link.c_str(), &gone) != 0; }));
    errno = 0;
    int opened = open(link.c_str(), O_RDWR | O_NOCTTY);
    int error = errno;
    EXPECT_EQ(-1, opened);
    EXPECT_EQ(ENOENT, error);

    // Plugged in again under the same path: COM11 comes back and works.
    PlugAdapter();
    EXPECT_TRUE(Eventually([&] { return lstat(link.c_str(), &gone) == 0; }));
    EXPECT_TRUE(WriteTransfer("5"));
    EXPECT_EQ("5", DeviceReads(1));

    // Unplugged between transfers: COM11 goes at once, before any opening.
    UnplugAdapter();
    EXPECT_TRUE(Eventually([&] { return lstat(link.c_str(), &gone) != 0; }));

    // A port that opens but is no serial line: the opening that finds it so
    // fails instead of waiting.
    ASSERT_EQ(0, symlink("/dev/null", adapterLink.c_str()));
    EXPECT_TRUE(Eventually([&] { return lstat(link.c_str(), &gone) == 0; }));
    fd = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(HungUp(fd, true));
    close(fd);

    // /dev/null is there, so it counts as back until the next opening.
    std::vector<std::string> adapter = Events({"adapter"});
    ASSERT_GE(adapter.size(), 5u);
    const char *states[] = {"lost", "back", "lost", "back", "lost"};
    for (size_t i = 0; i < std::size(states); ++i)
        EXPECT_EQ(states[i], Field(adapter[i], "state")) << i;
    EXPECT_EQ("it is not a serial port", Field(adapter[4], "error"));
    EXPECT_EQ(0, Stop());
}

TEST_F(MonitorTest, RefusesAMissingAdapterAndSimulatorOptions)
{
    UnplugAdapter();
    for (std::vector<std::string> extra : {std::vector<std::string>{}, {"--counter", "5"}}) {
        std::vector<std::string> arguments = {KIVO_DEVSIM_PATH, "--link", link, "--adapter", adapterLink};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        pid_t child = fork();
        if (child == 0) {
            int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, 2);
            std::vector<char *> argv;
            for (std::string &argument : arguments)
                argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_EQ(extra.empty() ? 1 : 2, WEXITSTATUS(status));
    }
    struct stat none;
    EXPECT_NE(0, lstat(link.c_str(), &none));
}

} // namespace
