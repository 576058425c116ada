// The skin's key-coloured pixels: they cut the window's outline, so their
// set is checked pixel by pixel against the shape the window must have.
#include "resource_reader.h"
#include "support/top_down_bitmap.h"
#include <gtest/gtest.h>
#include <vector>

static const int Size = 350;

// The window's opaque shape, hairline included: frame, side bars with curved
// ends, the tops of the title's K, the gem's point and one footer descender.
static bool InsideOutline(int x, int y)
{
    static const int barEndTop[] = {15, 14, 13, 12}, barEndBottom[] = {12, 13, 14, 15};
    static const int gemLeft[] = {159, 160, 162, 163, 165, 166, 168, 169, 171, 173};
    static const int gemRight[] = {193, 191, 190, 188, 187, 185, 183, 181, 179, 177};
    if (x >= 20 && x <= 329 && y >= 13 && y <= 322) return true;
    if (y >= 37 && y <= 302) {
        int left = y <= 40 ? barEndTop[y - 37] : y >= 299 ? barEndBottom[y - 299] : 11;
        int right = 337 - (left - 11);
        if ((x >= left && x < 20) || (x > 329 && x <= right)) return true;
    }
    if (y >= 8 && y <= 12 && ((x >= 40 && x <= 48) || (x >= 51 && x <= 59))) return true;
    if (y >= 323 && y <= 332 && x >= gemLeft[y - 323] && x <= gemRight[y - 323]) return true;
    return y == 323 && x >= 284 && x <= 292;
}

static bool OnHairline(int x, int y)
{
    return x >= 21 && x <= 328 && y >= 14 && y <= 321 && (x == 21 || x == 328 || y == 14 || y == 321);
}

struct Skin {
    std::vector<COLORREF> Pixel;   // row 0 at the top
    COLORREF At(int x, int y) const { return Pixel[y * Size + x]; }
};

static Skin ReadSkin()
{
    Skin skin;
    ResourceView dib = FindOwnResource(MAKEINTRESOURCEA(2), 102);
    if (!dib.Data)
        return skin;
    int stride = ((Size * 24 + 31) / 32) * 4;
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            const uint8_t *p = dib.Data + 40 + (Size - 1 - y) * stride + x * 3;
            skin.Pixel.push_back(RGB(p[2], p[1], p[0]));
        }
    return skin;
}

static const COLORREF Key = RGB(255, 240, 0);

// Key pixels reachable from the border through key pixels.
static std::vector<bool> OutsideRegion(const Skin &skin, bool diagonals)
{
    std::vector<bool> seen(Size * Size, false);
    std::vector<int> stack;
    for (int i = 0; i < Size; ++i)
        for (int p : {i, (Size - 1) * Size + i, i * Size, i * Size + Size - 1})
            if (skin.Pixel[p] == Key && !seen[p]) { seen[p] = true; stack.push_back(p); }
    while (!stack.empty()) {
        int p = stack.back();
        stack.pop_back();
        int x = p % Size, y = p / Size;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                if ((dx == 0 && dy == 0) || (!diagonals && dx != 0 && dy != 0)) continue;
                int nx = x + dx, ny = y + dy, q = ny * Size + nx;
                if (nx < 0 || ny < 0 || nx >= Size || ny >= Size || seen[q] || skin.Pixel[q] != Key) continue;
                seen[q] = true;
                stack.push_back(q);
            }
    }
    return seen;
}

TEST(ResourceSkin, KeyPixelsCutExactlyTheWindowsOutline)
{
    Skin skin = ReadSkin();
    ASSERT_EQ((size_t)Size * Size, skin.Pixel.size());
    int keys = 0;
    for (COLORREF c : skin.Pixel) keys += c == Key;
    EXPECT_EQ(22020, keys);

    std::vector<bool> outside = OutsideRegion(skin, false);
    int outsideCount = 0, mismatches = 0;
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            outsideCount += outside[y * Size + x];
            if (outside[y * Size + x] == InsideOutline(x, y) && ++mismatches <= 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << (outside[y * Size + x] ? "outside" : "inside");
        }
    EXPECT_EQ(21611, outsideCount);
    EXPECT_EQ(0, mismatches);
    // The frame's rim closes the hairline off even for diagonal steps.
    EXPECT_TRUE(outside == OutsideRegion(skin, true));
}

TEST(ResourceSkin, TheRestOfTheKeyIsABrokenHairlineInsideTheFrame)
{
    Skin skin = ReadSkin();
    ASSERT_EQ((size_t)Size * Size, skin.Pixel.size());
    std::vector<bool> outside = OutsideRegion(skin, false);
    int hairline = 0, elsewhere = 0, offShade = 0;
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            COLORREF c = skin.At(x, y);
            if (c == Key && !outside[y * Size + x])
                (OnHairline(x, y) ? hairline : elsewhere) += 1;
            // A yellow a step off the key is drawn, not cut out.
            if (OnHairline(x, y) && c != Key && GetRValue(c) >= 254 && GetGValue(c) >= 236 && GetBValue(c) <= 1)
                ++offShade;
        }
    EXPECT_EQ(409, hairline);
    EXPECT_EQ(0, elsewhere);
    EXPECT_GT(offShade, 0);

    // The side bars break it; between the K's two pieces it shows through.
    for (int y = 37; y <= 302; ++y) {
        EXPECT_NE(Key, skin.At(21, y));
        EXPECT_NE(Key, skin.At(328, y));
    }
    EXPECT_EQ(Key, skin.At(49, 14));
    EXPECT_EQ(Key, skin.At(50, 14));
    for (int x = 20; x <= 329; ++x)
        EXPECT_NE(Key, skin.At(x, 13));
}

TEST(ResourceSkin, ThePlatformSeesTheSameKeyPixels)
{
    HBITMAP bitmap = LoadBitmapA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(102));
    ASSERT_NE(nullptr, bitmap);
    BITMAPINFO info = TopDownBitmapInfo(Size, Size);
    std::vector<uint32_t> pixels(Size * Size);
    HDC screen = GetDC(NULL);
    int rows = GetDIBits(screen, bitmap, 0, Size, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(NULL, screen);
    DeleteObject(bitmap);
    ASSERT_EQ(Size, rows);
    int keys = 0;
    for (uint32_t p : pixels) keys += (p & 0xFFFFFF) == 0xFFF000;   // BGRX: red 255, green 240, blue 0
    EXPECT_EQ(22020, keys);
}
