// The About box. Its template holds only the frame and the OK button; the
// texts and the logo are painted here on every paint.
#include "about_box.h"

#include "painted_text.h"
#include "panel_state.h"
#include "resource.h"

const char RightsNotice[] = "(C) 2026 by Kivo Instruments. All rights reserved.";
static_assert(sizeof RightsNotice - 1 == 50, "the notice fills exactly 50 characters");
// The build gives the project's version as major.minor, so the box says what
// the version block says.
static const char VersionLine[] = "-Version: " SHORT_VERSION;

static const int LogoSize = 80;

void OpenAboutBox(HWND window)
{
    // The box always closes with 0; there is nothing to learn from it.
    DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_ABOUT), window, AboutDialogProc, 0);
}

template <size_t N>
static void DrawAboutText(HDC dc, COLORREF colour, int x, int y, const char (&text)[N])
{
    SetTextColor(dc, colour);
    DrawLabel(dc, x, y, text);
}

void DrawAboutBox(HDC dc)
{
    HDC memory = CreateCompatibleDC(dc);
    // No font is chosen: the texts use the context's own system font.
    SetBkMode(dc, TRANSPARENT);
    DrawAboutText(dc, RGB(255, 144, 0), 100, 85, "Kivo Tally Station DELUXE");
    DrawAboutText(dc, RGB(7, 128, 242), 10, 135, RightsNotice);
    DrawAboutText(dc, RGB(196, 9, 9), 10, 155, VersionLine);
    // Loaded at the first paint and kept, so repeated paints cost no GDI objects.
    if (PanelState.AboutPictureBitmap == NULL)
        PanelState.AboutPictureBitmap = LoadBitmapA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDB_ABOUT_LOGO));
    // Without the logo its square keeps the box's face rather than a stray pattern.
    if (PanelState.AboutPictureBitmap != NULL) {
        HGDIOBJ oldBitmap = SelectObject(memory, PanelState.AboutPictureBitmap);
        BitBlt(dc, 150, 3, LogoSize, LogoSize, memory, 0, 0, SRCCOPY);
        // The kept logo must come out of the context before the context goes.
        SelectObject(memory, oldBitmap);
    }
    DeleteDC(memory);
}

static void PaintAboutBox(HWND box)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(box, &paint);
    DrawAboutBox(dc);
    EndPaint(box, &paint);
}

INT_PTR CALLBACK AboutDialogProc(HWND box, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        // Lets the dialog manager give the focus to OK.
        return 1;
    case WM_PAINT:
        PaintAboutBox(box);
        return 0;
    case WM_COMMAND:
        // Only OK's own click, identifier 1 with notification 0, closes the box;
        // Esc's cancel command (2) is ignored on purpose.
        if (DWORD(wParam) == 1) {
            EndDialog(box, 0);
            return 1;
        }
        return 0;
    }
    return 0;
}
