// The main window's skin. Its key-coloured pixels cut the window's outline and
// decide where it can be clicked, so their set is exact and asserted here;
// everything else is artwork.
#include "pictures.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

static const int Size = 350;
static const int FrameLeft = 20, FrameTop = 13, FrameRight = 329, FrameBottom = 322;
static const int HairLeft = 21, HairTop = 14, HairRight = 328, HairBottom = 321;
static const int KeyPixels = 22020, HairlineKeyPixels = 409;

// The left bar's outer reach per row; its curved ends pull in by a pixel a row.
static int LeftBarReach(int y)
{
    static const int top[] = {15, 14, 13, 12}, bottom[] = {12, 13, 14, 15};
    if (y < 37 || y > 302) return -1;
    if (y <= 40) return top[y - 37];
    if (y >= 299) return bottom[y - 299];
    return 11;
}

static bool InLeftBar(int x, int y)
{
    int reach = LeftBarReach(y);
    return reach >= 0 && x >= reach && x <= 27 - (reach - 11);
}

// The right bar mirrors the left one about x 174.
static bool InRightBar(int x, int y)
{
    int reach = LeftBarReach(y);
    return reach >= 0 && x <= 337 - (reach - 11) && x >= 321 + (reach - 11);
}

// The gem's point below the frame, rows 323 to 332.
static const int GemLeft[] = {159, 160, 162, 163, 165, 166, 168, 169, 171, 173};
static const int GemRight[] = {193, 191, 190, 188, 187, 185, 183, 181, 179, 177};

static bool InOutline(int x, int y)
{
    if (x >= FrameLeft && x <= FrameRight && y >= FrameTop && y <= FrameBottom) return true;
    if (InLeftBar(x, y) || InRightBar(x, y)) return true;
    if (y >= 8 && y <= 12 && ((x >= 40 && x <= 48) || (x >= 51 && x <= 59))) return true;
    if (y >= 323 && y <= 332 && x >= GemLeft[y - 323] && x <= GemRight[y - 323]) return true;
    return y == 323 && x >= 284 && x <= 292;
}

// Orange band of the frame with faint diagonal stripes, lighter along the top.
static Rgb BandColour(float x, float y)
{
    Rgb base = y < 32 ? Rgb{255, 125, 64} : Rgb{247, 95, 31};
    float stripe = std::sin((x + y) * 0.9f) * 5.0f;
    float shade = y < 32 ? (y - 14) * -0.6f : 0.0f;
    return {base.R + stripe * 0.3f, base.G + stripe + shade, base.B + stripe + shade};
}

static void DrawFrame(Canvas &canvas)
{
    for (int y = FrameTop; y <= FrameBottom; ++y)
        for (int x = FrameLeft; x <= FrameRight; ++x) {
            bool rim = x == FrameLeft || x == FrameRight || y == FrameTop || y == FrameBottom;
            SetPixel(canvas, x, y, rim ? Rgb{255, 103, 0} : BandColour(x, y));
        }
    // A soft shadow where the band meets the panel gives the field some depth.
    Path field;
    AddRect(field, 37, 30, 313, 306);
    Paint(canvas, Blur(StrokePath(field, 2, Size, Size), 2), Rgb{120, 40, 0}, 0.5f);
}

static void DrawPanelField(Canvas &canvas)
{
    for (int y = 32; y <= 303; ++y)
        for (int x = 39; x <= 310; ++x) {
            Rgb colour;
            if (x == 39 || x == 310 || y == 32 || y == 303) {
                colour = {228, 195, 15};
            } else if (x == 40 || x == 309 || y == 33 || y == 302) {
                colour = {141, 140, 140};
            } else {
                float t = (y - 34) / 267.0f;
                int gx = (x - 41) % 8, gy = (y - 34) % 8;
                if (gx == 0 || gy == 0) {
                    colour = Mix({239, 236, 215}, {179, 175, 155}, t);
                } else {
                    colour = Mix({219, 217, 215}, {159, 157, 155}, t);
                    // Each square is faintly bevelled: lit from the upper left.
                    float bevel = (gx == 1 || gy == 1) ? 7.0f : (gx == 7 || gy == 7) ? -7.0f : 0.0f;
                    colour = {colour.R + bevel, colour.G + bevel, colour.B + bevel};
                }
            }
            SetPixel(canvas, x, y, colour);
        }
}

