// The program from start to end: registration failure, the shown and
// colour-keyed window, and exit code 0 on each way of ending.
#include "shell/panel_harness.h"

#include "panel_state.h"
#include "program.h"

#include <gtest/gtest.h>

#include <string>

static HWND FindPanelOfThisThread()
{
    HWND found = NULL;
    EnumThreadWindows(GetCurrentThreadId(), [](HWND window, LPARAM out) -> BOOL {
        char name[8] = "";
        GetClassNameA(window, name, sizeof name);
        if (std::string(name) != "X")
            return TRUE;
        *(HWND *)out = window;
        return FALSE;
    }, (LPARAM)&found);
    return found;
}

// What the timer saw of the running program before ending it.
static HWND RunningWindow;
static COLORREF SeenKey;
static BYTE SeenAlpha;
static DWORD SeenFlags;
static bool SeenVisible;
static void (*EndAction)(HWND);

static void CALLBACK EndRunningProgram(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    RunningWindow = FindPanelOfThisThread();
    if (RunningWindow == NULL)
        return;  // the test fails on RunningWindow; the safety timer ends the loop
    GetLayeredWindowAttributes(RunningWindow, &SeenKey, &SeenAlpha, &SeenFlags);
    SeenVisible = IsWindowVisible(RunningWindow) != FALSE;
    EndAction(RunningWindow);
}

static void CALLBACK SafetyStop(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    PostQuitMessage(99);
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PanelState = {};
        RunningWindow = NULL;
        SeenKey = 0;
        SeenFlags = 0;
        SeenVisible = false;
        WatchThread();
    }
    void TearDown() override
    {
        if (IsWindow(RunningWindow))
            DestroyWindow(RunningWindow);
        ClosePanel(NULL);
        StopWatching();
    }

    int RunUntil(void (*action)(HWND))
    {
        EndAction = action;
        SetTimer(NULL, 0, 100, EndRunningProgram);
        UINT_PTR safety = SetTimer(NULL, 0, 10000, SafetyStop);
        int code = RunProgram(GetModuleHandleA(NULL), SW_SHOWNOACTIVATE);
        KillTimer(NULL, safety);
        return code;
    }
};

TEST_F(ProgramTest, EveryWayOfEndingExitsWithZero)
{
    struct Way {
        const char *name;
        void (*action)(HWND);
    };
    const Way ways[] = {
        {"WM_CLOSE", [](HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); }},
        {"CloseButton", [](HWND window) { SendMessageA(PanelState.CloseButton, BM_CLICK, 0, 0); (void)window; }},
        {"window destroyed", [](HWND window) { DestroyWindow(window); }},
    };
    for (const Way &way : ways) {
        SCOPED_TRACE(way.name);
        EXPECT_EQ(0, RunUntil(way.action));
        ASSERT_NE(nullptr, RunningWindow);
        // The shape comes from the colour key alone, set before the window showed.
        EXPECT_TRUE(SeenVisible);
        EXPECT_EQ(RGB(255, 240, 0), SeenKey);
        EXPECT_EQ(DWORD(LWA_COLORKEY), SeenFlags);
        if (IsWindow(RunningWindow))
            DestroyWindow(RunningWindow);
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        }
        UnregisterClassA("X", GetModuleHandleA(NULL));
    }
    EXPECT_TRUE(SeenBoxes().empty());
}

TEST_F(ProgramTest, RegistrationFailureWarnsAndEndsWithoutAWindow)
{
    // A class "X" already there makes the program's own registration fail.
    WNDCLASSEXA squatter = {};
    squatter.cbSize = sizeof squatter;
    squatter.lpfnWndProc = DefWindowProcA;
    squatter.hInstance = GetModuleHandleA(NULL);
    squatter.lpszClassName = "X";
    ASSERT_NE(0, RegisterClassExA(&squatter));

    EXPECT_EQ(0, RunProgram(GetModuleHandleA(NULL), SW_SHOWNOACTIVATE));
    ASSERT_EQ(1u, SeenBoxes().size());
    EXPECT_EQ("Window Registration Failed!", SeenBoxes()[0].text);
    EXPECT_EQ("Registration Failure", SeenBoxes()[0].caption);
    EXPECT_EQ(UINT(MB_OK | MB_ICONWARNING), SeenBoxes()[0].flags);
    EXPECT_EQ(nullptr, SeenBoxes()[0].owner);
    for (const CreatedWindow &made : CreatedWindows())
        EXPECT_NE("X", made.className);
}

TEST_F(ProgramTest, MainWindowThatCannotBeMadeEndsTheProgramWithZero)
{
    RefuseMainWindow(true);
    // Without a window nothing would ever post the quit message; the safety
    // timer's 99 would show that the loop was entered anyway.
    UINT_PTR safety = SetTimer(NULL, 0, 3000, SafetyStop);
    EXPECT_EQ(0, RunProgram(GetModuleHandleA(NULL), SW_SHOWNOACTIVATE));
    KillTimer(NULL, safety);
    RefuseMainWindow(false);
    EXPECT_EQ(nullptr, FindPanelOfThisThread());
    EXPECT_TRUE(SeenBoxes().empty());
}

// The built program itself, started as a user would start it.
class KivoProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char path[MAX_PATH];
        GetModuleFileNameA(NULL, path, MAX_PATH);
        std::string program = path;
        // The test binary sits in tests/ under the build directory, the program in the build directory.
        program = program.substr(0, program.find_last_of("\\/"));
        program = program.substr(0, program.find_last_of("\\/")) + "\\Kivo.exe";
        if (GetFileAttributesA(program.c_str()) == INVALID_FILE_ATTRIBUTES)
            GTEST_SKIP() << "no built program at " << program;
        programPath = program;
    }
    void TearDown() override
    {
        if (process.hProcess != NULL) {
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(process.hProcess, 1);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }

    HWND Start(WORD showCommand)
    {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = showCommand;
        if (!CreateProcessA(programPath.c_str(), NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
            return NULL;
        WaitForInputIdle(process.hProcess, 10000);
        for (int tries = 0; tries < 200; tries++) {
            found = NULL;
            EnumWindows([](HWND window, LPARAM self) -> BOOL {
                KivoProcessTest *test = (KivoProcessTest *)self;
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                char name[8] = "";
                GetClassNameA(window, name, sizeof name);
                if (owner != test->process.dwProcessId || std::string(name) != "X")
                    return TRUE;
                test->found = window;
                return FALSE;
            }, (LPARAM)this);
            if (found != NULL && IsWindowVisible(found))
                return found;
            Sleep(50);
        }
        return NULL;
    }

    DWORD ExitCode()
    {
        if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0)
            return DWORD(-1);
        DWORD code = DWORD(-1);
        GetExitCodeProcess(process.hProcess, &code);
        return code;
    }

    std::string programPath;
    PROCESS_INFORMATION process = {};
    HWND found = NULL;
};

TEST_F(KivoProcessTest, StartsMinimisedWhenAskedAndCloseButtonEndsWithZero)
{
    HWND window = Start(SW_SHOWMINNOACTIVE);
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(IsIconic(window));
    ShowWindow(window, SW_RESTORE);
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(0, rect.left);
    EXPECT_EQ(0, rect.top);
    POINT closeButton = {312, 14};
    HWND button = ChildWindowFromPoint(window, closeButton);
    ASSERT_NE(window, button);
    PostMessageA(button, BM_CLICK, 0, 0);
    EXPECT_EQ(0u, ExitCode());
}
