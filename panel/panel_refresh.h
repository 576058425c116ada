// Brings the panel on screen up to date before work that keeps the one
// thread busy: the switch-on exchange and the switch-off command.
#pragma once

#include <windows.h>

// Paints what is pending on the main window and its controls, now.
void PaintPanelNow(HWND window);

// Waits the given time, letting the window system finish showing the panel
// at its start. Takes no user input and runs none of the panel's handlers;
// a quit request seen meanwhile is kept for the message loop.
void WaitShowingPanel(HWND window, DWORD milliseconds);

// Paints now and waits the short while the window system needs to finish.
void ShowPanelChanges(HWND window);
