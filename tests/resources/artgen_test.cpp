// The generator reproduces the committed resource files byte for byte, and
// every generated file is one the resource script can find.
#include "artwork.h"
#include <gtest/gtest.h>
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
    ASSERT_TRUE(ReadBytes(std::string(KIVO_RESOURCES_DIR) + "/kivo.rc", script));
    std::string scriptText(script.begin(), script.end());
    for (const ArtFile &file : files) {
        SCOPED_TRACE(file.Name);
        EXPECT_NE(std::string::npos, scriptText.find("\"" + file.Name + "\""));
        std::string fresh = std::string(directory) + "/" + file.Name;
        ASSERT_TRUE(WriteBytes(fresh, file.Contents));
        Bytes written, committed;
        ASSERT_TRUE(ReadBytes(fresh, written));
        ASSERT_TRUE(ReadBytes(std::string(KIVO_RESOURCES_DIR) + "/" + file.Name, committed))
            << "run kivo-artgen --out resources";
        EXPECT_TRUE(written == committed) << "regenerate with kivo-artgen --out resources";
        std::remove(fresh.c_str());
    }
    rmdir(directory);
}
