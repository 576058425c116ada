// Making the panel's child controls and giving buttons their pictures, shared
// by the window's creation and by the maintenance buttons of the connection.
#pragma once

#include <windows.h>

#include <cstddef>

// The buttons that show a picture instead of a text, in both control tables.
const DWORD PictureButtonStyle = WS_CHILD | WS_VISIBLE | BS_BITMAP;

// One control of a table: where its handle goes, how it is made and, for a
// picture button, its picture.
struct ControlRow {
    HWND *control;
    const char *className;
    const char *text;
    DWORD style;
    int x, y, width, height;
    int id;
    HBITMAP *picture;
    int pictureId;
};

// One control of the panel, a child of the main window with WS_EX_WINDOWEDGE.
HWND CreatePanelControl(HWND window, const char *className, const char *text, DWORD style,
                        int x, int y, int width, int height, int id);

// Loads bitmap pictureId into *picture unless it is already there, and shows it on button.
void SetButtonPicture(HWND button, HBITMAP *picture, int pictureId);

// Makes each row's control into the row's handle, in the rows' order.
void CreateControls(HWND window, const ControlRow *rows, size_t count);

// The count is the table's own, so it cannot drift from the rows.
template <size_t N>
void CreateControls(HWND window, const ControlRow (&rows)[N])
{
    CreateControls(window, rows, N);
}
