// Vector shapes and type, turned into anti-aliased coverage by FreeType's
// rasteriser and stroker. Coordinates are pixels, y down, pixel (x, y)
// covering the square from (x, y) to (x + 1, y + 1).
#pragma once
#include <string>
#include <vector>

struct Path {
    std::vector<float> X, Y;
    std::vector<char> Tags;          // FreeType point tags: on, conic or cubic control
    std::vector<short> ContourEnds;
};

struct Coverage {
    int Width = 0, Height = 0;
    std::vector<float> Value;        // 0 to 1 a pixel
};

void MoveTo(Path &path, float x, float y);
void LineTo(Path &path, float x, float y);
void CubicTo(Path &path, float x1, float y1, float x2, float y2, float x, float y);
void ClosePath(Path &path);
void AddPolygon(Path &path, const std::vector<float> &points);   // x0, y0, x1, y1, ...
void AddRect(Path &path, float left, float top, float right, float bottom);
void AddEllipse(Path &path, float cx, float cy, float rx, float ry);
void AppendPath(Path &to, const Path &from);
void TransformPath(Path &path, float scaleX, float scaleY, float dx, float dy);

Coverage FillPath(const Path &path, int width, int height);
// Strokes both sides of the outline, width in pixels; open paths get round caps.
Coverage StrokePath(const Path &path, float width, int w, int h, bool open = false);

// Fonts by file name in the DejaVu directory.
extern const char *const SansBold;
extern const char *const SansCondensedBold;
extern const char *const SerifBold;
extern const char *const SerifCondensedBold;
extern const char *const MonoBold;

struct TextStyle {
    const char *Font;
    float Size;                      // pixel size of the em
    float ScaleX = 1;                // horizontal squeeze or stretch
    float Tracking = 0;              // extra pixels between letters
    float Slant = 0;                 // shear: x moves by -Slant * height above the baseline
};

// Outlines of the text with its baseline starting at (x, baseline); returns the advance.
float TextPath(Path &path, const TextStyle &style, const std::string &text, float x, float baseline);
float TextWidth(const TextStyle &style, const std::string &text);
// The ink box of the text's outline (left, top, right, bottom) set at the origin.
void TextBounds(const TextStyle &style, const std::string &text, float box[4]);

Coverage Blur(const Coverage &coverage, int radius);
Coverage Multiply(const Coverage &a, const Coverage &b);
Coverage Subtract(const Coverage &a, const Coverage &b);
