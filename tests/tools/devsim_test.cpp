// kivo-devsim as a process: started on a temporary directory, its device pty
// opened the way the program opens COM11 (open, set the line, one transfer,
// close), its control pty spoken to the way the Windows tests speak to COM12.
#include "line_rate.h"
#include "log_lines.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

// A read that finds nothing within this long counts as no answer.
const int NoAnswerMilliseconds = 300;

struct Transfer {
    std::string event, hex, text, meaning, baud, stopBits;
};

class DevsimTest : public ::testing::Test {
protected:
    std::string dir, link, controlLink, logPath;
    pid_t simulator = -1;
    bool arbitraryRate = getenv("KIVO_TEST_ARBITRARY_RATES") != nullptr;   // as Wine 10 sets rates

    void SetUp() override
    {
        char pattern[] = "/tmp/kivo-devsim-test-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        dir = pattern;
        link = dir + "/com11";
        controlLink = dir + "/com12";
        logPath = dir + "/device.jsonl";
    }

    void TearDown() override
    {
        if (simulator > 0) {
            kill(simulator, SIGKILL);
            waitpid(simulator, nullptr, 0);
        }
        std::string command = "rm -rf '" + dir + "'";
        if (system(command.c_str()) != 0)
            ADD_FAILURE() << "could not remove " << dir;
    }

