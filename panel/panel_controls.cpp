// Child controls and their pictures.
#include "panel_controls.h"

HWND CreatePanelControl(HWND window, const char *className, const char *text, DWORD style,
                        int x, int y, int width, int height, int id)
{
    // A control that cannot be made stays a null handle, which no notification matches.
    return CreateWindowExA(WS_EX_WINDOWEDGE, className, text, style, x, y, width, height,
                           window, (HMENU)(INT_PTR)id, GetModuleHandleA(NULL), NULL);
}

void SetButtonPicture(HWND button, HBITMAP *picture, int pictureId)
{
    // A button does not own its picture, so one loaded copy serves every
    // button that shows it for the whole run; nothing is ever released.
    if (*picture == NULL)
        *picture = LoadBitmapA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(pictureId));
    SendMessageA(button, BM_SETIMAGE, IMAGE_BITMAP, (LPARAM)*picture);
}

void CreateControls(HWND window, const ControlRow *rows, size_t count)
{
    // Each control gets its picture before the next one is made.
    for (size_t i = 0; i < count; i++) {
        const ControlRow &row = rows[i];
        *row.control = CreatePanelControl(window, row.className, row.text, row.style,
                                          row.x, row.y, row.width, row.height, row.id);
        if (row.picture != NULL)
            SetButtonPicture(*row.control, row.picture, row.pictureId);
    }
}
