// Shapes and type through FreeType: its smooth rasteriser gives the coverage,
// its stroker the outlines; nothing here rasterises by hand.
#include "raster.h"
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_STROKER_H
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

const char *const SansBold = "DejaVuSans-Bold.ttf";
const char *const SansCondensedBold = "DejaVuSansCondensed-Bold.ttf";
const char *const SerifBold = "DejaVuSerif-Bold.ttf";
const char *const SerifCondensedBold = "DejaVuSerifCondensed-Bold.ttf";
const char *const MonoBold = "DejaVuSansMono-Bold.ttf";

static const char FontDirectory[] = "/usr/share/fonts/truetype/dejavu/";

static FT_Library Library()
{
    static FT_Library library = nullptr;
    if (!library && FT_Init_FreeType(&library) != 0) {
        std::fprintf(stderr, "kivo-artgen: FreeType would not start\n");
        std::exit(1);
    }
    return library;
}

// Faces stay open for the whole run; the generator is a short-lived tool.
static FT_Face Face(const char *file)
{
    static std::map<std::string, FT_Face> faces;
    auto found = faces.find(file);
    if (found != faces.end())
        return found->second;
    FT_Face face = nullptr;
    std::string path = std::string(FontDirectory) + file;
    if (FT_New_Face(Library(), path.c_str(), 0, &face) != 0) {
        std::fprintf(stderr, "kivo-artgen: cannot open font %s (package fonts-dejavu-core / fonts-dejavu-extra)\n", path.c_str());
        std::exit(1);
    }
    faces[file] = face;
    return face;
}

static void AddPoint(Path &path, float x, float y, char tag)
{
    path.X.push_back(x);
    path.Y.push_back(y);
    path.Tags.push_back(tag);
}

void MoveTo(Path &path, float x, float y)
{
    if (!path.X.empty() && (path.ContourEnds.empty() || path.ContourEnds.back() != (short)(path.X.size() - 1)))
        ClosePath(path);
    AddPoint(path, x, y, FT_CURVE_TAG_ON);
}

void LineTo(Path &path, float x, float y) { AddPoint(path, x, y, FT_CURVE_TAG_ON); }

void CubicTo(Path &path, float x1, float y1, float x2, float y2, float x, float y)
{
    AddPoint(path, x1, y1, FT_CURVE_TAG_CUBIC);
    AddPoint(path, x2, y2, FT_CURVE_TAG_CUBIC);
    AddPoint(path, x, y, FT_CURVE_TAG_ON);
}

void ClosePath(Path &path)
{
    if (!path.X.empty())
        path.ContourEnds.push_back((short)(path.X.size() - 1));
}

void AddPolygon(Path &path, const std::vector<float> &points)
{
    MoveTo(path, points[0], points[1]);
    for (size_t i = 2; i + 1 < points.size(); i += 2)
        LineTo(path, points[i], points[i + 1]);
    ClosePath(path);
}

void AddRect(Path &path, float left, float top, float right, float bottom)
{
    AddPolygon(path, {left, top, right, top, right, bottom, left, bottom});
}

void AddEllipse(Path &path, float cx, float cy, float rx, float ry)
{
    // Four cubic quarter arcs; 0.5523 puts the midpoints on the true ellipse.
    const float k = 0.55228475f;
    MoveTo(path, cx + rx, cy);
    CubicTo(path, cx + rx, cy + k * ry, cx + k * rx, cy + ry, cx, cy + ry);
    CubicTo(path, cx - k * rx, cy + ry, cx - rx, cy + k * ry, cx - rx, cy);
    CubicTo(path, cx - rx, cy - k * ry, cx - k * rx, cy - ry, cx, cy - ry);
    CubicTo(path, cx + k * rx, cy - ry, cx + rx, cy - k * ry, cx + rx, cy);
    ClosePath(path);
}

