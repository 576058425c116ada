// Driving the real program from another Wine process: launching it, finding
// its controls by where the panel puts them, pressing buttons, answering its
// message boxes, and measuring what it holds. Shared by the stability run
// and the benchmarks.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

struct RemotePanel {
    PROCESS_INFORMATION Process;
    HWND Window;
};

// Under Wine, marks the windows of programs named exeName as not managed by
// a window manager. On a display with no window manager Wine otherwise waits
// 2 s for one at every closing of a message box, which would make hundreds of
// cycles take hours. A process marks itself before its first window.
bool MarkUnmanaged(const char *exeName);

// Copies the program under copyName to the temporary folder, marked as not
// managed; the program's bytes are unchanged. Returns the copy's path.
bool PrepareUnmanagedCopy(const char *exePath, const char *copyName, std::string &copyPath);

// Starts the program and waits until it has painted and sits idle in its
// message loop. False if it did not start or showed no panel.
bool LaunchPanel(const char *exePath, RemotePanel &panel);

// Closes the program as its close button would and waits for it to end.
// Returns its exit code, or -1 if it did not end.
int ClosePanel(RemotePanel &panel);

// The child window whose top-left corner stands at (x, y) of the panel, or NULL.
HWND PanelChildAt(const RemotePanel &panel, int x, int y);

// A press as the button would report it; posted, because the handler may
// run a modal box and we must be free to answer it.
void PressButton(HWND button);

// Waits for the program's message box and returns it with its text, or NULL.
HWND WaitForBox(const RemotePanel &panel, DWORD timeoutMs, std::string *text);

// Clicks a button of a box and waits until the box is gone.
bool AnswerBox(HWND box, int buttonId);

// Returns once the program's thread has come back to a message loop.
bool SyncPanel(const RemotePanel &panel, DWORD timeoutMs);

std::string WindowText(HWND window);

// What the program holds at a moment. GDI objects are counted in the
// process's GDI handle table (Wine has no GetGuiResources); windows are
// counted by enumeration; memory is the committed private bytes.
struct PanelResources {
    int GdiObjects;
    int Bitmaps;
    // Every GDI object by its kind, the type byte of the handle table.
    int ObjectsOfType[256];
    int Windows;
    size_t PrivateBytes;
};

bool MeasurePanel(const RemotePanel &panel, PanelResources &resources);

// A process's committed private memory, 0 if it cannot be read.
size_t PrivateBytesOf(HANDLE process);

// Milliseconds from a monotonic clock.
double NowMilliseconds();
