// Every file the generator writes into resources/, and the contact sheet.
#pragma once
#include "files.h"
#include <string>
#include <vector>

struct ArtFile {
    std::string Name;
    Bytes Contents;
};

std::vector<ArtFile> GenerateArtwork();
// The application icon's images, one per size of the icon group, smallest first.
std::vector<IconImage> IconImages();
// The same images as PNGs in a freedesktop icon theme's folders under directory.
bool WriteIconTheme(const std::string &directory, const std::string &name);
// One PNG of every picture, the icon and the cursor, the skin also enlarged
// and over a checkerboard where it is see-through.
bool WriteContactSheet(const std::string &path);
