// The application icon's group and images, and the text cursor.
#include "resource_reader.h"
#include <gtest/gtest.h>
#include <string>

TEST(ResourceIcon, GroupListsSixThirtyTwoBitImages)
{
    ResourceView group = FindOwnResource(MAKEINTRESOURCEA(14), 120);
    ASSERT_NE(nullptr, group.Data);
    ASSERT_EQ(6u + 6 * 14, group.Size);
    EXPECT_EQ(0, Read16(group.Data));
    EXPECT_EQ(1, Read16(group.Data + 2));   // icons
    EXPECT_EQ(6, Read16(group.Data + 4));
    const int sizes[] = {16, 32, 48, 64, 128, 256};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(sizes[i]);
        const uint8_t *entry = group.Data + 6 + i * 14;
        EXPECT_EQ(sizes[i] % 256, entry[0]);   // 256 is written as 0
        EXPECT_EQ(sizes[i] % 256, entry[1]);
        EXPECT_EQ(0, entry[2]);                // colour count
        EXPECT_EQ(1, Read16(entry + 4));       // planes
        EXPECT_EQ(32, Read16(entry + 6));
        EXPECT_EQ(i + 1, Read16(entry + 12));
        ResourceView image = FindOwnResource(MAKEINTRESOURCEA(3), i + 1);
        ASSERT_NE(nullptr, image.Data);
        EXPECT_EQ(image.Size, Read32(entry + 8));
    }
}

TEST(ResourceIcon, ImagesAreDibsWithRealAlphaAndEmptyMasks)
{
    const int sizes[] = {16, 32, 48, 64, 128, 256};
    for (int i = 0; i < 6; ++i) {
        int size = sizes[i];
        SCOPED_TRACE(size);
        ResourceView image = FindOwnResource(MAKEINTRESOURCEA(3), i + 1);
        ASSERT_NE(nullptr, image.Data);
        // A PNG image would start with its signature instead of a 40-byte header.
        ASSERT_EQ(40u, Read32(image.Data));
        const BITMAPINFOHEADER *header = reinterpret_cast<const BITMAPINFOHEADER *>(image.Data);
        EXPECT_EQ(size, header->biWidth);
        EXPECT_EQ(size * 2, header->biHeight);
        EXPECT_EQ(32, header->biBitCount);
        EXPECT_EQ((DWORD)BI_RGB, header->biCompression);
        DWORD colourBytes = size * size * 4, maskStride = ((size + 31) / 32) * 4;
        ASSERT_EQ(40 + colourBytes + maskStride * size, image.Size);
        int clear = 0, solid = 0, partial = 0;
        for (DWORD p = 0; p < colourBytes; p += 4) {
            uint8_t alpha = image.Data[40 + p + 3];
            (alpha == 0 ? clear : alpha == 255 ? solid : partial) += 1;
        }
        EXPECT_GT(clear, 0) << "the corners outside the round sticker are see-through";
        EXPECT_GT(solid, size * size / 3);
        EXPECT_GT(partial, 0) << "anti-aliased edge";
        int maskBits = 0;
        for (DWORD b = 40 + colourBytes; b < image.Size; ++b) maskBits += image.Data[b] != 0;
        EXPECT_EQ(0, maskBits);
    }
}

TEST(ResourceIcon, LoadsThroughTheApi)
{
    HICON icon = LoadIconA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(120));
    ASSERT_NE(nullptr, icon);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    EXPECT_TRUE(info.fIcon);
    BITMAP colour = {};
    GetObjectA(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), colour.bmWidth);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}

TEST(ResourceCursor, GroupNamesImageSevenAndItDrawsTheBeam)
{
    ResourceView group = FindOwnResource(MAKEINTRESOURCEA(12), 105);
    ASSERT_NE(nullptr, group.Data);
    ASSERT_EQ(20u, group.Size);
    EXPECT_EQ(2, Read16(group.Data + 2));   // cursors
    EXPECT_EQ(1, Read16(group.Data + 4));
    EXPECT_EQ(32, Read16(group.Data + 6));
    EXPECT_EQ(1, Read16(group.Data + 12));  // bits per pixel
    EXPECT_EQ(7, Read16(group.Data + 18));

    ResourceView image = FindOwnResource(MAKEINTRESOURCEA(1), 7);
    ASSERT_NE(nullptr, image.Data);
    EXPECT_EQ(image.Size, Read32(group.Data + 14));
    EXPECT_EQ(16, Read16(image.Data));      // hot spot
    EXPECT_EQ(9, Read16(image.Data + 2));
    const uint8_t *dib = image.Data + 4;
    EXPECT_EQ(32u, Read32(dib + 4));
    EXPECT_EQ(64u, Read32(dib + 8));        // colour rows, then the mask
    EXPECT_EQ(1, Read16(dib + 14));
    EXPECT_EQ(0x000000u, Read32(dib + 40));
    EXPECT_EQ(0xFFFFFFu, Read32(dib + 44));
    ASSERT_EQ(4u + 48 + 128 + 128, image.Size);
    // '#' black, 'o' white, '.' see-through, read back from the colour bits and mask.
    auto pixel = [&](int x, int y) {
        int row = 31 - y, bit = 0x80 >> (x % 8);
        bool white = dib[48 + row * 4 + x / 8] & bit, clear = dib[48 + 128 + row * 4 + x / 8] & bit;
        return clear ? (white ? '?' : '.') : (white ? 'o' : '#');
    };
    std::string serif, cross, stem;
    for (int x = 11; x <= 21; ++x) serif += pixel(x, 2);
    EXPECT_EQ("####o.o####", serif);
    for (int x = 11; x <= 21; ++x) serif[x - 11] = pixel(x, 27);
    EXPECT_EQ("####o.o####", serif);
    for (int y : {3, 26})
        for (int x = 14; x <= 18; ++x) cross += pixel(x, y);
    EXPECT_EQ(".###..###.", cross);
    for (int y = 0; y < 32; ++y) stem += pixel(16, y);
    EXPECT_EQ("...########################.....", stem);   // serif's clear middle, cross, upright, cross, serif
    for (int y = 4; y <= 25; ++y)
        EXPECT_EQ('.', pixel(15, y)) << y;

    HCURSOR cursor = LoadCursorA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(105));
    ASSERT_NE(nullptr, cursor);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(cursor, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(16u, info.xHotspot);
    EXPECT_EQ(9u, info.yHotspot);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}