// Foreground layers also record their coverage, which decides where they break the hairline.
static void PaintForeground(Canvas &canvas, Coverage &foreground, const Coverage &coverage, const Shader &shader)
{
    Paint(canvas, coverage, shader);
    for (size_t i = 0; i < foreground.Value.size(); ++i)
        foreground.Value[i] = 1 - (1 - foreground.Value[i]) * (1 - std::min(1.0f, coverage.Value[i]));
}

static void PaintForeground(Canvas &canvas, Coverage &foreground, const Coverage &coverage, Rgb colour)
{
    PaintForeground(canvas, foreground, coverage, [colour](float, float) { return colour; });
}

static void DrawSideBars(Canvas &canvas, Coverage &foreground)
{
    for (int y = 37; y <= 302; ++y)
        for (int x = 0; x < Size; ++x) {
            bool left = InLeftBar(x, y);
            if (!left && !InRightBar(x, y))
                continue;
            bool edge = !(left ? InLeftBar(x - 1, y) && InLeftBar(x + 1, y) && InLeftBar(x, y - 1) && InLeftBar(x, y + 1)
                               : InRightBar(x - 1, y) && InRightBar(x + 1, y) && InRightBar(x, y - 1) && InRightBar(x, y + 1));
            Rgb colour;
            if (edge) {
                colour = {199, 90, 0};
            } else {
                // Rounded across its width: light near both long edges, deep orange in the middle.
                float u = (left ? x - 11 : x - 321) / 16.0f;
                colour = Ramp({{0.0f, {232, 150, 80}}, {0.12f, {244, 171, 112}}, {0.3f, {241, 140, 60}},
                               {0.5f, {238, 125, 33}}, {0.68f, {240, 138, 55}}, {0.88f, {244, 171, 112}},
                               {1.0f, {232, 150, 80}}}, u);
                float ends = std::min(y - 37, 302 - y);
                if (ends < 6) colour = Mix({244, 171, 112}, colour, ends / 6.0f);
            }
            SetPixel(canvas, x, y, colour);
            foreground.Value[(size_t)y * Size + x] = 1;
        }
}