    // Starts the simulator and waits for its line on stdout, which it prints
    // once both links are published.
    std::string Start(std::vector<std::string> extra = {})
    {
        std::vector<std::string> arguments = {DEVSIM_PATH, "--link", link, "--control-link",
                                              controlLink, "--log", logPath};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        int output[2];
        if (pipe(output) != 0)
            return "";
        simulator = fork();
        if (simulator == 0) {
            dup2(output[1], 1);
            close(output[0]);
            close(output[1]);
            std::vector<char *> argv;
            for (std::string &argument : arguments)
                argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(output[1]);
        std::string line;
        char c;
        while (read(output[0], &c, 1) == 1 && c != '\n')
            line += c;
        close(output[0]);
        return line;
    }

    int Stop()
    {
        kill(simulator, SIGTERM);
        int status = -1;
        waitpid(simulator, &status, 0);
        simulator = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Opens as the program does and sets 4800 baud, one stop bit.
    int OpenPort(const std::string &path, int flags, bool configure = true)
    {
        int fd = open(path.c_str(), flags | O_NOCTTY);
        if (fd < 0 || !configure)
            return fd;
        termios line;
        tcgetattr(fd, &line);
        if (!arbitraryRate)
            cfsetspeed(&line, B4800);
        line.c_cflag &= ~CSTOPB;
        tcsetattr(fd, TCSANOW, &line);
        if (arbitraryRate)
            SetLineRate(fd, 4800);
        return fd;
    }

    // The simulator can tell transfers apart only by the open and close
    // events it has handled: one that opens again within microseconds, as
    // this process could, would merge with the one before. The program under
    // Wine needs far longer between transfers; here a sync stands in for that.
    bool WriteTransfer(const std::string &bytes, bool configure = true)
    {
        int fd = OpenPort(link, O_RDWR, configure);
        if (fd < 0)
            return false;
        bool written = write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
        close(fd);
        return Control("sync") == "ok" && written;
    }

    // The byte read, or -1 when none came within NoAnswerMilliseconds.
    int ReadTransfer(int waitMilliseconds = NoAnswerMilliseconds)
    {
        int fd = OpenPort(link, O_RDONLY | O_NONBLOCK);
        if (fd < 0)
            return -2;
        pollfd ready = {fd, POLLIN, 0};
        unsigned char byte = 0;
        int result = -1;
        if (poll(&ready, 1, waitMilliseconds) == 1 && read(fd, &byte, 1) == 1)
            result = byte;
        close(fd);
        EXPECT_EQ("ok", Control("sync"));
        return result;
    }

    std::string Control(const std::string &command)
    {
        int fd = open(controlLink.c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0)
            return "(no control port)";
        std::string line = command + "\n";
        std::string answer;
        if (write(fd, line.data(), line.size()) == ssize_t(line.size())) {
            char c;
            pollfd ready = {fd, POLLIN, 0};
            while (poll(&ready, 1, 5000) == 1 && read(fd, &c, 1) == 1 && c != '\n')
                answer += c;
        }
        close(fd);
        return answer;
    }

    std::vector<std::string> LogLines()
    {
        return ReadLines(logPath);
    }

    // Every transfer since the last reset, after a sync.
    std::vector<Transfer> Transfers()
    {
        EXPECT_EQ("ok", Control("sync"));
        std::vector<Transfer> transfers;
        for (const std::string &line : LogLines()) {
            std::string event = Field(line, "event");
            if (event == "control" && Field(line, "command") == "reset")
                transfers.clear();
            if (event == "message" || event == "empty")
                transfers.push_back({event, Field(line, "hex"), Field(line, "text"),
                                     Field(line, "meaning"), Field(line, "baud"),
                                     Field(line, "stop_bits")});
        }
        return transfers;
    }

    std::vector<std::string> Answers()
    {
        EXPECT_EQ("ok", Control("sync"));
        std::vector<std::string> answers;
        for (const std::string &line : LogLines()) {
            if (Field(line, "event") == "control" && Field(line, "command") == "reset")
                answers.clear();
            if (Field(line, "event") == "answer")
                answers.push_back(Field(line, "value") + " " + Field(line, "reason"));
        }
        return answers;
    }
};

TEST_F(DevsimTest, StartsPublishesAndStopsCleanly)
{
    // A stale link from a crashed run is replaced.
    ASSERT_EQ(0, symlink("/nonexistent", link.c_str()));
    std::string banner = Start({"--quiet"});
    EXPECT_NE(std::string::npos, banner.find("kivo-devsim: device /dev/pts/")) << banner;
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(0, strncmp(target, "/dev/pts/", 9));
    EXPECT_EQ(0, Stop());
    struct stat gone;
    EXPECT_NE(0, lstat(link.c_str(), &gone));
    EXPECT_NE(0, lstat(controlLink.c_str(), &gone));
    std::vector<std::string> lines = LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ("start", Field(lines.front(), "event"));
    EXPECT_EQ("stop", Field(lines.back(), "event"));
}

TEST_F(DevsimTest, NoOpenerTakesThePortAsItsTerminal)
{
    // The Wine server is a session leader without a terminal; were the device
    // pty to become its terminal, our exit would hang it up.
    Start({"--quiet"});
    for (const std::string &path : {link, controlLink}) {
        pid_t child = fork();
        if (child == 0) {
            setsid();
            int port = open(path.c_str(), O_RDWR);
            int terminal = open("/dev/tty", O_RDWR);
            _exit(port >= 0 && terminal < 0 ? 0 : 1);
        }
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << path;
    }
}

TEST_F(DevsimTest, RefusesBadOptions)
{
    for (std::vector<std::string> bad : {std::vector<std::string>{"--counter", "256"},
                                         {"--auto-counter", "-1"}, {"--frobnicate"}}) {
        std::string banner = Start(bad);
        EXPECT_EQ("", banner);
        int status = 0;
        waitpid(simulator, &status, 0);
        simulator = -1;
        EXPECT_EQ(2, WEXITSTATUS(status));
    }
}

TEST_F(DevsimTest, AnswersTheSwitchOnExchange)
{
    Start({"--counter", "200", "--auto-counter", "7"});
    EXPECT_TRUE(WriteTransfer("1"));
    EXPECT_TRUE(WriteTransfer("5"));
    EXPECT_EQ(200, ReadTransfer(5000));
    EXPECT_TRUE(WriteTransfer("1"));
    EXPECT_EQ(7, ReadTransfer(5000));
    std::vector<Transfer> transfers = Transfers();
    ASSERT_EQ(5u, transfers.size());
    const char *meanings[] = {"wake", "counter-request", "", "auto-counter-request", ""};
    for (size_t i = 0; i < transfers.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(meanings[i], transfers[i].meaning);
        EXPECT_EQ(meanings[i][0] ? "message" : "empty", transfers[i].event);
        EXPECT_EQ("4800", transfers[i].baud);
        EXPECT_EQ("1", transfers[i].stopBits);
    }
    EXPECT_EQ((std::vector<std::string>{"200 counter", "7 auto-counter"}), Answers());
}

TEST_F(DevsimTest, RecordsEachTransferWithItsOwnLineSettings)
{
    Start({"--quiet"});
    // Without configuring, a transfer finds the simulator's idle settings.
    EXPECT_TRUE(WriteTransfer("1234", true));
    EXPECT_TRUE(WriteTransfer("99991", false));
    arbitraryRate = !arbitraryRate;   // the other way must replace them too
    EXPECT_TRUE(WriteTransfer("", true));
    std::vector<Transfer> transfers = Transfers();
    ASSERT_EQ(3u, transfers.size());
    EXPECT_EQ("4800", transfers[0].baud);
    EXPECT_EQ("1", transfers[0].stopBits);
    EXPECT_EQ("9600", transfers[1].baud);
    EXPECT_EQ("2", transfers[1].stopBits);
    EXPECT_EQ("empty", transfers[2].event);
    EXPECT_EQ("4800", transfers[2].baud);
}

TEST_F(DevsimTest, KeepsEveryByteOfEveryMessageApart)
{
    Start({"--quiet"});
    // No byte may be lost at a close or leak into the next message.
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    const std::string messages[] = {"88881", std::string("\x11\x13\r\n\0\xff", 6), all, "-9998",
                                    std::string("20\0", 3), "5"};
    for (const std::string &message : messages) {
        EXPECT_TRUE(WriteTransfer(message));
    }
    std::vector<Transfer> transfers = Transfers();
    ASSERT_EQ(std::size(messages), transfers.size());
    for (size_t i = 0; i < transfers.size(); ++i) {
        std::string hex;
        for (unsigned char byte : messages[i]) {
            char digits[3];
            snprintf(digits, sizeof digits, "%02x", byte);
            hex += digits;
        }
        EXPECT_EQ(hex, transfers[i].hex) << i;
    }
    EXPECT_EQ("\\u0011\\u0013\\u000d\\u000a\\u0000\\u00ff", transfers[1].text);
    EXPECT_EQ("number", transfers[4].meaning);
}

TEST_F(DevsimTest, ControlCommandsShapeTheAnswers)
{
    Start({"--quiet"});
    EXPECT_EQ("ok", Control("readings 9 250"));
    EXPECT_TRUE(WriteTransfer("5"));
    EXPECT_EQ(9, ReadTransfer(5000));

    // A byte sent by "answer" reaches the next read, even across 17, 19, 13.
    for (int byte : {0, 13, 17, 19, 255}) {
        EXPECT_EQ("ok", Control("answer " + std::to_string(byte)));
        EXPECT_EQ(byte, ReadTransfer(5000));
    }

    EXPECT_EQ("ok", Control("mute on"));
    EXPECT_TRUE(WriteTransfer("5"));
    EXPECT_EQ(-1, ReadTransfer());
    EXPECT_EQ("ok", Control("mute off"));

    EXPECT_EQ("ok", Control("delay 400"));
    EXPECT_TRUE(WriteTransfer("5"));
    auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(9, ReadTransfer(5000));
    EXPECT_GE(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(350));

    // Reset: start readings, no delay, and no stale answer left for the next read.
    EXPECT_EQ("ok", Control("answer 99"));
    EXPECT_EQ("ok", Control("reset"));
    EXPECT_EQ(-1, ReadTransfer());
    EXPECT_TRUE(WriteTransfer("5"));
    EXPECT_EQ(42, ReadTransfer(200));

    const char *refused[] = {"readings 1", "readings 1 256", "answer -1", "answer 1x", "delay 60001",
                             "mute maybe", "sync now", "launch"};
    for (const char *command : refused)
        EXPECT_EQ(0u, Control(command).rfind("error ", 0)) << command;
    EXPECT_EQ("ok", Control("sync"));
}

TEST_F(DevsimTest, DetachAttachAndResetMoveTheLink)
{
    Start({"--quiet"});
    struct stat status;
    EXPECT_EQ("ok", Control("detach"));
    EXPECT_NE(0, lstat(link.c_str(), &status));
    EXPECT_EQ("ok", Control("attach /dev/null"));
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ("/dev/null", target);
    EXPECT_EQ("ok", Control("reset"));
    EXPECT_TRUE(WriteTransfer("77771"));
    std::vector<Transfer> transfers = Transfers();
    ASSERT_EQ(1u, transfers.size());
    EXPECT_EQ("save", transfers[0].meaning);
    EXPECT_EQ(0, Stop());
}

} // namespace
