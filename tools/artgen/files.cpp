// Writers for the picture, icon and cursor files that resources/ carries.
#include "files.h"
#include <cstdio>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb_image_write.h>

static const int PixelsPerMetre = 2834;   // 72 dots an inch

static void Put16(Bytes &out, int value)
{
    out.push_back((uint8_t)(value & 0xFF));
    out.push_back((uint8_t)((value >> 8) & 0xFF));
}

static void Put32(Bytes &out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back((uint8_t)((value >> (8 * i)) & 0xFF));
}

// The 40-byte information header; bottom-up rows, no compression, no colour table unless told.
static void PutInfoHeader(Bytes &out, int width, int height, int bits, uint32_t imageSize, int colours)
{
    Put32(out, 40);
    Put32(out, (uint32_t)width);
    Put32(out, (uint32_t)height);
    Put16(out, 1);
    Put16(out, bits);
    Put32(out, 0);
    Put32(out, imageSize);
    Put32(out, PixelsPerMetre);
    Put32(out, PixelsPerMetre);
    Put32(out, (uint32_t)colours);
    Put32(out, 0);
}

static int Stride(int width, int bits) { return ((width * bits + 31) / 32) * 4; }

// Bottom-up BGR or BGRX rows; alphaInFourth puts the alpha there, else zero.
static void PutPixels(Bytes &out, const Bytes &rgba, int width, int height, int bits, bool alphaInFourth)
{
    int stride = Stride(width, bits);
    for (int y = height - 1; y >= 0; --y) {
        size_t start = out.size();
        for (int x = 0; x < width; ++x) {
            const uint8_t *p = &rgba[((size_t)y * width + x) * 4];
            out.push_back(p[2]);
            out.push_back(p[1]);
            out.push_back(p[0]);
            if (bits == 32)
                out.push_back(alphaInFourth ? p[3] : 0);
        }
        out.resize(start + stride, 0);
    }
}

Bytes BmpFile(const Bytes &rgba, int width, int height, int bits)
{
    uint32_t imageSize = (uint32_t)(Stride(width, bits) * height);
    Bytes out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, 14 + 40 + imageSize);
    Put32(out, 0);
    Put32(out, 14 + 40);
    PutInfoHeader(out, width, height, bits, imageSize, 0);
    PutPixels(out, rgba, width, height, bits, false);
    return out;
}

// One icon image as the resource holds it: the header gives twice the height,
// for the colour rows and the AND mask that follows them.
static Bytes IconDib(const IconImage &image)
{
    int size = image.Size;
    int maskStride = Stride(size, 1);
    uint32_t imageSize = (uint32_t)(size * size * 4 + maskStride * size);
    Bytes out;
    PutInfoHeader(out, size, size * 2, 32, imageSize, 0);
    PutPixels(out, image.Rgba, size, size, 32, true);
    out.resize(out.size() + (size_t)maskStride * size, 0);   // alpha alone decides what shows
    return out;
}

Bytes IconFile(const std::vector<IconImage> &images)
{
    Bytes out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, (int)images.size());
    std::vector<Bytes> dibs;
    for (const IconImage &image : images)
        dibs.push_back(IconDib(image));
    uint32_t offset = (uint32_t)(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        out.push_back((uint8_t)(images[i].Size >= 256 ? 0 : images[i].Size));   // 0 means 256
        out.push_back((uint8_t)(images[i].Size >= 256 ? 0 : images[i].Size));
        out.push_back(0);
        out.push_back(0);
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, (uint32_t)dibs[i].size());
        Put32(out, offset);
        offset += (uint32_t)dibs[i].size();
    }
    for (const Bytes &dib : dibs)
        out.insert(out.end(), dib.begin(), dib.end());
    return out;
}

Bytes CursorImageResource(const std::vector<std::string> &rows, int hotX, int hotY)
{
    const int size = 32, stride = 4;
    Bytes out;
    Put16(out, hotX);
    Put16(out, hotY);
    PutInfoHeader(out, size, size * 2, 1, (uint32_t)(stride * size * 2), 2);
    Put32(out, 0x00000000);                        // index 0: black
    Put32(out, 0x00FFFFFF);                        // index 1: white
    Bytes colour, mask;
    for (int y = size - 1; y >= 0; --y)
        for (int byte = 0; byte < stride; ++byte) {
            uint8_t c = 0, m = 0;
            for (int bit = 0; bit < 8; ++bit) {
                char pixel = rows[y][byte * 8 + bit];
                if (pixel == 'o') c |= (uint8_t)(0x80 >> bit);
                if (pixel == '.') m |= (uint8_t)(0x80 >> bit);
            }
            colour.push_back(c);
            mask.push_back(m);
        }
    out.insert(out.end(), colour.begin(), colour.end());
    out.insert(out.end(), mask.begin(), mask.end());
    return out;
}

Bytes CursorGroupResource(const Bytes &image, int imageId)
{
    Bytes out;
    Put16(out, 0);
    Put16(out, 2);              // cursors
    Put16(out, 1);
    Put16(out, 32);             // width
    Put16(out, 32);             // height, as the resource compiler writes it from a .cur file
    Put16(out, 1);              // planes
    Put16(out, 1);              // bits per pixel
    Put32(out, (uint32_t)image.size());
    Put16(out, imageId);
    return out;
}

bool WriteBytes(const std::string &path, const Bytes &bytes)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

bool ReadBytes(const std::string &path, Bytes &bytes)
{
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    bytes.clear();
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);
    return true;
}

bool WritePng(const std::string &path, const Bytes &rgba, int width, int height)
{
    return stbi_write_png(path.c_str(), width, height, 4, rgba.data(), width * 4) != 0;
}
