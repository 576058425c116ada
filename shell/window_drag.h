// Moving the borderless window by dragging its background.
#pragma once

#include <windows.h>

void BeginDrag(HWND window);                       // left button pressed
void DragWindow(HWND window);                      // mouse moved
void EndDrag();                                    // left button released
void OnCaptureChanged(HWND window, HWND newOwner); // capture passed on
