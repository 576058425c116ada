// The generator reproduces the committed resource files byte for byte, and
// every generated file is one the resource script can find.
#include "artwork.h"
#include "pictures.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

TEST(ArtworkGenerator, ReproducesTheCommittedFiles)
{
    char directory[] = "/tmp/kivo-artgen-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(directory));
    std::vector<ArtFile> files = GenerateArtwork();
    ASSERT_EQ(16u, files.size());
    Bytes script;
    ASSERT_TRUE(ReadBytes(std::string(RESOURCES_DIR) + "/kivo.rc", script));
    std::string scriptText(script.begin(), script.end());
    for (const ArtFile &file : files) {
        SCOPED_TRACE(file.Name);
        EXPECT_NE(std::string::npos, scriptText.find("\"" + file.Name + "\""));
        std::string fresh = std::string(directory) + "/" + file.Name;
        ASSERT_TRUE(WriteBytes(fresh, file.Contents));
        Bytes written, committed;
        ASSERT_TRUE(ReadBytes(fresh, written));
        ASSERT_TRUE(ReadBytes(std::string(RESOURCES_DIR) + "/" + file.Name, committed))
            << "run kivo-artgen --out resources";
        EXPECT_TRUE(written == committed) << "regenerate with kivo-artgen --out resources";
        std::remove(fresh.c_str());
    }
    rmdir(directory);
}

// The two small squares shade between stated colours, which stand exactly at
// their upper-left and lower-right pixels: nothing of the square (the bevel
// included) is lighter or darker than those ends.
TEST(ArtworkGenerator, FrameButtonSquaresRunBetweenTheirCornerColours)
{
    struct Square { const char *name; Canvas face; uint8_t light[3], dark[3]; };
    const Square squares[] = {
        {"close", DrawCloseFace(), {220, 18, 18}, {151, 4, 1}},
        {"minimise", DrawMinimizeFace(), {73, 189, 232}, {17, 81, 140}},
    };
    for (const Square &square : squares) {
        SCOPED_TRACE(square.name);
        std::vector<uint8_t> pixels = ToBytes(square.face);
        auto at = [&](int x, int y) { return &pixels[(y * square.face.Width + x) * 4]; };
        int last = square.face.Width - 1;
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(square.light[c], at(0, 0)[c]);
            EXPECT_EQ(square.dark[c], at(last, last)[c]);
        }
        // The edges carry no symbol, so they show the shading alone.
        for (int i = 0; i <= last; ++i)
            for (const uint8_t *p : {at(i, 0), at(0, i), at(i, last), at(last, i)})
                for (int c = 0; c < 3; ++c) {
                    EXPECT_LE(std::min(square.light[c], square.dark[c]), p[c]);
                    EXPECT_GE(std::max(square.light[c], square.dark[c]), p[c]);
                }
    }
}
