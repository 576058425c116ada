// Shapes shared by several pictures: the stylised K and outlined fills.
#include "pictures.h"

Path KLetter(float x, float top, float height)
{
    // In 24ths of the height: stem 0 to 9, arm's flat top 11 to 20, leg out to 23.5.
    static const float shape[] = {0, 0, 9, 0, 9, 9.2f, 11, 7.0f, 11, 0, 20, 0, 20, 5.0f, 13.9f, 11.3f,
                                  23.5f, 24, 14.4f, 24, 9, 15.4f, 9, 24, 0, 24};
    std::vector<float> points;
    for (float v : shape)
        points.push_back(v * height / 24.0f);
    for (size_t i = 0; i < points.size(); i += 2) {
        points[i] += x;
        points[i + 1] += top;
    }
    Path path;
    AddPolygon(path, points);
    return path;
}

void PaintOutlined(Canvas &canvas, const Path &path, const Shader &fill, Rgb outline, float outlineWidth)
{
    Paint(canvas, StrokePath(path, outlineWidth, canvas.Width, canvas.Height), outline);
    Paint(canvas, FillPath(path, canvas.Width, canvas.Height), fill);
}
