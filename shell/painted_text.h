// Texts that the main window and the About box paint themselves.
#pragma once

#include <windows.h>

#include <cstddef>

// Draws a whole character array, such as a string literal, in the context's
// font and colour: the count is the array's, so it cannot drift from the text.
template <size_t N>
void DrawLabel(HDC dc, int x, int y, const char (&text)[N])
{
    TextOutA(dc, x, y, text, int(N - 1));
}
