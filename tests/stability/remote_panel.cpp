// Driving and measuring the real program from another process.
#include "remote_panel.h"

#include <psapi.h>
#include <winternl.h>

#include <vector>

// Where the PEB keeps the GDI handle table on x64, and the entry layout
// Windows and Wine share.
static const size_t GdiTableOffset = 0xF8;
static const int GdiTableEntries = 0x10000;
static const unsigned char GdiBitmapType = 9;

struct GdiEntry {
    unsigned long long Object;
    unsigned int Owner;
    unsigned short Unique;
    unsigned char Type;
    unsigned char Flags;
    unsigned long long UserPointer;
};

// Each look is a round of Wine server calls: a look a millisecond kept the
// server busier than the program.
static const DWORD PollMs = 10;

double NowMilliseconds()
{
    static LARGE_INTEGER frequency = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

std::string WindowText(HWND window)
{
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

struct WindowSearch {
    DWORD ProcessId;
    const char *ClassName;
    HWND Found;
    int Count;
};

static bool OwnedBy(HWND window, DWORD processId)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return owner == processId;
}

static BOOL CALLBACK FindTopLevel(HWND window, LPARAM lParam)
{
    WindowSearch &search = *(WindowSearch *)lParam;
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (OwnedBy(window, search.ProcessId) && strcmp(className, search.ClassName) == 0 &&
        IsWindowVisible(window)) {
        search.Found = window;
        return FALSE;
    }
    return TRUE;
}

static HWND FindProgramWindow(DWORD processId, const char *className)
{
    WindowSearch search = {processId, className, NULL, 0};
    EnumWindows(FindTopLevel, (LPARAM)&search);
    return search.Found;
}

// CTest hands over Unix paths; Wine's drive Z: is the Unix root.
static std::string WindowsPath(const char *exePath)
{
    std::string path = exePath;
    if (!path.empty() && path[0] == '/') {
        path = "Z:" + path;
        for (char &c : path)
            if (c == '/')
                c = '\\';
    }
    return path;
}

static bool RunningUnderWine()
{
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != NULL;
}

bool MarkUnmanaged(const char *exeName)
{
    if (!RunningUnderWine())
        return true;
    std::string key = std::string("Software\\Wine\\AppDefaults\\") + exeName + "\\X11 Driver";
    HKEY handle = NULL;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, NULL, 0, KEY_SET_VALUE, NULL, &handle,
                        NULL) != ERROR_SUCCESS)
        return false;
    bool set = RegSetValueExA(handle, "Managed", 0, REG_SZ, (const BYTE *)"N", 2) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return set;
}

bool PrepareUnmanagedCopy(const char *exePath, const char *copyName, std::string &copyPath)
{
    char folder[MAX_PATH] = "";
    if (GetTempPathA(sizeof folder, folder) == 0)
        return false;
    copyPath = std::string(folder) + copyName;
    return CopyFileA(WindowsPath(exePath).c_str(), copyPath.c_str(), FALSE) && MarkUnmanaged(copyName);
}

bool LaunchPanel(const char *exePath, RemotePanel &panel)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    panel = {};
    std::string path = WindowsPath(exePath);
    std::string commandLine = "\"" + path + "\"";
    // Under Wine the first program to use the display starts Wine's desktop
    // process and waits for it, and that wait already counts as going idle:
    // WaitForInputIdle would then return before the panel has a window.
    // Starting the desktop here, in the process that measures, keeps the
    // panel's idle moment its own.
    GetDesktopWindow();
    if (!CreateProcessA(path.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                        &panel.Process))
        return false;
    // The first paint happens before the message loop starts, so idle means painted.
    if (WaitForInputIdle(panel.Process.hProcess, 30000) != 0)
        return false;
    panel.Window = FindProgramWindow(panel.Process.dwProcessId, "X");
    return panel.Window != NULL;
}

int ClosePanel(RemotePanel &panel)
{
    int code = -1;
    if (panel.Window != NULL)
        PostMessageA(panel.Window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(panel.Process.hProcess, 10000) == WAIT_OBJECT_0) {
        DWORD exitCode = 0;
        GetExitCodeProcess(panel.Process.hProcess, &exitCode);
        code = int(exitCode);
    } else {
        TerminateProcess(panel.Process.hProcess, 1);
        WaitForSingleObject(panel.Process.hProcess, 5000);
    }
    CloseHandle(panel.Process.hThread);
    CloseHandle(panel.Process.hProcess);
    panel = {};
    return code;
}

struct ChildSearch {
    HWND Parent;
    POINT Corner;
    HWND Found;
};

static BOOL CALLBACK FindChildAt(HWND child, LPARAM lParam)
{
    ChildSearch &search = *(ChildSearch *)lParam;
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, search.Parent, (POINT *)&rect, 2);
    if (GetParent(child) == search.Parent && rect.left == search.Corner.x &&
        rect.top == search.Corner.y) {
        search.Found = child;
        return FALSE;
    }
    return TRUE;
}

