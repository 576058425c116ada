// kivo-artgen: draws the program's pictures, icon and cursor.
//   kivo-artgen --out DIR             writes every resource file into DIR
//   kivo-artgen --contact-sheet FILE  writes a PNG of all of them
//   kivo-artgen --icon-theme DIR      writes the icon as DIR/SIZExSIZE/apps/kivo.png
#include "artwork.h"
#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--out") == 0) {
        for (const ArtFile &file : GenerateArtwork())
            if (!WriteBytes(std::string(argv[2]) + "/" + file.Name, file.Contents)) {
                std::fprintf(stderr, "kivo-artgen: cannot write %s/%s\n", argv[2], file.Name.c_str());
                return 1;
            }
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--contact-sheet") == 0) {
        if (!WriteContactSheet(argv[2])) {
            std::fprintf(stderr, "kivo-artgen: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--icon-theme") == 0) {
        if (!WriteIconTheme(argv[2], "kivo")) {
            std::fprintf(stderr, "kivo-artgen: cannot write the icons under %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    std::fprintf(stderr, "usage: kivo-artgen --out DIR | --contact-sheet FILE.png | --icon-theme DIR\n");
    return 2;
}