void AppendPath(Path &to, const Path &from)
{
    short base = (short)to.X.size();
    to.X.insert(to.X.end(), from.X.begin(), from.X.end());
    to.Y.insert(to.Y.end(), from.Y.begin(), from.Y.end());
    to.Tags.insert(to.Tags.end(), from.Tags.begin(), from.Tags.end());
    for (short end : from.ContourEnds)
        to.ContourEnds.push_back((short)(base + end));
}

void TransformPath(Path &path, float scaleX, float scaleY, float dx, float dy)
{
    for (size_t i = 0; i < path.X.size(); ++i) {
        path.X[i] = path.X[i] * scaleX + dx;
        path.Y[i] = path.Y[i] * scaleY + dy;
    }
}

// FreeType counts y upwards from the bottom edge; the canvas counts down.
static FT_Outline ToOutline(const Path &source, int height)
{
    Path path = source;
    if (path.ContourEnds.empty() || path.ContourEnds.back() != (short)(path.X.size() - 1))
        ClosePath(path);
    FT_Outline outline;
    FT_Outline_New(Library(), (FT_UInt)path.X.size(), (FT_Int)path.ContourEnds.size(), &outline);
    for (size_t i = 0; i < path.X.size(); ++i) {
        outline.points[i].x = (FT_Pos)std::lround(path.X[i] * 64.0f);
        outline.points[i].y = (FT_Pos)std::lround((height - path.Y[i]) * 64.0f);
        outline.tags[i] = path.Tags[i];
    }
    for (size_t i = 0; i < path.ContourEnds.size(); ++i)
        outline.contours[i] = path.ContourEnds[i];
    outline.flags &= ~FT_OUTLINE_EVEN_ODD_FILL;   // non-zero winding; keeps the owner flag so Done frees it
    return outline;
}

static void CollectSpans(int y, int count, const FT_Span *spans, void *user)
{
    Coverage &coverage = *static_cast<Coverage *>(user);
    int row = coverage.Height - 1 - y;
    if (row < 0 || row >= coverage.Height)
        return;
    for (int i = 0; i < count; ++i)
        for (int x = spans[i].x; x < spans[i].x + spans[i].len; ++x)
            if (x >= 0 && x < coverage.Width)
                coverage.Value[(size_t)row * coverage.Width + x] = spans[i].coverage / 255.0f;
}

static Coverage RenderOutline(FT_Outline &outline, int width, int height)
{
    Coverage coverage;
    coverage.Width = width;
    coverage.Height = height;
    coverage.Value.assign((size_t)width * height, 0.0f);
    FT_Raster_Params params = {};
    params.source = &outline;
    params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
    params.gray_spans = CollectSpans;
    params.user = &coverage;
    params.clip_box.xMin = 0;
    params.clip_box.yMin = 0;
    params.clip_box.xMax = width;
    params.clip_box.yMax = height;
    FT_Outline_Render(Library(), &outline, &params);
    return coverage;
}

Coverage FillPath(const Path &path, int width, int height)
{
    if (path.X.empty())
        return Coverage{width, height, std::vector<float>((size_t)width * height, 0.0f)};
    FT_Outline outline = ToOutline(path, height);
    Coverage coverage = RenderOutline(outline, width, height);
    FT_Outline_Done(Library(), &outline);
    return coverage;
}

Coverage StrokePath(const Path &path, float strokeWidth, int width, int height, bool open)
{
    if (path.X.empty())
        return FillPath(path, width, height);
    FT_Outline outline = ToOutline(path, height);
    FT_Stroker stroker;
    FT_Stroker_New(Library(), &stroker);
    FT_Stroker_Set(stroker, (FT_Fixed)std::lround(strokeWidth * 32.0f), FT_STROKER_LINECAP_ROUND,
                   FT_STROKER_LINEJOIN_ROUND, 0);
    FT_Stroker_ParseOutline(stroker, &outline, open);
    FT_UInt points = 0, contours = 0;
    FT_Stroker_GetCounts(stroker, &points, &contours);
    FT_Outline stroked;
    FT_Outline_New(Library(), points, (FT_Int)contours, &stroked);
    stroked.n_points = 0;
    stroked.n_contours = 0;
    FT_Stroker_Export(stroker, &stroked);
    Coverage coverage = RenderOutline(stroked, width, height);
    FT_Outline_Done(Library(), &stroked);
    FT_Stroker_Done(stroker);
    FT_Outline_Done(Library(), &outline);
    return coverage;
}

