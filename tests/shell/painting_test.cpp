// What the main window paints and what the About box paints and how it closes.
#include "shell/panel_harness.h"
#include "support/top_down_bitmap.h"

#include "about_box.h"
#include "panel_layout.h"
#include "panel_state.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

// A 32-bit top-down bitmap to paint into and read back pixel by pixel.
struct Canvas {
    HDC dc = NULL;
    HBITMAP bitmap = NULL;
    HGDIOBJ old = NULL;
    DWORD *pixels = nullptr;
    int width = 0, height = 0;

    Canvas(int w, int h, COLORREF fill) : width(w), height(h)
    {
        BITMAPINFO info = TopDownBitmapInfo(w, h);
        dc = CreateCompatibleDC(NULL);
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, (void **)&pixels, NULL, 0);
        old = SelectObject(dc, bitmap);
        HBRUSH brush = CreateSolidBrush(fill);
        RECT all = {0, 0, w, h};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        GdiFlush();
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    COLORREF At(int x, int y) const
    {
        DWORD p = pixels[y * width + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
};

// Wine reports no GDI object count, but it reuses the slot of the object
// freed last: an object left alive shifts the slot the next one gets.
static WORD NextGdiSlot()
{
    HBRUSH probe = CreateSolidBrush(RGB(1, 2, 3));
    DeleteObject(probe);
    return LOWORD((ULONG_PTR)probe);
}

struct Label {
    const char *text;
    int x, y;
    COLORREF colour;
};

// Every label shows in its colour inside its own cell, nothing of that colour
// lies outside the cells, and the background shows between the letters
// (an opaque label would fill its cell with the context's white).
static void ExpectLabels(const Canvas &canvas, const std::vector<Label> &labels, COLORREF fill)
{
    std::vector<RECT> cells;
    // The texts as they should read, whole, drawn the same way: a wrong
    // character or a count that cuts a text short changes its cell.
    Canvas reference(canvas.width, canvas.height, fill);
    SetBkMode(reference.dc, TRANSPARENT);
    for (const Label &label : labels) {
        SIZE size;
        GetTextExtentPoint32A(canvas.dc, label.text, int(strlen(label.text)), &size);
        cells.push_back({label.x, label.y, label.x + size.cx, label.y + size.cy});
        SetTextColor(reference.dc, label.colour);
        TextOutA(reference.dc, label.x, label.y, label.text, int(strlen(label.text)));
    }
    GdiFlush();
    for (size_t i = 0; i < labels.size(); i++) {
        SCOPED_TRACE(labels[i].text);
        int inColour = 0, background = 0, white = 0, different = 0, all = 0;
        for (int y = cells[i].top; y < cells[i].bottom; y++) {
            for (int x = cells[i].left; x < cells[i].right && x < canvas.width; x++) {
                COLORREF c = canvas.At(x, y);
                inColour += c == labels[i].colour;
                background += c == fill;
                white += c == RGB(255, 255, 255);
                different += c != reference.At(x, y);
                all++;
            }
        }
        EXPECT_GT(inColour, 0);
        EXPECT_GT(background, all / 3);
        EXPECT_EQ(0, white) << "the label filled its background";
        EXPECT_EQ(0, different) << "the label shows other letters than its text";
    }
    int stray = 0;
    for (int y = 0; y < canvas.height; y++) {
        for (int x = 0; x < canvas.width; x++) {
            COLORREF c = canvas.At(x, y);
            bool labelColour = false, inCell = false;
            for (size_t i = 0; i < labels.size(); i++) {
                if (c != labels[i].colour)
                    continue;
                labelColour = true;
                POINT p = {x, y};
                inCell = inCell || PtInRect(&cells[i], p);
            }
            if (labelColour && !inCell)
                stray++;
        }
    }
    EXPECT_EQ(0, stray) << "label pixels outside the labels' places";
}

TEST(PaintPanel, DrawsTheFramedRectangleAndTheLabels)
{
    const COLORREF fill = RGB(0, 0, 255);
    Canvas canvas(350, 350, fill);
    WORD slot = NextGdiSlot();
    PaintPanel(canvas.dc);
    GdiFlush();
    EXPECT_EQ(slot, NextGdiSlot()) << "the paint left a pen or brush behind";

    const COLORREF outline = RGB(103, 103, 103), inside = RGB(240, 240, 240);
    EXPECT_EQ(inside, canvas.At(115, 255));
    EXPECT_EQ(inside, canvas.At(51, 225));
    EXPECT_EQ(inside, canvas.At(179, 284));
    // The outline is two pixels thick on each side, and nothing spills beyond it.
    int top = 0, left = 0, right = 0, bottom = 0;
    for (int y = 210; y < 235; y++)
        top += canvas.At(115, y) == outline;
    for (int y = 275; y < 300; y++)
        bottom += canvas.At(115, y) == outline;
    for (int x = 40; x < 60; x++)
        left += canvas.At(x, 255) == outline;
    for (int x = 170; x < 195; x++)
        right += canvas.At(x, 255) == outline;
    EXPECT_EQ(2, top);
    EXPECT_EQ(2, bottom);
    EXPECT_EQ(2, left);
    EXPECT_EQ(2, right);
    EXPECT_EQ(fill, canvas.At(115, 219));
    EXPECT_EQ(fill, canvas.At(45, 255));
    EXPECT_EQ(fill, canvas.At(184, 255));
    EXPECT_EQ(fill, canvas.At(115, 289));

    ExpectLabels(canvas, {
        {"Counter :", 46, 69, RGB(70, 70, 70)},
        {"Auto Counter :", 166, 69, RGB(70, 70, 70)},
        {".", 285, 73, RGB(70, 70, 70)},
        {"Enter a number (4-digit limit) :", 46, 109, RGB(125, 6, 150)},
        {"Enter two numbers (4-digit limit) :", 46, 179, RGB(125, 6, 150)},
    }, fill);
}

// The layout is made for the platform's System font; a prefix without Wine's
// own fonts falls back to a wider host font and the colons slip under the displays.
TEST(PaintPanel, LabelsTakeTheSystemFontAndEndBeforeTheirDisplays)
{
    Canvas canvas(350, 350, RGB(0, 0, 255));
    char face[LF_FACESIZE] = {};
    GetTextFaceA(canvas.dc, sizeof face, face);
    TEXTMETRICA metrics = {};
    ASSERT_TRUE(GetTextMetricsA(canvas.dc, &metrics));
    EXPECT_STREQ("System", face);
    EXPECT_EQ(16, metrics.tmHeight);
    EXPECT_EQ(7, metrics.tmAveCharWidth);
    EXPECT_EQ(15, metrics.tmMaxCharWidth);

    HWND window = OpenPanel();
    struct { const char *text; int x; HWND display; } labels[] = {
        {"Counter :", 46, PanelState.CounterDisplay},
        {"Auto Counter :", 166, PanelState.AutoCounterWholeDisplay},
    };
    for (const auto &label : labels) {
        SCOPED_TRACE(label.text);
        SIZE size = {};
        GetTextExtentPoint32A(canvas.dc, label.text, int(strlen(label.text)), &size);
        RECT display = {};
        GetWindowRect(label.display, &display);
        MapWindowPoints(HWND_DESKTOP, window, (POINT *)&display, 2);
        EXPECT_LE(label.x + size.cx, display.left);
    }
    ClosePanel(window);
}

TEST(DrawAboutBox, DrawsTheThreeTextsAndTheLogo)
{
    ASSERT_EQ(50u, strlen(RightsNotice));
    // The version line says the project's version, as major.minor.
    const std::string version =
        "-Version: " + std::to_string(PROJECT_VERSION_MAJOR) + "." + std::to_string(PROJECT_VERSION_MINOR);
    PanelState = {};
    const COLORREF fill = RGB(0, 255, 0);
    Canvas canvas(400, 220, fill);
    DrawAboutBox(canvas.dc);
    GdiFlush();
    ExpectLabels(canvas, {
        {"Kivo Tally Station DELUXE", 100, 85, RGB(255, 144, 0)},
        {RightsNotice, 10, 135, RGB(7, 128, 242)},
        {version.c_str(), 10, 155, RGB(196, 9, 9)},
    }, fill);

    if (!HasResource(IDB_ABOUT_LOGO, RT_BITMAP))
        GTEST_SKIP() << "the About logo is not in the resources yet";
    HBITMAP logo = PanelState.AboutPictureBitmap;
    ASSERT_NE(nullptr, logo);
    Canvas expected(80, 80, RGB(0, 0, 0));
    HDC source = CreateCompatibleDC(NULL);
    HGDIOBJ old = SelectObject(source, logo);
    BitBlt(expected.dc, 0, 0, 80, 80, source, 0, 0, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
    GdiFlush();
    int different = 0;
    for (int y = 0; y < 80; y++)
        for (int x = 0; x < 80; x++)
            different += canvas.At(150 + x, 3 + y) != expected.At(x, y);
    EXPECT_EQ(0, different);
    EXPECT_EQ(fill, canvas.At(149, 3));
    EXPECT_EQ(fill, canvas.At(230, 40));
    EXPECT_EQ(fill, canvas.At(190, 83));

    // Later paints reuse the one logo instead of loading another each time,
    // and leave no memory context behind.
    WORD slot = NextGdiSlot();
    for (int i = 0; i < 20; i++)
        DrawAboutBox(canvas.dc);
    EXPECT_EQ(logo, PanelState.AboutPictureBitmap);
    EXPECT_EQ(slot, NextGdiSlot());
    BITMAP info;
    EXPECT_NE(0, GetObjectA(logo, sizeof info, &info));
    PanelState = {};
}

// The About box as the user meets it: opened by AboutButton, deaf to
// everything but a whole wParam of 1.
static HWND AboutBox;
static HWND AboutOwner;
static int AboutTicks;
static bool OwnerDisabledWhileOpen;
static bool OpenAfterIgnoredCommands;
static bool ForcedShut;

static void CALLBACK ScriptAboutBox(HWND, UINT, UINT_PTR timer, DWORD)
{
    AboutTicks++;
    if (AboutTicks == 1) {
        OwnerDisabledWhileOpen = !IsWindowEnabled(AboutOwner);
        SendMessageA(AboutBox, WM_COMMAND, IDCANCEL, 0);
        SendMessageA(AboutBox, WM_COMMAND, 0x00010001, 0);  // identifier 1, notification 1
        SendMessageA(AboutBox, WM_COMMAND, 0, 0);
        // Esc through the dialog manager's own keyboard handling.
        PostMessageA(GetDlgItem(AboutBox, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
    } else if (AboutTicks == 3) {
        OpenAfterIgnoredCommands = IsWindow(AboutBox) && IsWindowVisible(AboutBox);
        PostMessageA(GetDlgItem(AboutBox, IDOK), BM_CLICK, 0, 0);
    } else if (AboutTicks == 40) {
        ForcedShut = true;
        EndDialog(AboutBox, 0);
        KillTimer(NULL, timer);
    }
}

class AboutBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HasResource(IDD_ABOUT, RT_DIALOG))
            GTEST_SKIP() << "the About template is not in the resources yet";
        WatchThread();
        window = OpenPanel();
        ASSERT_NE(window, nullptr);
        ShowWindow(window, SW_SHOWNOACTIVATE);
        AboutBox = NULL;
        AboutOwner = window;
        AboutTicks = 0;
        OwnerDisabledWhileOpen = OpenAfterIgnoredCommands = ForcedShut = false;
    }
    void TearDown() override
    {
        if (window != NULL)
            ClosePanel(window);
        StopWatching();
    }
    HWND window = NULL;
};

TEST_F(AboutBoxTest, OnlyCommandOneClosesIt)
{
    UINT_PTR timer = 0;
    HandleDialogsWith([&timer](HWND box) {
        AboutBox = box;
        timer = SetTimer(NULL, 0, 50, ScriptAboutBox);
    });
    Press(window, PanelState.AboutButton);
    KillTimer(NULL, timer);

    ASSERT_NE(nullptr, AboutBox);
    ASSERT_EQ(1u, SeenBoxes().size());
    EXPECT_EQ("About Kivo", SeenBoxes()[0].caption);
    EXPECT_EQ(window, SeenBoxes()[0].owner);
    EXPECT_TRUE(OwnerDisabledWhileOpen);
    EXPECT_TRUE(OpenAfterIgnoredCommands) << "Esc, 2, 0 or 0x00010001 closed the box";
    EXPECT_FALSE(ForcedShut) << "OK did not close the box";
    EXPECT_FALSE(IsWindow(AboutBox));
    EXPECT_TRUE(IsWindowEnabled(window));
    EXPECT_FALSE(TakeQuitMessage());
}