static void DrawTitle(Canvas &canvas, Coverage &foreground)
{
    // Swooshes sweep in behind the K: red above, orange, then brown below.
    struct Swoosh { float Y0, Y1; Rgb Colour; float Width; };
    const Swoosh swooshes[] = {{20, 17, {205, 30, 20}, 2.6f}, {25, 22, {255, 150, 20}, 2.6f}, {29.5f, 26.5f, {125, 55, 15}, 2.4f}};
    for (const Swoosh &s : swooshes) {
        Path path;
        MoveTo(path, 24, s.Y0 + 2);
        CubicTo(path, 34, s.Y0 - 3, 58, s.Y1 + 4, 78, s.Y1 - 1);
        Coverage line = StrokePath(path, s.Width, Size, Size, true);
        PaintForeground(canvas, foreground, line, [s](float x, float) {
            return Mix(s.Colour, {255, 210, 120}, std::clamp((x - 60) / 30.0f, 0.0f, 0.6f));
        });
    }

    Shader gold = [](float, float y) {
        return Ramp({{8, {255, 246, 170}}, {16, {255, 214, 60}}, {24, {240, 170, 20}}, {31, {200, 120, 10}}}, y);
    };
    const Rgb dark = {70, 32, 0};
    Path k = KLetter(40, 8, 24);
    // The outline stays inside the letter: the gap between its two tops must stay clear.
    Path shadow = k;
    TransformPath(shadow, 1, 1, 1.2f, 1.2f);
    Paint(canvas, Blur(FillPath(shadow, Size, Size), 1), Rgb{90, 30, 0}, 0.6f);
    PaintForeground(canvas, foreground, FillPath(k, Size, Size), dark);
    PaintForeground(canvas, foreground, Subtract(FillPath(k, Size, Size), StrokePath(k, 2.6f, Size, Size)), gold);
    // A bright glint down the stem sells the metal.
    Path glint;
    AddRect(glint, 42, 14, 43.2f, 29);
    Paint(canvas, Multiply(FillPath(glint, Size, Size), FillPath(k, Size, Size)), Rgb{255, 250, 215}, 0.7f);

    // The long name runs from the K to about x 206, the last word in small capitals.
    TextStyle name = {SerifCondensedBold, 15.0f, 1.0f, 0.2f};
    TextStyle small = {SansBold, 8.0f, 0.9f, 0.5f};
    float room = 206 - 65 - 3 - TextWidth(small, "DELUXE");
    name.ScaleX = room / TextWidth(name, "ivo Tally Station");
    Path words;
    float x = 65 + TextPath(words, name, "ivo Tally Station", 65, 28);
    PaintForeground(canvas, foreground, StrokePath(words, 2.0f, Size, Size), dark);
    PaintForeground(canvas, foreground, FillPath(words, Size, Size), gold);

    Path deluxe;
    TextPath(deluxe, small, "DELUXE", x + 3, 28);
    PaintForeground(canvas, foreground, StrokePath(deluxe, 2.0f, Size, Size), Rgb{20, 50, 0});
    PaintForeground(canvas, foreground, FillPath(deluxe, Size, Size), [](float, float y) {
        return Mix({215, 255, 90}, {120, 200, 20}, std::clamp((y - 20) / 8.0f, 0.0f, 1.0f));
    });
}

// The rights notice's one descending letter must end in row 323, centred over
// columns 284 to 292; the notice is placed so that it does.
static void DrawFooter(Canvas &canvas, Coverage &foreground)
{
    // "Version 1.0" fills x 26 to 80, whatever the font's own widths.
    TextStyle version = {SansBold, 11.5f, 1.0f, 0.3f};
    float versionBox[4];
    TextBounds(version, "Version 1.0", versionBox);
    version.ScaleX = 54.0f / (versionBox[2] - versionBox[0]);
    Path versionPath;
    TextPath(versionPath, version, "Version 1.0", 26.5f - versionBox[0] * version.ScaleX, 317);
    Coverage soft = Blur(StrokePath(versionPath, 2.6f, Size, Size), 1);
    PaintForeground(canvas, foreground, soft, Rgb{75, 25, 125});
    PaintForeground(canvas, foreground, StrokePath(versionPath, 1.3f, Size, Size), Rgb{120, 60, 200});
    PaintForeground(canvas, foreground, FillPath(versionPath, Size, Size), [](float, float y) {
        return Mix({215, 175, 255}, {160, 100, 240}, std::clamp((y - 308) / 9.0f, 0.0f, 1.0f));
    });

    TextStyle notice = {SerifCondensedBold, 11.0f, 0.84f, 0.1f};
    const std::string right = "Instruments Group";
    float box[4];
    TextBounds(notice, "p", box);
    float baseline = 323.2f - box[3];
    // Centre the ink that reaches row 323 (the p's foot) on column 288.
    Path trial;
    TextPath(trial, notice, right, 200, baseline);
    Coverage ink = FillPath(trial, Size, Size);
    float weight = 0, sum = 0;
    for (int x = 0; x < Size; ++x) {
        weight += ink.Value[(size_t)323 * Size + x];
        sum += ink.Value[(size_t)323 * Size + x] * (x + 0.5f);
    }
    float startX = 200 + (288.5f - (weight > 0 ? sum / weight : 288.5f));
    Path notices;
    TextPath(notices, notice, "\xA9 2026 Kivo", 90, baseline);
    TextPath(notices, notice, right, startX, baseline);
    // The foot below the frame is nine pixels wide; it takes the letters' outline colour.
    const Rgb rim = {255, 228, 190};
    for (int x = 284; x <= 292; ++x)
        SetPixel(canvas, x, 323, Mix(rim, {200, 120, 80}, std::fabs(x - 288) / 5.0f));
    PaintForeground(canvas, foreground, StrokePath(notices, 2.2f, Size, Size), rim);
    PaintForeground(canvas, foreground, FillPath(notices, Size, Size), [](float, float y) {
        return Mix({235, 30, 25}, {185, 0, 10}, std::clamp((y - 311) / 10.0f, 0.0f, 1.0f));
    });
}

