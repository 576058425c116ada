// Showing the panel's new state before a long transfer.
#include "panel_refresh.h"

// Under Wine with a window manager, painting alone is not enough: the driver
// finishes a window's surface and shape through messages of its own, which
// need a short while of message delivery after the paint.
static const DWORD SettleMilliseconds = 150;
// Non-input messages only: clicks and keys wait in the queue, as they would
// while the thread is busy.
static const UINT QuietMessages = QS_PAINT | QS_SENDMESSAGE | QS_POSTMESSAGE;
static const int MostKeptMessages = 64;

// Messages posted to the panel's windows (a command, a press of a button, a
// close request) or to the thread would run the panel's own code in the
// middle of its work: they are held back and posted again afterwards, in
// their order. Only painting goes ahead.
struct HeldMessages {
    MSG Messages[MostKeptMessages];
    int Count;
    bool QuitSeen;
    int QuitCode;
};

static bool IsOurs(HWND window, const MSG &message)
{
    return message.hwnd == NULL || message.hwnd == window || IsChild(window, message.hwnd);
}

static void Deliver(HWND window, const MSG &message, HeldMessages &held)
{
    if (message.message == WM_QUIT) {
        held.QuitSeen = true;
        held.QuitCode = int(message.wParam);
    } else if (message.message == WM_PAINT || !IsOurs(window, message)) {
        DispatchMessageA(&message);
    } else {
        held.Messages[held.Count++] = message;
    }
}

void PaintPanelNow(HWND window)
{
    RedrawWindow(window, NULL, NULL, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void WaitShowingPanel(HWND window, DWORD milliseconds)
{
    HeldMessages held = {};
    const DWORD start = GetTickCount();
    const DWORD settle = milliseconds < SettleMilliseconds ? milliseconds : SettleMilliseconds;
    for (;;) {
        MSG message;
        // After a quit request, or with no room left to hold a message, the
        // rest stays in the queue for the message loop.
        bool stop = false;
        while (!(stop = held.QuitSeen || held.Count == MostKeptMessages) &&
               PeekMessageA(&message, NULL, 0, 0, PM_REMOVE | (QuietMessages << 16)))
            Deliver(window, message, held);
        DWORD elapsed = GetTickCount() - start;
        if (stop || elapsed >= settle)
            break;
        MsgWaitForMultipleObjectsEx(0, NULL, settle - elapsed, QuietMessages, 0);
    }
    for (int i = 0; i < held.Count; i++)
        PostMessageA(held.Messages[i].hwnd, held.Messages[i].message, held.Messages[i].wParam,
                     held.Messages[i].lParam);
    if (held.QuitSeen)
        PostQuitMessage(held.QuitCode);
    // The rest of the wait is plain: the panel is shown by now.
    DWORD elapsed = GetTickCount() - start;
    if (elapsed < milliseconds)
        Sleep(milliseconds - elapsed);
}

void ShowPanelChanges(HWND window)
{
    PaintPanelNow(window);
    WaitShowingPanel(window, SettleMilliseconds);
}