HWND PanelChildAt(const RemotePanel &panel, int x, int y)
{
    ChildSearch search = {panel.Window, {x, y}, NULL};
    EnumChildWindows(panel.Window, FindChildAt, (LPARAM)&search);
    return search.Found;
}

void PressButton(HWND button)
{
    PostMessageA(button, BM_CLICK, 0, 0);
}

static BOOL CALLBACK CollectStaticText(HWND child, LPARAM lParam)
{
    char className[64] = "";
    GetClassNameA(child, className, sizeof className);
    if (_stricmp(className, "Static") == 0)
        *(std::string *)lParam += WindowText(child);
    return TRUE;
}

HWND WaitForBox(const RemotePanel &panel, DWORD timeoutMs, std::string *text)
{
    double deadline = NowMilliseconds() + timeoutMs;
    for (;;) {
        HWND box = FindProgramWindow(panel.Process.dwProcessId, "#32770");
        if (box != NULL) {
            // Created but not yet running its loop; answering now could be lost.
            SendMessageTimeoutA(box, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, NULL);
            if (text != NULL) {
                text->clear();
                EnumChildWindows(box, CollectStaticText, (LPARAM)text);
            }
            return box;
        }
        if (NowMilliseconds() > deadline)
            return NULL;
        Sleep(PollMs);
    }
}

bool AnswerBox(HWND box, int buttonId)
{
    HWND button = GetDlgItem(box, buttonId);
    if (button == NULL)
        return false;
    // Posted: a sent click ends the dialog inside GetMessageA, and its loop then
    // sleeps on until some posted message happens to wake it.
    PostMessageA(button, BM_CLICK, 0, 0);
    double deadline = NowMilliseconds() + 10000;
    while (IsWindow(box)) {
        if (NowMilliseconds() > deadline)
            return false;
        Sleep(PollMs);
    }
    return true;
}

// What PrivateUsage counts on Windows: the process's committed private memory.
static size_t CommittedPrivateBytes(HANDLE process)
{
    size_t committed = 0;
    MEMORY_BASIC_INFORMATION region = {};
    for (char *address = NULL;
         VirtualQueryEx(process, address, &region, sizeof region) == sizeof region;
         address = (char *)region.BaseAddress + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            committed += region.RegionSize;
    }
    return committed;
}

bool SyncPanel(const RemotePanel &panel, DWORD timeoutMs)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(panel.Window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

static BOOL CALLBACK CountChild(HWND, LPARAM lParam)
{
    ++*(int *)lParam;
    return TRUE;
}

static BOOL CALLBACK CountTopLevel(HWND window, LPARAM lParam)
{
    WindowSearch &search = *(WindowSearch *)lParam;
    if (OwnedBy(window, search.ProcessId)) {
        search.Count++;
        EnumChildWindows(window, CountChild, (LPARAM)&search.Count);
    }
    return TRUE;
}

bool MeasurePanel(const RemotePanel &panel, PanelResources &resources)
{
    resources = {};
    HANDLE process = panel.Process.hProcess;

    PROCESS_BASIC_INFORMATION basic = {};
    ULONG length = 0;
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, &length) != 0)
        return false;
    void *table = NULL;
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, (char *)basic.PebBaseAddress + GdiTableOffset, &table,
                           sizeof table, &read) || table == NULL)
        return false;
    std::vector<GdiEntry> entries(GdiTableEntries);
    if (!ReadProcessMemory(process, table, entries.data(), entries.size() * sizeof(GdiEntry), &read))
        return false;
    for (const GdiEntry &entry : entries) {
        if (entry.Type == 0)
            continue;
        resources.GdiObjects++;
        resources.ObjectsOfType[entry.Type]++;
        if (entry.Type == GdiBitmapType)
            resources.Bitmaps++;
    }

    WindowSearch search = {panel.Process.dwProcessId, NULL, NULL, 0};
    EnumWindows(CountTopLevel, (LPARAM)&search);
    resources.Windows = search.Count;

    resources.PrivateBytes = PrivateBytesOf(process);
    return resources.PrivateBytes != 0;
}

size_t PrivateBytesOf(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    if (!GetProcessMemoryInfo(process, (PROCESS_MEMORY_COUNTERS *)&memory, sizeof memory))
        return 0;
    // Wine leaves PrivateUsage at zero, and its PagefileUsage is the Linux
    // process's resident anonymous memory: that includes the high-water mark
    // of Wine's own Unix-side allocations, which rises with how many X events
    // happened to queue up, not with anything the program keeps. The commit
    // charge Windows reports is summed from the process's regions instead.
    return memory.PrivateUsage != 0 ? memory.PrivateUsage : CommittedPrivateBytes(process);
}
