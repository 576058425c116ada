// kivo-devsim --adapter as a process: a pty pair stands in for the serial
// adapter, this test plays the device on its master, and COM11 is opened the
// way the program opens it (open, set the line, one transfer, close).
#include "line_rate.h"
#include "log_lines.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Waits for check() to hold, up to two seconds.
template <typename Check> bool Eventually(Check check)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!check()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Given arbitraryBaud, the rate is set as Wine 10 sets every rate (BOTHER).
bool SetLine(int fd, speed_t speed, bool twoStopBits, int arbitraryBaud = 0)
{
    termios line;
    if (tcgetattr(fd, &line) != 0)
        return false;
    if (arbitraryBaud == 0)
        cfsetspeed(&line, speed);
    line.c_cflag = twoStopBits ? line.c_cflag | CSTOPB : line.c_cflag & ~CSTOPB;
    return tcsetattr(fd, TCSANOW, &line) == 0 && (arbitraryBaud == 0 || SetLineRate(fd, arbitraryBaud));
}

class MonitorTest : public ::testing::Test {
protected:
    std::string dir, link, adapterLink, logPath, outPath;
    int device = -1;   // the adapter's far end: the device's side
    int watch = -1;    // inotify on the adapter: its openings and closings
    int opens = 0, closes = 0;
    pid_t monitor = -1;
    bool arbitraryRate = getenv("KIVO_TEST_ARBITRARY_RATES") != nullptr;   // as Wine 10 sets rates

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
        monitor = fork();
        if (monitor == 0) {
            int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            execl(DEVSIM_PATH, DEVSIM_PATH, "--link", link.c_str(), "--adapter",
                  adapterLink.c_str(), "--log", logPath.c_str(), nullptr);
            _exit(127);
        }
        struct stat published;
        ASSERT_TRUE(Eventually([&] { return lstat(link.c_str(), &published) == 0; }));
    }

    void TearDown() override
    {
        if (monitor > 0) {
            kill(monitor, SIGKILL);
            waitpid(monitor, nullptr, 0);
        }
        close(device);
        close(watch);
        if (system(("rm -rf '" + dir + "'").c_str()) != 0)
            ADD_FAILURE() << "could not remove " << dir;
    }

    // A new adapter under the same path, as when a USB adapter is plugged in
    // again. It starts as the kernel makes a tty, cooked and echoing, and at
    // other settings than the program's.
    void PlugAdapter()
    {
        device = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_TRUE(device >= 0 && grantpt(device) == 0 && unlockpt(device) == 0);
        inotify_add_watch(watch, ptsname(device), IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
        ASSERT_EQ(0, symlink(ptsname(device), adapterLink.c_str()));
        ASSERT_TRUE(SetLine(device, B9600, true));
    }

    void UnplugAdapter()
    {
        close(device);
        device = -1;
        unlink(adapterLink.c_str());
    }

    bool AdapterLineIs(speed_t speed, bool twoStopBits)
    {
        termios line;
        return tcgetattr(device, &line) == 0 && cfgetospeed(&line) == speed
               && bool(line.c_cflag & CSTOPB) == twoStopBits;
    }

    int Stop()
    {
        kill(monitor, SIGTERM);
        int status = -1;
        waitpid(monitor, &status, 0);
        monitor = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Opens COM11 as the program does: 4800 baud, one stop bit.
    int OpenPort(int flags)
    {
        int fd = open(link.c_str(), flags | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0)
            SetLine(fd, B4800, false, arbitraryRate ? 4800 : 0);
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
    bool TransferLogged(size_t before)
    {
        return Eventually([&] { return Events({"message", "empty"}).size() > before; });
    }

    bool WriteTransfer(const std::string &bytes)
    {
        size_t before = Events({"message", "empty"}).size();
        int fd = OpenPort(O_RDWR);
        bool written = fd >= 0 && write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
        close(fd);
        return written && TransferLogged(before);
    }

    bool AdapterOpen(bool open = true)
    {
        return Eventually([&] {
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
            return (opens > closes) == open;
        });
    }

    // Reads up to count bytes from fd, waiting a little for them.
    static std::string Receive(int fd, size_t count)
    {
        std::string bytes;
        Eventually([&] {
            char buffer[512];
            ssize_t got = read(fd, buffer, std::min(sizeof buffer, count - bytes.size()));
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
        if (fd < 0 || !AdapterOpen() || write(device, answer.data(), answer.size()) != ssize_t(answer.size()))
            return "(no transfer)";
        std::string bytes = Receive(fd, count);
        close(fd);
        EXPECT_TRUE(TransferLogged(before));
        return bytes;
    }

    // The opening ends in an error, as a blocking read or write would; the
    // hang-up shows a moment before reads fail.
    bool HungUp(int fd, bool writing)
    {
        char byte = 0;
        if (!Eventually([&] { return read(fd, &byte, 1) == 0; }))
            return false;
        return !writing || (write(fd, "5", 1) == -1 && errno == EIO);
    }
};

TEST_F(MonitorTest, PassesEveryByteBothWaysUnchanged)
{
    // 13, 17 and 19 are what a cooked adapter rewrites or eats; its echo
    // would send the device's answers back to it.
    std::string all, awkward("\0\r\x11\x13\xff", 5);
    for (int i = 0; i < 256; ++i)
        all += char(i);
    for (const std::string &message : {all, awkward}) {
        EXPECT_TRUE(WriteTransfer(message));
        EXPECT_EQ(message, Receive(device, message.size()));
    }
    EXPECT_EQ(awkward, ReadTransfer(awkward, 5));
    EXPECT_EQ(all, ReadTransfer(all, 256));
    char echoed;
    EXPECT_EQ(-1, read(device, &echoed, 1));
    std::vector<std::string> messages = Events({"message"});
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ("000d1113ff", Field(messages[1], "hex"));
    EXPECT_EQ("\\u0000\\u000d\\u0011\\u0013\\u00ff", Field(messages[1], "text"));

    // What the program leaves unread is dropped at its close, as a serial
    // port drops it, and logged.
    EXPECT_EQ("B", ReadTransfer("BC", 1));
    EXPECT_EQ("D", ReadTransfer("D", 1));
    std::vector<std::string> unread = Events({"unread"});
    ASSERT_EQ(1u, unread.size());
    EXPECT_EQ("43", Field(unread[0], "hex"));
    EXPECT_EQ(0, Stop());
}

TEST_F(MonitorTest, GivesTheAdapterTheProgramsLineBeforeAnyByte)
{
    // The device looks at the line as the first byte arrives, while the
    // program still has the port open; and the line is raw.
    int fd = OpenPort(O_RDWR);
    ASSERT_EQ(1, write(fd, "5", 1));
    EXPECT_EQ("5", Receive(device, 1));
    EXPECT_TRUE(AdapterLineIs(B4800, false));
    termios raw;
    ASSERT_EQ(0, tcgetattr(device, &raw));
    EXPECT_EQ(0u, raw.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_EQ(0u, raw.c_iflag & (IXON | IXOFF | ICRNL));
    EXPECT_EQ(0u, raw.c_oflag & OPOST);
    close(fd);
    ASSERT_TRUE(AdapterOpen(false));

    // A read carries no bytes: a change made while it is open reaches the
    // adapter all the same.
    ASSERT_TRUE(SetLine(device, B9600, false));
    fd = open(link.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_TRUE(AdapterOpen());
    ASSERT_TRUE(SetLine(fd, B19200, true, arbitraryRate ? 19200 : 0));
    EXPECT_TRUE(Eventually([&] { return AdapterLineIs(B19200, true); }));
    // A rate without a constant changes none of the flags the adapter gets.
    ASSERT_TRUE(SetLineRate(fd, 250000));
    EXPECT_TRUE(Eventually([&] { return LineRateOf(device) == 250000; }));
    close(fd);
    EXPECT_EQ(0, Stop());
}

TEST_F(MonitorTest, ShowsTheSwitchOnExchangeAndMirrorsEachOpening)
{
    EXPECT_TRUE(WriteTransfer("1"));
    EXPECT_TRUE(WriteTransfer("5"));
    EXPECT_EQ("\x2a", ReadTransfer("\x2a", 1));
    EXPECT_TRUE(WriteTransfer("1"));
    EXPECT_EQ("\x07", ReadTransfer("\x07", 1));
    // The adapter is open exactly while the program has the port open.
    EXPECT_TRUE(AdapterOpen(false));
    EXPECT_EQ(5, opens);
    EXPECT_EQ(5, closes);
    EXPECT_EQ(0, Stop());

    std::string logged;
    for (const std::string &line : Events({"message", "empty", "device"}))
        logged += Field(line, "event") + " " + Field(line, "hex") + " " + Field(line, "meaning")
                  + Field(line, "reason") + " " + Field(line, "baud") + Field(line, "stop_bits") + "\n";
    EXPECT_EQ("message 31 wake 48001\n"
              "message 35 counter-request 48001\n"
              "device 2a counter \n"
              "empty   48001\n"
              "message 31 auto-counter-request 48001\n"
              "device 07 auto-counter \n"
              "empty   48001\n",
              logged);
    std::string shown;
    for (const std::string &line : ReadLines(outPath))
        shown += line.substr(line.find(' ') + 1) + "\n";
    EXPECT_NE(std::string::npos, shown.find(" <- \"5\"  counter-request  (4800 8N1)\n"
                                            " -> 42 (Counter)\n"
                                            " <- (no bytes)  (4800 8N1)\n"
                                            " <- \"1\"  auto-counter-request  (4800 8N1)\n"
                                            " -> 7 (Auto Counter)\n")) << shown;
}

TEST_F(MonitorTest, WithdrawsThePortWhileTheAdapterIsGone)
{
    // Unplugged while the program waits for an answer: its read ends, and
    // the next opening fails as with no adapter at all.
    ASSERT_TRUE(WriteTransfer("1"));
    int fd = OpenPort(O_RDONLY | O_NONBLOCK);
    ASSERT_TRUE(AdapterOpen());
    UnplugAdapter();
    EXPECT_TRUE(HungUp(fd, false));
    close(fd);
    struct stat gone;
    EXPECT_TRUE(Eventually([&] { return lstat(link.c_str(), &gone) != 0; }));

    // Plugged in again under the same path: COM11 comes back and works.
    PlugAdapter();
    EXPECT_TRUE(Eventually([&] { return lstat(link.c_str(), &gone) == 0; }));
    EXPECT_TRUE(WriteTransfer("5"));
    EXPECT_EQ("5", Receive(device, 1));

    // Unplugged between transfers: COM11 goes at once, before any opening.
    UnplugAdapter();
    EXPECT_TRUE(Eventually([&] { return lstat(link.c_str(), &gone) != 0; }));

    // A port that opens but is no serial line: the opening that finds it so
    // fails instead of waiting.
    ASSERT_EQ(0, symlink("/dev/null", adapterLink.c_str()));
    EXPECT_TRUE(Eventually([&] { return lstat(link.c_str(), &gone) == 0; }));
    fd = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
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

} // namespace
