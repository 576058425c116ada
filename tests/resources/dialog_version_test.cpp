// The About template, the version block and the manifest.
#include "resource_reader.h"
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

static const uint8_t *Align4(const uint8_t *base, const uint8_t *p)
{
    return base + ((p - base + 3) & ~3);
}

TEST(ResourceDialog, AboutTemplateFieldByField)
{
    ResourceView t = FindOwnResource(MAKEINTRESOURCEA(5), 108);
    ASSERT_NE(nullptr, t.Data);
    EXPECT_EQ(1, Read16(t.Data));               // version
    EXPECT_EQ(0xFFFF, Read16(t.Data + 2));      // extended template
    EXPECT_EQ(0u, Read32(t.Data + 4));          // help identifier
    EXPECT_EQ(0x00000008u, Read32(t.Data + 8)); // WS_EX_TOPMOST
    uint32_t style = Read32(t.Data + 12);
    EXPECT_EQ(0x80C000C0u, style);
    EXPECT_EQ(0u, style & (WS_SYSMENU | WS_VISIBLE));
    EXPECT_EQ(1, Read16(t.Data + 16));
    EXPECT_EQ(100, Read16(t.Data + 18));
    EXPECT_EQ(100, Read16(t.Data + 20));
    EXPECT_EQ(251, Read16(t.Data + 22));
    EXPECT_EQ(128, Read16(t.Data + 24));
    EXPECT_EQ(0, Read16(t.Data + 26));          // no menu
    EXPECT_EQ(0, Read16(t.Data + 28));          // the platform's dialog class
    size_t length = 0;
    const uint8_t *p = t.Data + 30;
    EXPECT_EQ("About Kivo", ReadWide(p, &length));
    p += length;
    EXPECT_EQ(8, Read16(p));
    EXPECT_EQ(700, Read16(p + 2));
    EXPECT_EQ(0, p[4]);                          // not italic
    EXPECT_EQ(0, p[5]);                          // ANSI character set
    EXPECT_EQ("Microsoft Sans Serif", ReadWide(p + 6, &length));
    const uint8_t *item = Align4(t.Data, p + 6 + length);
    EXPECT_EQ(0u, Read32(item));
    EXPECT_EQ(0u, Read32(item + 4));
    EXPECT_EQ(0x50010001u, Read32(item + 8));
    EXPECT_EQ(102, Read16(item + 12));
    EXPECT_EQ(112, Read16(item + 14));
    EXPECT_EQ(50, Read16(item + 16));
    EXPECT_EQ(14, Read16(item + 18));
    EXPECT_EQ(1u, Read32(item + 20));            // IDOK
    EXPECT_EQ(0xFFFF, Read16(item + 24));
    EXPECT_EQ(0x0080, Read16(item + 26));        // button class
    EXPECT_EQ("OK", ReadWide(item + 28, &length));
    EXPECT_EQ(0, Read16(item + 28 + length));    // no creation data
    EXPECT_EQ(t.Size, (DWORD)(item + 30 + length - t.Data));
}

static INT_PTR CALLBACK QuietDialog(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

TEST(ResourceDialog, ThePlatformBuildsTheBoxFromIt)
{
    HWND box = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(108), NULL, QuietDialog, 0);
    ASSERT_NE(nullptr, box);
    char caption[32] = {};
    GetWindowTextA(box, caption, sizeof caption);
    EXPECT_STREQ("About Kivo", caption);
    LONG style = GetWindowLongA(box, GWL_STYLE);
    EXPECT_EQ(0, style & WS_SYSMENU);
    EXPECT_EQ(0, style & WS_VISIBLE);   // the modal function shows it itself
    EXPECT_TRUE(GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST);
    HWND ok = GetDlgItem(box, IDOK);
    ASSERT_NE(nullptr, ok);
    EXPECT_EQ(BS_DEFPUSHBUTTON, GetWindowLongA(ok, GWL_STYLE) & 0x0F);
    EXPECT_EQ(ok, GetWindow(box, GW_CHILD));
    EXPECT_EQ(nullptr, GetWindow(ok, GW_HWNDNEXT));
    DestroyWindow(box);
}

// One node of a version block: length, value length, type, key, then value and children.
struct VersionNode {
    std::string Key;
    const uint8_t *Value;
    uint16_t ValueLength, Type;
    std::vector<VersionNode> Children;
};

