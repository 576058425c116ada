// The resource table and the bitmaps, read from the linked resource object.
#include "resource_reader.h"
#include <gtest/gtest.h>
#include <set>
#include <tuple>
#include <vector>

using Entry = std::tuple<int, int, int>;   // type, identifier, language

static BOOL CALLBACK AddLanguage(HMODULE, LPCSTR type, LPCSTR name, WORD language, LONG_PTR table)
{
    reinterpret_cast<std::set<Entry> *>(table)->insert({(int)(ULONG_PTR)type, (int)(ULONG_PTR)name, language});
    return TRUE;
}

static BOOL CALLBACK AddName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR table)
{
    // Every resource is named by number; a string name would show up as a huge "identifier".
    EnumResourceLanguagesA(module, type, name, AddLanguage, table);
    return TRUE;
}

static BOOL CALLBACK AddType(HMODULE module, LPSTR type, LONG_PTR table)
{
    EnumResourceNamesA(module, type, AddName, table);
    return TRUE;
}

TEST(ResourceTable, HoldsExactlyTheProgramsResourcesInUsEnglish)
{
    std::set<Entry> expected;
    for (int id : {102, 103, 104, 105, 106, 107, 109, 110, 111, 112, 113, 114, 115})
        expected.insert({2, id, 1033});
    for (int id = 1; id <= 6; ++id)
        expected.insert({3, id, 1033});
    expected.insert({1, 7, 1033});      // cursor image
    expected.insert({12, 105, 1033});   // cursor group
    expected.insert({5, 108, 1033});    // dialog
    expected.insert({14, 120, 1033});   // icon group
    expected.insert({16, 1, 1033});     // version
    expected.insert({24, 1, 1033});     // manifest

    std::set<Entry> found;
    EnumResourceTypesA(GetModuleHandleA(NULL), AddType, reinterpret_cast<LONG_PTR>(&found));
    EXPECT_EQ(expected, found);
}

struct BitmapCase {
    int Id, Width, Height, Bits;
};

static const BitmapCase Bitmaps[] = {
    {102, 350, 350, 24}, {103, 15, 15, 32}, {104, 15, 15, 32}, {105, 25, 25, 24}, {106, 60, 18, 24},
    {107, 60, 18, 24}, {109, 50, 18, 24}, {110, 50, 18, 24}, {111, 50, 18, 24}, {112, 60, 18, 24},
    {113, 80, 25, 24}, {114, 80, 20, 24}, {115, 80, 80, 24},
};

static bool IsKey(const uint8_t *bgr) { return bgr[2] == 255 && bgr[1] == 240 && bgr[0] == 0; }

TEST(ResourceBitmaps, HeadersSizesAndDepths)
{
    for (const BitmapCase &c : Bitmaps) {
        SCOPED_TRACE(c.Id);
        ResourceView dib = FindOwnResource(MAKEINTRESOURCEA(2), c.Id);
        ASSERT_NE(nullptr, dib.Data);
        int stride = ((c.Width * c.Bits + 31) / 32) * 4;
        const BITMAPINFOHEADER *header = reinterpret_cast<const BITMAPINFOHEADER *>(dib.Data);
        EXPECT_EQ(40u, header->biSize);
        EXPECT_EQ(c.Width, header->biWidth);
        EXPECT_EQ(c.Height, header->biHeight);   // positive: bottom-up rows
        EXPECT_EQ(1, header->biPlanes);
        EXPECT_EQ(c.Bits, header->biBitCount);
        EXPECT_EQ((DWORD)BI_RGB, header->biCompression);
        EXPECT_EQ(2834, header->biXPelsPerMeter);
        EXPECT_EQ(2834, header->biYPelsPerMeter);
        EXPECT_EQ(0u, header->biClrUsed);
        EXPECT_EQ(40u + (DWORD)(stride * c.Height), dib.Size);   // so no colour table either

        int keys = 0, nonZeroFourth = 0;
        for (int y = 0; y < c.Height; ++y)
            for (int x = 0; x < c.Width; ++x) {
                const uint8_t *p = dib.Data + 40 + y * stride + x * (c.Bits / 8);
                keys += IsKey(p);
                nonZeroFourth += c.Bits == 32 && p[3] != 0;
            }
        EXPECT_EQ(0, nonZeroFourth);
        if (c.Id != 102) {
            EXPECT_EQ(0, keys) << "only the skin may hold the colour key";
        }
    }
}

TEST(ResourceBitmaps, LoadThroughTheApiAtTheirSizes)
{
    for (const BitmapCase &c : Bitmaps) {
        SCOPED_TRACE(c.Id);
        HBITMAP bitmap = LoadBitmapA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(c.Id));
        ASSERT_NE(nullptr, bitmap);
        BITMAP info = {};
        GetObjectA(bitmap, sizeof info, &info);
        EXPECT_EQ(c.Width, info.bmWidth);
        EXPECT_EQ(c.Height, info.bmHeight);
        DeleteObject(bitmap);
    }
    // 108 is the dialog's number; there is no such bitmap.
    EXPECT_EQ(nullptr, LoadBitmapA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(108)));
}

// The glossy faces' fixed rows: the grey frame and the rows at the stated colours.
TEST(ResourceBitmaps, GlossyFacesKeepTheirFrameAndStripeRows)
{
    struct Face { int Id, Width; COLORREF Row1, Row9, Row10, Row12, Row16; };
    const Face faces[] = {
        {106, 60, RGB(255, 255, 255), RGB(190, 200, 200), RGB(187, 0, 0), RGB(213, 41, 41), RGB(255, 208, 208)},
        {107, 60, RGB(255, 255, 255), RGB(197, 197, 197), RGB(175, 175, 175), RGB(51, 51, 51), RGB(167, 167, 167)},
        {109, 50, RGB(255, 255, 255), RGB(200, 193, 190), RGB(0, 132, 187), RGB(41, 162, 213), RGB(208, 241, 255)},
        {110, 50, RGB(251, 242, 248), RGB(186, 155, 175), RGB(185, 0, 155), RGB(208, 35, 180), RGB(253, 202, 244)},
        {111, 50, RGB(243, 251, 242), RGB(159, 187, 157), RGB(2, 185, 3), RGB(37, 209, 39), RGB(204, 253, 204)},
    };
    for (const Face &f : faces) {
        SCOPED_TRACE(f.Id);
        ResourceView dib = FindOwnResource(MAKEINTRESOURCEA(2), f.Id);
        ASSERT_NE(nullptr, dib.Data);
        int stride = ((f.Width * 24 + 31) / 32) * 4;
        auto pixel = [&](int x, int y) {
            const uint8_t *p = dib.Data + 40 + (17 - y) * stride + x * 3;
            return RGB(p[2], p[1], p[0]);
        };
        for (int x = 0; x < f.Width; ++x) {
            EXPECT_EQ(RGB(189, 189, 189), pixel(x, 0));
            EXPECT_EQ(RGB(189, 189, 189), pixel(x, 17));
        }
        for (int y = 0; y < 18; ++y) {
            EXPECT_EQ(RGB(189, 189, 189), pixel(0, y));
            EXPECT_EQ(RGB(189, 189, 189), pixel(f.Width - 1, y));
        }
        // Column 1 lies left of the centred word, so it shows the bare rows.
        EXPECT_EQ(f.Row1, pixel(1, 1));
        EXPECT_EQ(f.Row9, pixel(1, 9));
        EXPECT_EQ(f.Row10, pixel(1, 10));
        EXPECT_EQ(f.Row12, pixel(1, 12));
        EXPECT_EQ(f.Row16, pixel(1, 16));
    }
}