static FT_Face SizedFace(const TextStyle &style)
{
    FT_Face face = Face(style.Font);
    FT_Set_Char_Size(face, 0, (FT_F26Dot6)std::lround(style.Size * 64.0f), 72, 72);
    return face;
}

float TextPath(Path &path, const TextStyle &style, const std::string &text, float x, float baseline)
{
    FT_Face face = SizedFace(style);
    float pen = x;
    for (size_t i = 0; i < text.size(); ++i) {
        // Latin-1 bytes, so the generator can draw a copyright sign.
        FT_UInt glyph = FT_Get_Char_Index(face, (unsigned char)text[i]);
        if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0)
            continue;
        const FT_Outline &outline = face->glyph->outline;
        short start = 0;
        for (int c = 0; c < outline.n_contours; ++c) {
            Path contour;
            for (short p = start; p <= outline.contours[c]; ++p) {
                float up = outline.points[p].y / 64.0f;
                float px = pen + (outline.points[p].x / 64.0f) * style.ScaleX + style.Slant * up;
                AddPoint(contour, px, baseline - up, FT_CURVE_TAG(outline.tags[p]));
            }
            ClosePath(contour);
            AppendPath(path, contour);
            start = (short)(outline.contours[c] + 1);
        }
        pen += face->glyph->advance.x / 64.0f * style.ScaleX + (i + 1 < text.size() ? style.Tracking : 0.0f);
    }
    return pen - x;
}

float TextWidth(const TextStyle &style, const std::string &text)
{
    Path scratch;
    return TextPath(scratch, style, text, 0, 0);
}

void TextBounds(const TextStyle &style, const std::string &text, float box[4])
{
    Path path;
    TextPath(path, style, text, 0, 0);
    box[0] = box[1] = 1e9f;
    box[2] = box[3] = -1e9f;
    // Control points bound the curves closely enough for placing words.
    for (size_t i = 0; i < path.X.size(); ++i) {
        box[0] = std::min(box[0], path.X[i]);
        box[1] = std::min(box[1], path.Y[i]);
        box[2] = std::max(box[2], path.X[i]);
        box[3] = std::max(box[3], path.Y[i]);
    }
}

static void BoxPass(std::vector<float> &value, int width, int height, int radius, bool horizontal)
{
    std::vector<float> out(value.size());
    int length = horizontal ? width : height, lines = horizontal ? height : width;
    for (int line = 0; line < lines; ++line)
        for (int i = 0; i < length; ++i) {
            float sum = 0;
            for (int k = -radius; k <= radius; ++k) {
                int j = std::clamp(i + k, 0, length - 1);
                sum += horizontal ? value[(size_t)line * width + j] : value[(size_t)j * width + line];
            }
            float mean = sum / (2 * radius + 1);
            if (horizontal) out[(size_t)line * width + i] = mean;
            else out[(size_t)i * width + line] = mean;
        }
    value.swap(out);
}

Coverage Blur(const Coverage &coverage, int radius)
{
    Coverage result = coverage;
    // Two box passes each way come close to a Gaussian.
    for (int pass = 0; pass < 2; ++pass) {
        BoxPass(result.Value, result.Width, result.Height, radius, true);
        BoxPass(result.Value, result.Width, result.Height, radius, false);
    }
    return result;
}

Coverage Multiply(const Coverage &a, const Coverage &b)
{
    Coverage result = a;
    for (size_t i = 0; i < result.Value.size(); ++i)
        result.Value[i] *= b.Value[i];
    return result;
}

Coverage Subtract(const Coverage &a, const Coverage &b)
{
    Coverage result = a;
    for (size_t i = 0; i < result.Value.size(); ++i)
        result.Value[i] = std::max(0.0f, a.Value[i] - b.Value[i]);
    return result;
}
