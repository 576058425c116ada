// The faces of the picture buttons and the operation group's picture.
#include "pictures.h"
#include <algorithm>
#include <cmath>

static const Rgb FrameGrey = {189, 189, 189};

static void FramePixels(Canvas &canvas, Rgb colour)
{
    for (int x = 0; x < canvas.Width; ++x) {
        SetPixel(canvas, x, 0, colour);
        SetPixel(canvas, x, canvas.Height - 1, colour);
    }
    for (int y = 0; y < canvas.Height; ++y) {
        SetPixel(canvas, 0, y, colour);
        SetPixel(canvas, canvas.Width - 1, y, colour);
    }
}

// Places a word centred on the face: by its ink, so capitals sit in the optical middle.
static Path CentredWord(const TextStyle &style, const std::string &word, float centreX, float centreY)
{
    float box[4];
    TextBounds(style, word, box);
    Path path;
    TextPath(path, style, word, centreX - (box[0] + box[2]) / 2, centreY - (box[1] + box[3]) / 2);
    return path;
}

// A style whose word is no wider than the room, squeezing it if need be.
static TextStyle Fitted(TextStyle style, const std::string &word, float room)
{
    float box[4];
    TextBounds(style, word, box);
    if (box[2] - box[0] > room)
        style.ScaleX *= room / (box[2] - box[0]);
    return style;
}

struct GlossyColours {
    int Id;
    const char *Word;
    std::vector<std::pair<float, Rgb>> Rows;   // colour stops by row, rows 1 to 16
};

static const GlossyColours Glossy[] = {
    {106, "ON", {{1, {255, 255, 255}}, {9, {190, 200, 200}}, {10, {187, 0, 0}}, {12, {213, 41, 41}}, {16, {255, 208, 208}}}},
    {107, "OFF", {{1, {255, 255, 255}}, {9, {197, 197, 197}}, {10, {175, 175, 175}}, {11, {58, 58, 58}}, {12, {51, 51, 51}}, {16, {167, 167, 167}}}},
    {109, "SAVE", {{1, {255, 255, 255}}, {9, {200, 193, 190}}, {10, {0, 132, 187}}, {12, {41, 162, 213}}, {16, {208, 241, 255}}}},
    {110, "ERASE", {{1, {251, 242, 248}}, {9, {186, 155, 175}}, {10, {185, 0, 155}}, {12, {208, 35, 180}}, {16, {253, 202, 244}}}},
    {111, "RESET", {{1, {243, 251, 242}}, {9, {159, 187, 157}}, {10, {2, 185, 3}}, {12, {37, 209, 39}}, {16, {204, 253, 204}}}},
};

Canvas DrawGlossyFace(int id)
{
    const GlossyColours *face = &Glossy[0];
    for (const GlossyColours &g : Glossy)
        if (g.Id == id) face = &g;
    int width = (id == 106 || id == 107) ? 60 : 50;
    Canvas canvas = MakeCanvas(width, 18, FrameGrey);
    for (int y = 1; y <= 16; ++y)
        for (int x = 1; x < width - 1; ++x)
            SetPixel(canvas, x, y, Ramp(face->Rows, (float)y));
    FramePixels(canvas, FrameGrey);

    // The outline takes the stripe's deepest colour.
    Rgb outline = id == 107 ? Rgb{51, 51, 51} : face->Rows[2].second;
    TextStyle style = Fitted({width == 60 ? SansBold : SansCondensedBold, 14.5f, 1.0f, 0.4f}, face->Word, width - 11.0f);
    Path word = CentredWord(style, face->Word, width / 2.0f, 9.0f);
    Rgb pale = Mix({255, 255, 255}, face->Rows.back().second, 0.35f);
    PaintOutlined(canvas, word, [pale](float, float y) { return Mix({255, 255, 255}, pale, std::clamp((y - 4) / 9.0f, 0.0f, 1.0f)); },
                  outline, 2.2f);
    return canvas;
}

// A square shaded along its diagonal from light to dark, with a one-pixel
// bevel that makes it read as a button: the upper and left edges a step
// lighter, the lower and right edges a step darker. The bevel's corners are
// the shading's two ends, so the stated colours stand at the corners.
static void ShadeSquare(Canvas &canvas, Rgb light, Rgb dark)
{
    const float bevelStep = 0.2f;
    const float span = float(canvas.Width + canvas.Height - 2);
    for (int y = 0; y < canvas.Height; ++y)
        for (int x = 0; x < canvas.Width; ++x) {
            bool upper = y == 0 || x == 0, lower = y == canvas.Height - 1 || x == canvas.Width - 1;
            float t = bevelStep + (1 - 2 * bevelStep) * (x + y) / span;
            if (lower)
                t += bevelStep;
            else if (upper)
                t -= bevelStep;
            SetPixel(canvas, x, y, Mix(light, dark, std::clamp(t, 0.0f, 1.0f)));
        }
}

Canvas DrawCloseFace()
{
    Canvas canvas = MakeCanvas(15, 15, {0, 0, 0});
    ShadeSquare(canvas, {220, 18, 18}, {151, 4, 1});
    Path cross;
    MoveTo(cross, 4.3f, 4.3f);
    LineTo(cross, 10.7f, 10.7f);
    MoveTo(cross, 10.7f, 4.3f);
    LineTo(cross, 4.3f, 10.7f);
    Path shadow = cross;
    TransformPath(shadow, 1, 1, 0.6f, 0.8f);
    Paint(canvas, StrokePath(shadow, 2.0f, 15, 15, true), Rgb{90, 0, 0}, 0.6f);
    Paint(canvas, StrokePath(cross, 2.0f, 15, 15, true), [](float, float y) {
        return Mix({255, 255, 255}, {205, 205, 205}, std::clamp((y - 4) / 7.0f, 0.0f, 1.0f));
    });
    return canvas;
}

