// Program start: the window class, the shaped main window and the message loop.
#include "program.h"

#include "main_window.h"
#include "resource.h"

static const char MainClassName[] = "X";
// Every skin pixel of exactly this colour is cut out of the window.
static const COLORREF ColourKey = RGB(255, 240, 0);
static const int PanelSize = 350;

ATOM RegisterMainWindowClass(HINSTANCE instance)
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    // No CS_DBLCLKS: a quick second press on the panel starts another drag.
    windowClass.style = CS_VREDRAW | CS_HREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    // Missing pictures leave their fields null; the class is registered anyway.
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    // The brush lives as long as the class, which is the whole run.
    windowClass.hbrBackground = CreatePatternBrush(LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_SKIN)));
    windowClass.lpszClassName = MainClassName;
    windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    return RegisterClassExA(&windowClass);
}

HWND CreateMainWindow(HINSTANCE instance)
{
    return CreateWindowExA(WS_EX_LAYERED, MainClassName, "Kivo", WS_POPUP,
                           CW_USEDEFAULT, CW_USEDEFAULT, PanelSize, PanelSize,
                           NULL, NULL, instance, NULL);
}

// Ends on the quit message with its code; an error from GetMessageA leaves
// no meaningful code, so that way out is 0 too.
static int RunMessageLoop()
{
    MSG message = {};
    BOOL got;
    while ((got = GetMessageA(&message, NULL, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return got == 0 ? int(message.wParam) : 0;
}

int RunProgram(HINSTANCE instance, int showCommand)
{
    if (RegisterMainWindowClass(instance) == 0) {
        MessageBoxA(NULL, "Window Registration Failed!", "Registration Failure", MB_OK | MB_ICONWARNING);
        return 0;
    }
    HWND window = CreateMainWindow(instance);
    // With no window nothing could ever post the quit message: stop here.
    if (window == NULL)
        return 0;
    // A layered window stays invisible until its attributes are set, so before showing.
    SetLayeredWindowAttributes(window, ColourKey, 0, LWA_COLORKEY);
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return RunMessageLoop();
}
