// Brings the panel on screen up to date before work that keeps the one
// thread busy, such as the switch-on exchange.
#pragma once

#include <windows.h>

// Paints what is pending on the main window and its controls and lets the
// window system finish showing it. Takes no user input and runs none of the
// panel's handlers; a quit request seen meanwhile is kept for the message loop.
void ShowPanelChanges(HWND window);
