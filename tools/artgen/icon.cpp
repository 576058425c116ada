// The application icon, drawn from one design at every size, and the text cursor.
#include "pictures.h"
#include <algorithm>
#include <cmath>

// The sticker is laid out on a 256-unit square and scaled to the image.
static const float Centre = 128, Ring = 118, Paper = 107;
static const float Fold = 132;          // the curl lifts the part where x + y < Fold

static Coverage HalfPlane(int size, float scale, bool beyondFold)
{
    float c = Fold * scale, far = 4.0f * size;
    Path path;
    if (beyondFold) AddPolygon(path, {c, 0, far, 0, far, far, 0, far, 0, c});
    else AddPolygon(path, {0, 0, c, 0, 0, c});
    return FillPath(path, size, size);
}

Canvas DrawIcon(int size)
{
    float s = size / 256.0f;
    Canvas canvas = MakeCanvas(size, size, {0, 0, 0}, 0);
    Coverage front = HalfPlane(size, s, true);

    Path disc, paper, flap;
    AddEllipse(disc, Centre * s, Centre * s, Ring * s, Ring * s);
    AddEllipse(paper, Centre * s, Centre * s, Paper * s, Paper * s);
    // The lifted cap, folded over the fold line, lies back up on the sticker.
    float mirrored = Fold - Centre;
    AddEllipse(flap, mirrored * s, mirrored * s, Ring * s, Ring * s);
    Coverage discCover = Multiply(FillPath(disc, size, size), front);
    Coverage paperCover = Multiply(FillPath(paper, size, size), front);
    Coverage flapCover = Multiply(FillPath(flap, size, size), front);

    int blur = std::max(1, (int)std::lround(4 * s));
    Coverage shadow = Blur(discCover, blur);
    Coverage offsetShadow = shadow;
    int dx = std::max(1, (int)std::lround(5 * s));
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            offsetShadow.Value[(size_t)y * size + x] =
                (x >= dx && y >= dx) ? shadow.Value[(size_t)(y - dx) * size + (x - dx)] : 0.0f;
    Paint(canvas, offsetShadow, Rgb{0, 0, 0}, 0.35f);

    // The grey ring, lit from the upper left.
    Paint(canvas, discCover, [s](float x, float y) {
        float t = std::clamp(((x + y) / s - 60) / 330.0f, 0.0f, 1.0f);
        return Mix({205, 205, 208}, {105, 105, 112}, t);
    });
    // Crumpled off-white paper: a ridged height field lit from the upper left,
    // so creases catch light on one side and fall into shade on the other.
    Paint(canvas, paperCover, [s](float x, float y) {
        auto height = [](float u, float v) {
            return std::fabs(Noise(u, v, 40, 3) - 0.5f) * 1.0f + std::fabs(Noise(u + 17, v + 5, 17, 7) - 0.5f) * 0.5f +
                   std::fabs(Noise(u - 9, v + 23, 8, 11) - 0.5f) * 0.2f;
        };
        float u = x / s, v = y / s;
        float dx = height(u + 1, v) - height(u - 1, v), dy = height(u, v + 1) - height(u, v - 1);
        // Small images keep only a hint of the creases; at a pixel a crease they are just noise.
        float light = 238 + (-dx - dy) * 260 * std::min(1.0f, s * 4);
        light = std::clamp(light, 200.0f, 255.0f);
        return Rgb{light + 2, light, light - 8};
    });

    Path k = KLetter(74 * s, 62 * s, 112 * s);
    Path ivo;
    TextPath(ivo, {SansBold, 38 * s, 0.95f, 1.2f * s}, "IVO", 146 * s, 198 * s);
    Rgb dark = {70, 40, 0};
    float outline = std::max(0.9f, 7 * s);
    PaintOutlined(canvas, k, [s](float, float y) {
        return Ramp({{62, {255, 246, 150}}, {110, {255, 220, 30}}, {174, {240, 170, 0}}}, y / s);
    }, dark, outline);
    PaintOutlined(canvas, ivo, [s](float, float y) {
        return Mix({255, 175, 50}, {235, 105, 0}, std::clamp((y / s - 165) / 33.0f, 0.0f, 1.0f));
    }, dark, std::max(0.5f, 5 * s));
    // The sticker's surface sits under the flap's shadow, and the flap on top.
    Paint(canvas, Multiply(Blur(flapCover, std::max(1, blur)), discCover), Rgb{40, 40, 40}, 0.45f);
    Paint(canvas, flapCover, [s](float x, float y) {
        float d = ((x + y) / s - Fold) / 60.0f;
        return Mix({165, 160, 150}, {236, 233, 224}, std::clamp(d * 1.5f, 0.0f, 1.0f));
    });
    Path foldLine;
    MoveTo(foldLine, Fold * s, 0);
    LineTo(foldLine, 0, Fold * s);
    Paint(canvas, Multiply(StrokePath(foldLine, std::max(0.8f, 2 * s), size, size, true), FillPath(disc, size, size)),
          Rgb{130, 128, 120}, 0.8f);
    return canvas;
}

std::vector<std::string> TextBeamRows()
{
    std::vector<std::string> rows(32, std::string(32, '.'));
    for (int y = 4; y <= 25; ++y)
        rows[y][16] = '#';
    for (int y : {3, 26})
        rows[y].replace(15, 3, "###");
    // The serif's middle is see-through with a white pixel either side, so the
    // beam's end shows on dark and light ground alike.
    for (int y : {2, 27})
        rows[y].replace(11, 11, "####o.o####");
    return rows;
}
