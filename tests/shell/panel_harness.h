// Test harness for the panel: a real main window from the program's own
// class, and a thread CBT hook that watches window creation and destruction
// and answers every modal box deterministically.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// What a box showed, and the MessageBoxA flags read back from its buttons,
// icon and default button.
struct SeenBox {
    HWND box;
    HWND owner;
    std::string caption;
    std::string text;
    UINT flags;
};

// A window created on this thread, with the arguments it was created with.
// The class name is upper case and without the version prefix that the
// common-controls manifest puts in front of "Edit" and "Button".
struct CreatedWindow {
    HWND window;
    HWND parent;
    std::string className;
    std::string text;
    DWORD style;
    DWORD exStyle;
    int x, y, width, height;
    INT_PTR id;
    HINSTANCE instance;
};

// Installs the hook on this thread and forgets what it saw before.
void WatchThread();
void StopWatching();

// Answers for the next boxes, in order. A box with no queued answer gets
// OK when it has one, otherwise its second button (No or Cancel).
void QueueAnswers(std::vector<int> answers);

// Dialogs that are not message boxes (the About box) go here instead of
// being answered; the handler runs when the dialog is activated.
void HandleDialogsWith(std::function<void(HWND)> handler);

// While set, the hook refuses the creation of every top-level window of class "X".
void RefuseMainWindow(bool refuse);

const std::vector<SeenBox> &SeenBoxes();
const std::vector<CreatedWindow> &CreatedWindows();
const std::vector<HWND> &DestroyedWindows();
// The windows created as children of parent, in creation order.
std::vector<CreatedWindow> ChildrenCreated(HWND parent);
void ForgetSeen();

// Registers the class if needed, creates the main window (hidden) and resets
// the panel record first, so every test starts from a fresh program.
HWND OpenPanel();
// Destroys the window, swallows the quit message its destruction posts,
// unregisters the class and clears the panel record.
void ClosePanel(HWND window);

// A press of a control as the control reports it: WM_COMMAND, identifier 0.
LRESULT Press(HWND window, HWND control);

// True, with the code, when a quit message waits in this thread's queue; removes it.
bool TakeQuitMessage(int *code = nullptr);

std::string WindowText(HWND window);

// Whether the program carries a resource; the pictures and the About template
// come from the resource set and tests that need them skip without it.
bool HasResource(int id, LPCSTR type);
