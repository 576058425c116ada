// A picture being drawn: premultiplied RGBA in floats (0 to 255 for colour,
// 0 to 1 for alpha), and the 8-bit pixels it finally becomes.
#pragma once
#include "raster.h"
#include <cstdint>
#include <functional>
#include <vector>

struct Rgb {
    float R, G, B;
};

struct Canvas {
    int Width = 0, Height = 0;
    std::vector<float> Pixel;        // R, G, B, A a pixel, premultiplied
};

// A colour that may vary over the picture.
using Shader = std::function<Rgb(float x, float y)>;

Canvas MakeCanvas(int width, int height, Rgb fill, float alpha = 1);
// Lays colour over the canvas in proportion to coverage times opacity.
void Paint(Canvas &canvas, const Coverage &coverage, const Shader &shader, float opacity = 1);
void Paint(Canvas &canvas, const Coverage &coverage, Rgb colour, float opacity = 1);
void SetPixel(Canvas &canvas, int x, int y, Rgb colour);
Rgb GetPixel(const Canvas &canvas, int x, int y);

Rgb Mix(Rgb a, Rgb b, float t);
// Piecewise-linear colour ramp through stops at the given positions.
Rgb Ramp(const std::vector<std::pair<float, Rgb>> &stops, float position);
// Value noise in 0..1, smooth at the given cell size; the seed picks the pattern.
float Noise(float x, float y, float cell, unsigned seed);

// 8-bit straight (not premultiplied) RGBA, row 0 at the top.
std::vector<uint8_t> ToBytes(const Canvas &canvas);

// The colour key of the main window and the rule that only the skin may use it.
const Rgb KeyColour = {255, 240, 0};
bool IsKey(const uint8_t *rgb);
// Moves any pixel that came out as the key colour by one step of green.
void AvoidKey(std::vector<uint8_t> &rgba);
