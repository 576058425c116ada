// Puts the pictures into their files and lays them out on a contact sheet.
#include "artwork.h"
#include "pictures.h"
#include <algorithm>
#include <filesystem>

struct Picture {
    std::string Name;
    int Width, Height, Bits;
    Bytes Rgba;
};

static Picture FromCanvas(const std::string &name, const Canvas &canvas, int bits)
{
    Bytes rgba = ToBytes(canvas);
    AvoidKey(rgba);
    for (size_t i = 3; i < rgba.size(); i += 4)
        rgba[i] = 255;
    return {name, canvas.Width, canvas.Height, bits, rgba};
}

static std::vector<Picture> Pictures()
{
    std::vector<Picture> pictures;
    pictures.push_back({"skin.bmp", 350, 350, 24, DrawSkin()});
    pictures.push_back(FromCanvas("close.bmp", DrawCloseFace(), 32));
    pictures.push_back(FromCanvas("minimize.bmp", DrawMinimizeFace(), 32));
    pictures.push_back(FromCanvas("about_button.bmp", DrawAboutButtonFace(), 24));
    pictures.push_back(FromCanvas("switch_on.bmp", DrawGlossyFace(106), 24));
    pictures.push_back(FromCanvas("switch_off.bmp", DrawGlossyFace(107), 24));
    pictures.push_back(FromCanvas("save.bmp", DrawGlossyFace(109), 24));
    pictures.push_back(FromCanvas("erase.bmp", DrawGlossyFace(110), 24));
    pictures.push_back(FromCanvas("reset.bmp", DrawGlossyFace(111), 24));
    pictures.push_back(FromCanvas("send_number.bmp", DrawSendNumberFace(), 24));
    pictures.push_back(FromCanvas("send_result.bmp", DrawSendResultFace(), 24));
    pictures.push_back(FromCanvas("operation_group.bmp", DrawOperationGroupPicture(), 24));
    pictures.push_back(FromCanvas("about_logo.bmp", DrawAboutLogo(), 24));
    return pictures;
}

static const int IconSizes[] = {16, 32, 48, 64, 128, 256};

std::vector<IconImage> IconImages()
{
    std::vector<IconImage> images;
    for (int size : IconSizes) {
        Bytes rgba = ToBytes(DrawIcon(size));
        AvoidKey(rgba);
        images.push_back({size, rgba});
    }
    return images;
}

std::vector<ArtFile> GenerateArtwork()
{
    std::vector<ArtFile> files;
    for (const Picture &picture : Pictures())
        files.push_back({picture.Name, BmpFile(picture.Rgba, picture.Width, picture.Height, picture.Bits)});
    files.push_back({"kivo.ico", IconFile(IconImages())});
    Bytes cursor = CursorImageResource(TextBeamRows(), 16, 9);
    files.push_back({"text_beam_cursor.bin", cursor});
    files.push_back({"text_beam_group.bin", CursorGroupResource(cursor, 7)});
    return files;
}

// The hicolor theme's layout, SIZExSIZE/apps/NAME.png, which desktop menus read.
bool WriteIconTheme(const std::string &directory, const std::string &name)
{
    for (const IconImage &icon : IconImages()) {
        std::string size = std::to_string(icon.Size);
        std::filesystem::path folder = std::filesystem::path(directory) / (size + "x" + size) / "apps";
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error || !WritePng((folder / (name + ".png")).string(), icon.Rgba, icon.Size, icon.Size))
            return false;
    }
    return true;
}

// Sheet drawing: pictures are copied over a mid-grey sheet, scaled by whole pixels.
struct Sheet {
    int Width, Height;
    Bytes Rgba;
};

