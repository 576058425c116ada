// The main window procedure and the routing of the panel's notifications.
#include "main_window.h"

#include "about_box.h"
#include "connection.h"
#include "number_sending.h"
#include "panel_layout.h"
#include "panel_state.h"
#include "window_drag.h"

// Every button and edit shares identifier 0, so the sender's handle is the
// only thing that tells them apart. Every check runs, in this order, so that
// a No to a maintenance question still reaches the later ones.
static void OnPanelCommand(HWND window, int id, HWND sender)
{
    if (id != 0) {
        SelectOperation(id);
        return;
    }
    // Only a control sends with identifier 0; a null sender would otherwise
    // match a maintenance button not yet made and ask its question while off.
    if (sender == NULL)
        return;
    if (sender == PanelState.CloseButton)      PostQuitMessage(0);
    if (sender == PanelState.MinimizeButton)   ShowWindow(window, SW_MINIMIZE);
    if (sender == PanelState.AboutButton)      OpenAboutBox(window);
    if (sender == PanelState.EraseButton)      OnEraseButton(window);
    if (sender == PanelState.SaveButton)       OnSaveButton(window);
    if (sender == PanelState.ResetButton)      OnResetButton(window);
    if (sender == PanelState.SendNumberButton) SendNumber();
    if (sender == PanelState.SendResultButton) SendResult();
    if (sender == PanelState.SwitchButton)     OnSwitchButton(window);
}

static void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    PaintPanel(dc);
    EndPaint(window, &paint);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:  CreatePanelControls(window); break;
    case WM_DESTROY: PostQuitMessage(0); break;
    case WM_PAINT:   OnPaint(window); break;
    // DefWindowProcA then finds the window gone and does nothing more.
    case WM_CLOSE:   DestroyWindow(window); break;
    case WM_COMMAND: OnPanelCommand(window, LOWORD(wParam), (HWND)lParam); break;
    case WM_CTLCOLOREDIT:
        // The brush we return is the answer; passing the message on would replace it.
        return (LRESULT)ColourPanelEdit((HDC)wParam);
    case WM_MOUSEMOVE: DragWindow(window); break;
    // The three below keep the press, release and capture to ourselves.
    case WM_LBUTTONDOWN:
        BeginDrag(window);
        return 0;
    case WM_LBUTTONUP:
        EndDrag();
        return 0;
    case WM_CAPTURECHANGED:
        OnCaptureChanged(window, (HWND)lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
