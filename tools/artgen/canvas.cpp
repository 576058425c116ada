// Compositing colour onto pictures, and turning them into bytes.
#include "canvas.h"
#include <algorithm>
#include <cmath>

Canvas MakeCanvas(int width, int height, Rgb fill, float alpha)
{
    Canvas canvas;
    canvas.Width = width;
    canvas.Height = height;
    canvas.Pixel.resize((size_t)width * height * 4);
    for (size_t i = 0; i < (size_t)width * height; ++i) {
        canvas.Pixel[i * 4 + 0] = fill.R * alpha;
        canvas.Pixel[i * 4 + 1] = fill.G * alpha;
        canvas.Pixel[i * 4 + 2] = fill.B * alpha;
        canvas.Pixel[i * 4 + 3] = alpha;
    }
    return canvas;
}

void Paint(Canvas &canvas, const Coverage &coverage, const Shader &shader, float opacity)
{
    for (int y = 0; y < canvas.Height; ++y)
        for (int x = 0; x < canvas.Width; ++x) {
            float a = coverage.Value[(size_t)y * coverage.Width + x] * opacity;
            if (a <= 0)
                continue;
            a = std::min(a, 1.0f);
            Rgb colour = shader(x + 0.5f, y + 0.5f);
            float *p = &canvas.Pixel[((size_t)y * canvas.Width + x) * 4];
            p[0] = p[0] * (1 - a) + colour.R * a;
            p[1] = p[1] * (1 - a) + colour.G * a;
            p[2] = p[2] * (1 - a) + colour.B * a;
            p[3] = p[3] * (1 - a) + a;
        }
}

void Paint(Canvas &canvas, const Coverage &coverage, Rgb colour, float opacity)
{
    Paint(canvas, coverage, [colour](float, float) { return colour; }, opacity);
}

void SetPixel(Canvas &canvas, int x, int y, Rgb colour)
{
    float *p = &canvas.Pixel[((size_t)y * canvas.Width + x) * 4];
    p[0] = colour.R;
    p[1] = colour.G;
    p[2] = colour.B;
    p[3] = 1;
}

Rgb GetPixel(const Canvas &canvas, int x, int y)
{
    const float *p = &canvas.Pixel[((size_t)y * canvas.Width + x) * 4];
    if (p[3] <= 0)
        return {0, 0, 0};
    return {p[0] / p[3], p[1] / p[3], p[2] / p[3]};
}

Rgb Mix(Rgb a, Rgb b, float t)
{
    return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t};
}

Rgb Ramp(const std::vector<std::pair<float, Rgb>> &stops, float position)
{
    if (position <= stops.front().first)
        return stops.front().second;
    for (size_t i = 1; i < stops.size(); ++i)
        if (position <= stops[i].first) {
            float span = stops[i].first - stops[i - 1].first;
            return Mix(stops[i - 1].second, stops[i].second, span > 0 ? (position - stops[i - 1].first) / span : 1);
        }
    return stops.back().second;
}

static float Lattice(int x, int y, unsigned seed)
{
    unsigned h = (unsigned)x * 374761393u + (unsigned)y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xFFFF) / 65535.0f;
}

float Noise(float x, float y, float cell, unsigned seed)
{
    float gx = x / cell, gy = y / cell;
    int ix = (int)std::floor(gx), iy = (int)std::floor(gy);
    float fx = gx - ix, fy = gy - iy;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    float top = Lattice(ix, iy, seed) + (Lattice(ix + 1, iy, seed) - Lattice(ix, iy, seed)) * fx;
    float bottom = Lattice(ix, iy + 1, seed) + (Lattice(ix + 1, iy + 1, seed) - Lattice(ix, iy + 1, seed)) * fx;
    return top + (bottom - top) * fy;
}

std::vector<uint8_t> ToBytes(const Canvas &canvas)
{
    std::vector<uint8_t> bytes(canvas.Pixel.size());
    for (size_t i = 0; i < (size_t)canvas.Width * canvas.Height; ++i) {
        const float *p = &canvas.Pixel[i * 4];
        float a = std::clamp(p[3], 0.0f, 1.0f);
        for (int c = 0; c < 3; ++c) {
            float straight = a > 0 ? p[c] / a : 0;
            bytes[i * 4 + c] = (uint8_t)std::lround(std::clamp(straight, 0.0f, 255.0f));
        }
        bytes[i * 4 + 3] = (uint8_t)std::lround(a * 255.0f);
    }
    return bytes;
}

bool IsKey(const uint8_t *rgb)
{
    return rgb[0] == 255 && rgb[1] == 240 && rgb[2] == 0;
}

void AvoidKey(std::vector<uint8_t> &rgba)
{
    for (size_t i = 0; i + 3 < rgba.size(); i += 4)
        if (IsKey(&rgba[i]))
            rgba[i + 1] = 241;
}
