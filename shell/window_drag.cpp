// Dragging: the window follows the cursor with the offset it had at the press.
// Positions come from GetCursorPos, in screen coordinates, never from the message.
#include "window_drag.h"

#include "panel_state.h"

void BeginDrag(HWND window)
{
    if (!GetCursorPos(&PanelState.DragState.DragStartCursor))
        return;
    RECT rect = {};
    GetWindowRect(window, &rect);
    PanelState.DragState.DragStartWindowPos.x = rect.left;
    PanelState.DragState.DragStartWindowPos.y = rect.top;
    // The press itself starts the drag: taking the capture sends us no notice,
    // since only the window that loses it hears of the change. Should we hold
    // it already, the notice names us as the new owner and leaves the flag on.
    PanelState.DragState.Dragging = true;
    SetCapture(window);
}

void DragWindow(HWND window)
{
    if (!PanelState.DragState.Dragging)
        return;
    POINT cursor;
    if (!GetCursorPos(&cursor))
        return;
    int left = cursor.x - PanelState.DragState.DragStartCursor.x + PanelState.DragState.DragStartWindowPos.x;
    int top = cursor.y - PanelState.DragState.DragStartCursor.y + PanelState.DragState.DragStartWindowPos.y;
    SetWindowPos(window, NULL, left, top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void EndDrag()
{
    // The capture change that follows clears the flag.
    ReleaseCapture();
}

void OnCaptureChanged(HWND window, HWND newOwner)
{
    PanelState.DragState.Dragging = newOwner == window;
}
