// The file formats the resource compiler takes: .bmp, .ico, and the raw
// cursor and cursor-group resources; and PNG for looking at the pictures.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// rgba is 8-bit straight RGBA, top row first. A 32-bit bitmap keeps its fourth byte zero.
Bytes BmpFile(const Bytes &rgba, int width, int height, int bitsPerPixel);

struct IconImage {
    int Size;
    Bytes Rgba;
};
// 32-bit DIB images with real alpha and all-zero AND masks, PNG nowhere.
Bytes IconFile(const std::vector<IconImage> &images);

// A 32 x 32 monochrome cursor from rows of '#' (black), 'o' (white) and '.' (see-through).
Bytes CursorImageResource(const std::vector<std::string> &rows, int hotX, int hotY);
Bytes CursorGroupResource(const Bytes &image, int imageId);

bool WriteBytes(const std::string &path, const Bytes &bytes);
bool ReadBytes(const std::string &path, Bytes &bytes);
bool WritePng(const std::string &path, const Bytes &rgba, int width, int height);
