// The header of a 32-bit bitmap whose first row is the top one, as the
// tests read and paint pixels by (x, y).
#pragma once

#include <windows.h>

inline BITMAPINFO TopDownBitmapInfo(int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    return info;
}
