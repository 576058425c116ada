// The modal About box: the product's name, rights notice, version and logo.
#pragma once

#include <windows.h>

// Opens the box over the main window and returns when it is closed.
void OpenAboutBox(HWND window);

// The box's face: three texts and the logo, drawn on dc.
void DrawAboutBox(HDC dc);

INT_PTR CALLBACK AboutDialogProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);

// Exactly 50 characters, drawn under the product's name.
extern const char RightsNotice[];
