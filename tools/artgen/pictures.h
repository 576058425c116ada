// The drawing of each picture the program carries.
#pragma once
#include "canvas.h"
#include "files.h"

// The stylised K of the short name: top-left at (x, top), height in pixels.
// Its stem is 9/24 of the height wide and the arm's flat top starts 2/24 to its right.
Path KLetter(float x, float top, float height);
// Fills with a shader and draws a dark outline of the given width around it.
void PaintOutlined(Canvas &canvas, const Path &path, const Shader &fill, Rgb outline, float outlineWidth);

Bytes DrawSkin();                              // straight RGBA with the key-coloured pixels set
Canvas DrawCloseFace();
Canvas DrawMinimizeFace();
Canvas DrawAboutButtonFace();
Canvas DrawGlossyFace(int id);                 // 106, 107, 109, 110 or 111
Canvas DrawSendNumberFace();
Canvas DrawSendResultFace();
Canvas DrawOperationGroupPicture();
Canvas DrawAboutLogo();
Canvas DrawIcon(int size);
std::vector<std::string> TextBeamRows();       // 32 rows of '#', 'o' and '.'
