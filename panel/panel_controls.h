// Making the panel's child controls and giving buttons their pictures, shared
// by the window's creation and by the maintenance buttons of the connection.
#pragma once

#include <windows.h>

// One control of the panel, a child of the main window with WS_EX_WINDOWEDGE.
HWND CreatePanelControl(HWND window, const char *className, const char *text, DWORD style,
                        int x, int y, int width, int height, int id);

// Loads bitmap pictureId into *picture unless it is already there, and shows it on button.
void SetButtonPicture(HWND button, HBITMAP *picture, int pictureId);
