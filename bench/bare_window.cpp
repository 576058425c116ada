// The start-up floors, built and launched exactly like the panel. Plain: the
// least a Win32 program can do to show an empty 350 x 350 window. With
// FIXED_WORK: what the panel's design makes any implementation do besides
// (the common-controls manifest, the skin brush, the colour-keyed layered
// window and sixteen controls), so the panel's own share can be told apart.
#include <windows.h>

#ifdef FIXED_WORK
#include "resource.h"
#endif

static LRESULT CALLBACK BareWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = BareWindowProc;
    windowClass.hInstance = instance;
#ifdef FIXED_WORK
    windowClass.hbrBackground = CreatePatternBrush(LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_SKIN)));
    const DWORD exStyle = WS_EX_LAYERED;
#else
    windowClass.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    const DWORD exStyle = 0;
#endif
    // The panel's class name, so the benchmark finds every window the same way.
    windowClass.lpszClassName = "X";
    if (RegisterClassA(&windowClass) == 0)
        return 1;
    HWND window = CreateWindowExA(exStyle, "X", "", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, 350, 350,
                                  NULL, NULL, instance, NULL);
    if (window == NULL)
        return 1;
#ifdef FIXED_WORK
    for (int i = 0; i < 16; i++) {
        // Six edits and ten buttons, as on the panel, none of them drawn on.
        const char *className = i < 6 ? "EDIT" : "BUTTON";
        CreateWindowExA(WS_EX_WINDOWEDGE, className, "", WS_CHILD | WS_VISIBLE | WS_BORDER,
                        20 + i * 18, 20 + i * 18, 50, 18, window, NULL, instance, NULL);
    }
    SetLayeredWindowAttributes(window, RGB(255, 240, 0), 0, LWA_COLORKEY);
#endif
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