static void DrawGem(Canvas &canvas, Coverage &foreground)
{
    const std::vector<float> outline = {167, 292, 188, 292, 198, 302, 198, 320.5f, 178.2f, 333, 172.8f, 333, 157, 321.6f, 157, 302};
    const float cx = 177.5f, cy = 312.0f;
    Path gem;
    AddPolygon(gem, outline);
    PaintForeground(canvas, foreground, StrokePath(gem, 2.0f, Size, Size), Rgb{110, 45, 0});
    size_t corners = outline.size() / 2;
    for (size_t i = 0; i < corners; ++i) {
        float ax = outline[i * 2], ay = outline[i * 2 + 1];
        float bx = outline[(i * 2 + 2) % outline.size()], by = outline[(i * 2 + 3) % outline.size()];
        float mx = (ax + bx) / 2, my = (ay + by) / 2;
        for (int half = 0; half < 2; ++half) {
            Path facet;
            if (half == 0) AddPolygon(facet, {cx, cy, ax, ay, mx, my});
            else AddPolygon(facet, {cx, cy, mx, my, bx, by});
            // Light from the upper left; alternate halves catch it differently, like cut faces.
            float fx = (half == 0 ? (ax + mx) : (mx + bx)) / 2 - cx, fy = (half == 0 ? (ay + my) : (my + by)) / 2 - cy;
            float light = (-fx * 0.7f - fy * 0.7f) / std::sqrt(fx * fx + fy * fy);
            float t = std::clamp(0.5f + 0.45f * light + (half ? -0.12f : 0.12f), 0.0f, 1.0f);
            Rgb colour = Ramp({{0.0f, {190, 95, 5}}, {0.45f, {240, 160, 25}}, {0.75f, {255, 205, 70}}, {1.0f, {255, 240, 170}}}, t);
            PaintForeground(canvas, foreground, FillPath(facet, Size, Size), colour);
        }
    }
    Path spokes;
    for (size_t i = 0; i < corners; ++i) {
        MoveTo(spokes, cx, cy);
        LineTo(spokes, outline[i * 2], outline[i * 2 + 1]);
    }
    Paint(canvas, Multiply(StrokePath(spokes, 0.7f, Size, Size, true), FillPath(gem, Size, Size)), Rgb{255, 236, 170}, 0.55f);
    Paint(canvas, Subtract(StrokePath(gem, 1.6f, Size, Size), FillPath(gem, Size, Size)), Rgb{90, 35, 0});
    Path sparkle;
    AddEllipse(sparkle, 169, 301, 2.2f, 1.4f);
    Paint(canvas, Blur(FillPath(sparkle, Size, Size), 1), Rgb{255, 255, 240}, 0.9f);
}