static VersionNode ReadNode(const uint8_t *base, const uint8_t *p)
{
    VersionNode node;
    uint16_t length = Read16(p);
    node.ValueLength = Read16(p + 2);
    node.Type = Read16(p + 4);
    size_t keyBytes = 0;
    node.Key = ReadWide(p + 6, &keyBytes);
    node.Value = Align4(base, p + 6 + keyBytes);
    // Text values count characters, binary ones bytes.
    const uint8_t *child = Align4(base, node.Value + node.ValueLength * (node.Type == 1 ? 2 : 1));
    while (child < p + length) {
        node.Children.push_back(ReadNode(base, child));
        child = Align4(base, child + Read16(child));
    }
    return node;
}

TEST(ResourceVersion, FixedPartStringsAndTranslation)
{
    ResourceView block = FindOwnResource(MAKEINTRESOURCEA(16), 1);
    ASSERT_NE(nullptr, block.Data);
    VersionNode root = ReadNode(block.Data, block.Data);
    EXPECT_EQ("VS_VERSION_INFO", root.Key);
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), root.ValueLength);
    const VS_FIXEDFILEINFO *fixed = reinterpret_cast<const VS_FIXEDFILEINFO *>(root.Value);
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(0x00010000u, fixed->dwStrucVersion);
    // The version is CMake's project version, and 0 as its fourth number.
    const uint32_t versionMS = (PROJECT_VERSION_MAJOR << 16) | PROJECT_VERSION_MINOR, versionLS = PROJECT_VERSION_PATCH << 16;
    EXPECT_EQ(versionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(versionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(versionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(versionLS, fixed->dwProductVersionLS);
    EXPECT_EQ(0x3Fu, fixed->dwFileFlagsMask);
    EXPECT_EQ(0u, fixed->dwFileFlags);
    EXPECT_EQ(0x00040004u, fixed->dwFileOS);
    EXPECT_EQ(1u, fixed->dwFileType);
    EXPECT_EQ(0u, fixed->dwFileSubtype);
    EXPECT_EQ(0u, fixed->dwFileDateMS);
    EXPECT_EQ(0u, fixed->dwFileDateLS);

    ASSERT_EQ(2u, root.Children.size());
    const VersionNode &strings = root.Children[0];
    EXPECT_EQ("StringFileInfo", strings.Key);
    ASSERT_EQ(1u, strings.Children.size());
    EXPECT_EQ("040904b0", strings.Children[0].Key);
    std::vector<std::pair<std::string, std::string>> values;
    for (const VersionNode &value : strings.Children[0].Children)
        values.push_back({value.Key, ReadWide(value.Value)});
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"CompanyName", "Kivo Instruments"},
        {"FileDescription", "Kivo Tally Station Deluxe"},
        {"FileVersion", PROJECT_VERSION ".0"},
        {"InternalName", "pnl.exe"},
        {"LegalCopyright", "Copyright (C) 2026 Kivo Instruments"},
        {"OriginalFilename", "Kivo.exe"},
        {"ProductName", "KIVO"},
        {"ProductVersion", PROJECT_VERSION ".0"},
    };
    EXPECT_EQ(expected, values);

    const VersionNode &variables = root.Children[1];
    EXPECT_EQ("VarFileInfo", variables.Key);
    ASSERT_EQ(1u, variables.Children.size());
    EXPECT_EQ("Translation", variables.Children[0].Key);
    ASSERT_EQ(4, variables.Children[0].ValueLength);
    EXPECT_EQ(0x0409, Read16(variables.Children[0].Value));
    EXPECT_EQ(0x04B0, Read16(variables.Children[0].Value + 2));
}

TEST(ResourceManifest, AsksForNoElevationAndCommonControlsSix)
{
    ResourceView manifest = FindOwnResource(MAKEINTRESOURCEA(24), 1);
    ASSERT_NE(nullptr, manifest.Data);
    std::string text(reinterpret_cast<const char *>(manifest.Data), manifest.Size);
    for (const char *part : {
             "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">",
             "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">",
             "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
             "type=\"win32\"", "name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
             "processorArchitecture=\"*\"", "publicKeyToken=\"6595b64144ccf1df\"", "language=\"*\""}) {
        EXPECT_NE(std::string::npos, text.find(part)) << part;
    }
    // Exactly one dependency, and it sits inside it.
    size_t dependency = text.find("<dependentAssembly>");
    ASSERT_NE(std::string::npos, dependency);
    EXPECT_EQ(std::string::npos, text.find("<dependentAssembly>", dependency + 1));
    EXPECT_LT(dependency, text.find("Microsoft.Windows.Common-Controls"));
}
