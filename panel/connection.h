// The connection switch and the three maintenance buttons that live while it is on.
// Each takes the main window, which owns the questions and notices.
#pragma once

#include <windows.h>

void OnSwitchButton(HWND window);
void OnEraseButton(HWND window);
void OnSaveButton(HWND window);
void OnResetButton(HWND window);