// Hairline pixels that no artwork covers are the ones to key out; the art
// must leave at least the required number, and those nearest a break are
// tinted a shade off the key until exactly that many remain.
static void CutHairline(Bytes &rgba, const Coverage &foreground)
{
    std::vector<std::pair<int, int>> ring;
    for (int x = HairLeft; x <= HairRight; ++x) ring.push_back({x, HairTop});
    for (int y = HairTop + 1; y <= HairBottom; ++y) ring.push_back({HairRight, y});
    for (int x = HairRight - 1; x >= HairLeft; --x) ring.push_back({x, HairBottom});
    for (int y = HairBottom - 1; y > HairTop; --y) ring.push_back({HairLeft, y});
    int n = (int)ring.size();
    std::vector<bool> broken(n);
    int open = 0;
    for (int i = 0; i < n; ++i) {
        broken[i] = foreground.Value[(size_t)ring[i].second * Size + ring[i].first] >= 0.5f;
        open += broken[i] ? 0 : 1;
    }
    if (open < HairlineKeyPixels) {
        std::fprintf(stderr, "kivo-artgen: the skin's artwork leaves only %d hairline pixels open\n", open);
        std::exit(1);
    }
    // Distance along the ring to the nearest break.
    std::vector<int> distance(n, n);
    for (int pass = 0; pass < 2; ++pass)
        for (int k = 0; k < 2 * n; ++k) {
            int i = pass == 0 ? k % n : (2 * n - 1 - k) % n;
            int previous = pass == 0 ? (i + n - 1) % n : (i + 1) % n;
            distance[i] = broken[i] ? 0 : std::min(distance[i], distance[previous] + 1);
        }
    // Short gaps, such as the one between the K's two tops, stay clear.
    std::vector<int> order;
    for (int i = 0; i < n; ++i) {
        if (broken[i]) continue;
        int run = 1;
        while (run < 4 && !broken[(i + run) % n]) ++run;
        for (int back = 1; run < 4 && !broken[(i + n - back) % n]; ++back) ++run;
        if (run >= 4) order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return distance[a] < distance[b]; });
    int shaded = open - HairlineKeyPixels;
    if (shaded > (int)order.size()) {
        std::fprintf(stderr, "kivo-artgen: too few hairline pixels to shade\n");
        std::exit(1);
    }
    for (int i = 0; i < n; ++i)
        if (!broken[i]) {
            uint8_t *p = &rgba[((size_t)ring[i].second * Size + ring[i].first) * 4];
            p[0] = 255; p[1] = 240; p[2] = 0;
        }
    for (int k = 0; k < shaded; ++k) {
        uint8_t *p = &rgba[((size_t)ring[order[k]].second * Size + ring[order[k]].first) * 4];
        int step = distance[order[k]] % 3;
        p[0] = (uint8_t)(255 - (step == 2));
        p[1] = (uint8_t)(239 - step);
        p[2] = (uint8_t)(step == 2);
    }
}

Bytes DrawSkin()
{
    // Partly covered pixels along the outline blend into this dark brown, which reads as an edge.
    Canvas canvas = MakeCanvas(Size, Size, {80, 35, 5});
    Coverage foreground{Size, Size, std::vector<float>((size_t)Size * Size, 0.0f)};
    DrawFrame(canvas);
    DrawPanelField(canvas);
    DrawSideBars(canvas, foreground);
    DrawTitle(canvas, foreground);
    DrawFooter(canvas, foreground);
    DrawGem(canvas, foreground);

    Bytes rgba = ToBytes(canvas);
    AvoidKey(rgba);
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x)
            if (!InOutline(x, y)) {
                uint8_t *p = &rgba[((size_t)y * Size + x) * 4];
                p[0] = 255; p[1] = 240; p[2] = 0;
            }
    CutHairline(rgba, foreground);

    int keys = 0;
    for (size_t i = 0; i < rgba.size(); i += 4)
        keys += IsKey(&rgba[i]) ? 1 : 0;
    if (keys != KeyPixels) {
        std::fprintf(stderr, "kivo-artgen: the skin has %d key pixels, not %d\n", keys, KeyPixels);
        std::exit(1);
    }
    return rgba;
}