static void Place(Sheet &sheet, const Bytes &rgba, int width, int height, int left, int top, int scale, bool checkKey)
{
    for (int y = 0; y < height * scale; ++y)
        for (int x = 0; x < width * scale; ++x) {
            int sx = left + x, sy = top + y;
            if (sx < 0 || sy < 0 || sx >= sheet.Width || sy >= sheet.Height)
                continue;
            const uint8_t *p = &rgba[((size_t)(y / scale) * width + x / scale) * 4];
            uint8_t *q = &sheet.Rgba[((size_t)sy * sheet.Width + sx) * 4];
            // See-through pixels show a checkerboard, as a desktop would show through.
            bool checker = ((sx / 8) + (sy / 8)) % 2 == 0;
            uint8_t back = checker ? 90 : 150;
            float a = checkKey && IsKey(p) ? 0.0f : p[3] / 255.0f;
            for (int c = 0; c < 3; ++c)
                q[c] = (uint8_t)(p[c] * a + back * (1 - a) + 0.5f);
            q[3] = 255;
        }
}

bool WriteContactSheet(const std::string &path)
{
    Sheet sheet{1500, 1470, Bytes((size_t)1500 * 1470 * 4, 60)};
    for (size_t i = 3; i < sheet.Rgba.size(); i += 4)
        sheet.Rgba[i] = 255;
    std::vector<Picture> pictures = Pictures();
    const Picture &skin = pictures[0];
    // The skin as stored, as the window shows it, and its top-left and gem enlarged.
    Place(sheet, skin.Rgba, 350, 350, 10, 10, 1, false);
    Place(sheet, skin.Rgba, 350, 350, 370, 10, 1, true);
    Bytes corner((size_t)120 * 60 * 4), gem((size_t)120 * 60 * 4);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 120; ++x)
            for (int c = 0; c < 4; ++c) {
                corner[((size_t)y * 120 + x) * 4 + c] = skin.Rgba[((size_t)y * 350 + x) * 4 + c];
                gem[((size_t)y * 120 + x) * 4 + c] = skin.Rgba[((size_t)(y + 285) * 350 + x + 117) * 4 + c];
            }
    Place(sheet, corner, 120, 60, 730, 10, 6, true);
    Place(sheet, gem, 120, 60, 730, 380, 6, true);
    Place(sheet, skin.Rgba, 350, 350, 10, 370, 2, true);
    // Button faces and pictures at 1:1 and at 4x.
    int x = 730, y = 760, rowHeight = 0;
    for (size_t i = 1; i < pictures.size(); ++i) {
        const Picture &p = pictures[i];
        int scale = p.Width > 60 ? 3 : 4;
        if (x + p.Width * (scale + 1) + 30 > sheet.Width) {
            x = 730;
            y += rowHeight + 20;
            rowHeight = 0;
        }
        rowHeight = std::max(rowHeight, p.Height * scale);
        Place(sheet, p.Rgba, p.Width, p.Height, x, y, 1, false);
        Place(sheet, p.Rgba, p.Width, p.Height, x + p.Width + 6, y, scale, false);
        x += p.Width * (scale + 1) + 20;
    }
    std::vector<IconImage> icons = IconImages();
    int ix = 10;
    for (const IconImage &icon : icons) {
        Place(sheet, icon.Rgba, icon.Size, icon.Size, ix, 1190 + (256 - icon.Size), 1, false);
        ix += icon.Size + 12;
    }
    std::vector<std::string> beam = TextBeamRows();
    Bytes cursor((size_t)32 * 32 * 4);
    for (int cy = 0; cy < 32; ++cy)
        for (int cx = 0; cx < 32; ++cx) {
            char c = beam[cy][cx];
            uint8_t *q = &cursor[((size_t)cy * 32 + cx) * 4];
            q[0] = q[1] = q[2] = c == 'o' ? 255 : 0;
            q[3] = c == '.' ? 0 : 255;
        }
    Place(sheet, cursor, 32, 32, ix + 10, 1250, 6, false);
    return WritePng(path, sheet.Rgba, sheet.Width, sheet.Height);
}
