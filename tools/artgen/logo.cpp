// The About box's logo: the short name over three sweeping bands.
#include "pictures.h"
#include <algorithm>

// A band that sweeps in from the left edge, waving, and tapers to a point.
static Path Band(float y, float thickness, float wave)
{
    Path path;
    MoveTo(path, -2, y - thickness / 2);
    CubicTo(path, 14, y - thickness / 2 - wave, 30, y - thickness / 2 + wave, 58, y - 9);
    CubicTo(path, 34, y + thickness / 2 + wave * 0.6f, 16, y + thickness / 2 - wave, -2, y + thickness / 2);
    ClosePath(path);
    return path;
}

Canvas DrawAboutLogo()
{
    const int size = 80;
    Canvas canvas = MakeCanvas(size, size, {240, 240, 240});
    struct { float Y; Rgb Colour; } bands[] = {{24, {215, 35, 30}}, {35, {40, 165, 60}}, {46, {250, 140, 15}}};
    for (const auto &band : bands) {
        Path path = Band(band.Y, 8.5f, 4.0f);
        Paint(canvas, Blur(FillPath(path, size, size), 1), Rgb{120, 120, 120}, 0.25f);
        Paint(canvas, FillPath(path, size, size), [band](float x, float) {
            return Mix(band.Colour, {255, 255, 255}, std::clamp((x - 30) / 40.0f, 0.0f, 0.35f));
        });
    }
    const Rgb dark = {60, 35, 0};
    Path k = KLetter(17, 7, 48);
    Paint(canvas, Blur(FillPath(k, size, size), 2), Rgb{0, 0, 0}, 0.25f);
    PaintOutlined(canvas, k, [](float, float y) {
        return Ramp({{7, {255, 248, 170}}, {22, {255, 214, 40}}, {40, {235, 165, 10}}, {57, {205, 125, 0}}}, y);
    }, dark, 3.0f);
    Path shine;
    AddRect(shine, 20, 10, 22.5f, 50);
    Paint(canvas, Multiply(FillPath(shine, size, size), FillPath(k, size, size)), Rgb{255, 255, 225}, 0.6f);

    TextStyle small = {SansBold, 17.0f, 0.92f, 0.3f};
    Path ivo;
    TextPath(ivo, small, "IVO", 46, 75);
    PaintOutlined(canvas, ivo, [](float, float y) {
        return Mix({255, 190, 60}, {235, 110, 0}, std::clamp((y - 61) / 13.0f, 0.0f, 1.0f));
    }, dark, 2.6f);
    return canvas;
}