Canvas DrawMinimizeFace()
{
    Canvas canvas = MakeCanvas(15, 15, {0, 0, 0});
    ShadeSquare(canvas, {73, 189, 232}, {17, 81, 140});
    Path bar, shadow;
    AddRect(bar, 4.5f, 5.5f, 10.5f, 9.5f);
    AddRect(shadow, 5.2f, 6.3f, 11.2f, 10.3f);
    Paint(canvas, FillPath(shadow, 15, 15), Rgb{10, 40, 80}, 0.55f);
    Paint(canvas, FillPath(bar, 15, 15), [](float, float y) {
        return Mix({255, 255, 255}, {210, 225, 235}, std::clamp((y - 6) / 3.0f, 0.0f, 1.0f));
    });
    return canvas;
}

Canvas DrawAboutButtonFace()
{
    Canvas canvas = MakeCanvas(25, 25, {0, 0, 0});
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 25; ++x) {
            // Orange to dark brown across the diagonal, with soft diagonal bands.
            float t = (x + y) / 48.0f + 0.08f * std::sin((x - y) * 0.9f);
            SetPixel(canvas, x, y, Ramp({{0.0f, {255, 170, 40}}, {0.45f, {235, 110, 10}}, {1.0f, {80, 32, 8}}}, t));
        }
    Path k = KLetter(1.6f, 1.5f, 22.0f);
    PaintOutlined(canvas, k, [](float, float y) {
        return Ramp({{2, {255, 252, 150}}, {10, {255, 236, 30}}, {22, {240, 190, 0}}}, y);
    }, {70, 70, 10}, 2.4f);
    return canvas;
}

Canvas DrawSendNumberFace()
{
    Canvas canvas = MakeCanvas(60, 18, {0, 0, 0});
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 60; ++x) {
            Rgb c = Ramp({{0, {180, 75, 5}}, {1, {165, 64, 0}}, {9, {105, 28, 0}}, {17, {41, 0, 0}}}, (float)y);
            SetPixel(canvas, x, y, c);
        }
    // A sheen along the top edge.
    Path sheen;
    AddRect(sheen, 2, 1, 58, 2.2f);
    Paint(canvas, FillPath(sheen, 60, 18), Rgb{255, 170, 90}, 0.45f);
    TextStyle style = {SansBold, 14.0f, 1.05f, 1.0f, 0.22f};
    Path word = CentredWord(style, "SEND", 30, 9);
    Paint(canvas, StrokePath(word, 2.2f, 60, 18), Rgb{40, 5, 0});
    Paint(canvas, FillPath(word, 60, 18), [](float, float y) {
        return Ramp({{3, {255, 250, 120}}, {8, {255, 215, 30}}, {14, {255, 120, 0}}}, y);
    });
    const int corners[4][2] = {{0, 0}, {59, 0}, {0, 17}, {59, 17}};
    for (const auto &c : corners)
        SetPixel(canvas, c[0], c[1], {255, 255, 255});
    return canvas;
}

Canvas DrawSendResultFace()
{
    Canvas canvas = MakeCanvas(80, 25, FrameGrey);
    for (int y = 1; y < 24; ++y)
        for (int x = 1; x < 79; ++x) {
            float dx = (x - 39.5f) / 39.0f, dy = (y - 12.0f) / 12.0f;
            float edge = std::clamp(dx * dx * 0.55f + dy * dy * 0.6f, 0.0f, 1.0f);
            SetPixel(canvas, x, y, Mix({145, 6, 68}, {62, 0, 30}, edge));
        }
    FramePixels(canvas, FrameGrey);
    TextStyle style = Fitted({MonoBold, 12.5f, 1.0f, 0.0f}, "CALCULATE", 70);
    // Spread the nine letters across the plate.
    float box[4];
    TextBounds(style, "CALCULATE", box);
    style.Tracking = (70 - (box[2] - box[0])) / 8.0f;
    Path word = CentredWord(style, "CALCULATE", 40, 12.5f);
    Paint(canvas, StrokePath(word, 2.0f, 80, 25), Rgb{55, 0, 25});
    Paint(canvas, FillPath(word, 80, 25), [](float, float y) {
        return Mix({255, 175, 225}, {240, 90, 190}, std::clamp((y - 7) / 10.0f, 0.0f, 1.0f));
    });
    return canvas;
}

Canvas DrawOperationGroupPicture()
{
    Canvas canvas = MakeCanvas(80, 20, {0, 0, 0});
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 80; ++x)
            SetPixel(canvas, x, y, y % 2 == 0 ? Rgb{196, 184, 198} : Rgb{150, 136, 156});
    Path ends;
    AddEllipse(ends, 2, 10, 9, 12);
    AddEllipse(ends, 78, 10, 9, 12);
    Paint(canvas, Blur(FillPath(ends, 80, 20), 3), Rgb{215, 40, 200}, 0.8f);
    TextStyle style = Fitted({MonoBold, 14.0f, 1.0f, 0.6f}, "CHOOSE", 66);
    Path word = CentredWord(style, "CHOOSE", 40, 10);
    Paint(canvas, StrokePath(word, 2.4f, 80, 20), Rgb{35, 25, 40});
    Paint(canvas, FillPath(word, 80, 20), [](float, float y) {
        return Mix({245, 245, 248}, {200, 198, 205}, std::clamp((y - 4) / 11.0f, 0.0f, 1.0f));
    });
    return canvas;
}
