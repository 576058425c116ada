// The program's start and its message loop.
#pragma once

#include <windows.h>

// Registers the main window class "X" with the skin as its background.
ATOM RegisterMainWindowClass(HINSTANCE instance);

// The hidden, layered 350 x 350 popup; its creation builds the panel.
HWND CreateMainWindow(HINSTANCE instance);

// Everything WinMain does: register, create, colour key, show, loop. Returns the exit code.
int RunProgram(HINSTANCE instance, int showCommand);
