// Stands in for the taskbar, which the virtual display lacks: restores the
// minimised panel the way a press on its taskbar button does, with the
// restore command that the window's default processing carries out.
#include <windows.h>

#include <cstdio>

int main()
{
    HWND panel = FindWindowA("X", "Kivo");
    if (!panel) {
        fprintf(stderr, "no panel window\n");
        return 1;
    }
    if (!PostMessageA(panel, WM_SYSCOMMAND, SC_RESTORE, 0)) {
        fprintf(stderr, "could not post the restore command\n");
        return 1;
    }
    puts("restored");
    return 0;
}
