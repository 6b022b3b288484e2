#include "convert/texture_bitmaps.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/current_level.h"
#include "convert/fatal_error.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Two pages filled with 0xEE, a few marked pixels and palette entries, and
// object textures:
//   0: quad spanning columns 16..47, rows 32..63 of page 0
//   3: page 1; its first three corners span columns 10..12, rows 20..21,
//      its fourth corner lies far outside at (200, 200)
//   5: page 0, all corners at (0, 0)
LevelData MakeLevel() {
    LevelData level;
    level.version = kLevelVersion;
    level.texturePages8.assign(2 * kPageBytes8, 0xEE);
    uint8_t* page1 = level.texturePages8.data() + kPageBytes8;
    page1[20 * 256 + 10] = 0xA1;
    page1[20 * 256 + 11] = 0xA2;
    page1[20 * 256 + 12] = 0xA3;
    page1[21 * 256 + 10] = 0xB1;
    page1[21 * 256 + 11] = 0xB2;
    page1[21 * 256 + 12] = 0xB3;
    level.palette[0] = {63, 32, 1};
    level.palette[255] = {10, 20, 30};

    level.objectTextures.resize(6);
    ObjectTexture& big = level.objectTextures[0];
    big.tile = 0;
    big.vertices[0].xPixel = 16, big.vertices[0].yPixel = 32;
    big.vertices[1].xPixel = 47, big.vertices[1].yPixel = 32;
    big.vertices[2].xPixel = 47, big.vertices[2].yPixel = 63;
    big.vertices[3].xPixel = 16, big.vertices[3].yPixel = 63;
    ObjectTexture& small = level.objectTextures[3];
    small.tile = 1;
    small.vertices[0].xPixel = 12, small.vertices[0].yPixel = 20;
    small.vertices[1].xPixel = 10, small.vertices[1].yPixel = 21;
    small.vertices[2].xPixel = 11, small.vertices[2].yPixel = 20;
    small.vertices[3].xPixel = 200, small.vertices[3].yPixel = 200;
    return level;
}

// The 54 header bytes of a bitmap of 3 x 2 pixels (rows of 4 bytes).
const Bytes kHeader3x2 = {
    0x42, 0x4D,             // "BM"
    0x3E, 0x04, 0x00, 0x00, // file size 1078 + 8 = 1086
    0x00, 0x00, 0x00, 0x00, // reserved
    0x36, 0x04, 0x00, 0x00, // pixel rows at 1078
    0x28, 0x00, 0x00, 0x00, // information header size 40
    0x03, 0x00, 0x00, 0x00, // width 3
    0x02, 0x00, 0x00, 0x00, // height 2, bottom-up
    0x01, 0x00,             // planes
    0x08, 0x00,             // bits per pixel
    0x00, 0x00, 0x00, 0x00, // no compression
    0x08, 0x00, 0x00, 0x00, // image size 8
    0x00, 0x00, 0x00, 0x00, // horizontal resolution
    0x00, 0x00, 0x00, 0x00, // vertical resolution
    0x00, 0x01, 0x00, 0x00, // 256 colours used
    0x00, 0x00, 0x00, 0x00, // important colours
};

Bytes Expected3x2File() {
    Bytes bytes = kHeader3x2;
    Bytes palette(1024, 0);
    const Bytes first = {0x03, 0x7F, 0xFB, 0x00}; // (63, 32, 1) as blue 1, green 32, red 63
    const Bytes last = {0x77, 0x4F, 0x27, 0x00};  // (10, 20, 30) as blue 30, green 20, red 10
    std::copy(first.begin(), first.end(), palette.begin());
    std::copy(last.begin(), last.end(), palette.end() - 4);
    bytes.insert(bytes.end(), palette.begin(), palette.end());
    const Bytes rows = {0xB1, 0xB2, 0xB3, 0x00,  // row 21 (the bottom) first
                        0xA1, 0xA2, 0xA3, 0x00}; // then row 20
    bytes.insert(bytes.end(), rows.begin(), rows.end());
    return bytes;
}

uint32_t ReadU32(const Bytes& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t{bytes[at + 3]} << 24;
}

Bytes ReadFile(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    return Bytes(bytes.begin(), bytes.end());
}

std::string EscapeDots(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '.') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

std::string FatalLine(const std::string& what, int errorNumber) {
    std::string line = "^";
    line.append(EscapeDots(what)).append(": ").append(std::strerror(errorNumber)).append("\n$");
    return line;
}

class TextureBitmaps : public ::testing::Test {
protected:
    void SetUp() override {
        ResetTextureAreaCache();
        SetCurrentLevel(level);
    }
    void TearDown() override {
        ResetTextureAreaCache();
        ClearCurrentLevel();
    }

    LevelData level = MakeLevel();
};

} // namespace

TEST_F(TextureBitmaps, NamesFilesInLowerCaseHexWithAtLeastThreeDigits) {
    EXPECT_EQ(TextureBitmapName(0x1a3), "Text1a3.bmp");
    EXPECT_EQ(TextureBitmapName(5), "Text005.bmp");
    EXPECT_EQ(TextureBitmapName(0x1000), "Text1000.bmp");
    EXPECT_EQ(TextureBitmapName(0xffff), "Textffff.bmp");
}

TEST_F(TextureBitmaps, CutsTheSmallestRectangleOfTheCountedCorners) {
    const TextureArea big = CutTextureArea(level, 0, kQuadArea);
    EXPECT_EQ(big.left, 16);
    EXPECT_EQ(big.top, 32);
    EXPECT_EQ(big.width, 32);
    EXPECT_EQ(big.height, 32);
    EXPECT_EQ(big.pixels, level.texturePages8.data());
    EXPECT_EQ(big.palette, &level.palette);
    EXPECT_EQ(big.fileName, "Text000.bmp");

    // A triangle ignores the fourth corner; a quad (any kind but 1) counts it.
    const TextureArea triangle = CutTextureArea(level, 3, kTriangleArea);
    EXPECT_EQ(triangle.pixels, level.texturePages8.data() + kPageBytes8);
    EXPECT_EQ(triangle.left, 10);
    EXPECT_EQ(triangle.top, 20);
    EXPECT_EQ(triangle.width, 3);
    EXPECT_EQ(triangle.height, 2);
    for (const int32_t kind : {kQuadArea, 2}) {
        const TextureArea quad = CutTextureArea(level, 3, kind);
        EXPECT_EQ(quad.left, 10);
        EXPECT_EQ(quad.top, 20);
        EXPECT_EQ(quad.width, 191);
        EXPECT_EQ(quad.height, 181);
    }
}

TEST_F(TextureBitmaps, EncodesHeaderPaletteAndBottomUpPaddedRows) {
    EXPECT_EQ(EncodeTextureBitmap(CutTextureArea(level, 3, kTriangleArea)), Expected3x2File());

    const Bytes big = EncodeTextureBitmap(CutTextureArea(level, 0, kQuadArea));
    ASSERT_EQ(big.size(), 2102u);
    EXPECT_EQ(Bytes(big.begin() + 2, big.begin() + 6), (Bytes{0x36, 0x08, 0x00, 0x00}));
    EXPECT_EQ(Bytes(big.begin() + 18, big.begin() + 26),
              (Bytes{0x20, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Bytes(big.begin() + 34, big.begin() + 38), (Bytes{0x00, 0x04, 0x00, 0x00}));
}

TEST_F(TextureBitmaps, PadsRowsToMultiplesOfFourWithZeros) {
    struct Case {
        uint8_t right; // last column; the area spans columns 0..right of rows 7..9
        uint32_t rowBytes;
    };
    uint8_t* page = level.texturePages8.data();
    for (size_t i = 0; i < kPageBytes8; ++i) {
        page[i] = static_cast<uint8_t>(i * 7 + i / 256 * 13 + 1);
    }
    for (const Case c : {Case{29, 32}, Case{0, 4}, Case{255, 256}, Case{4, 8}}) {
        ObjectTexture& texture = level.objectTextures[5];
        texture.vertices[0] = {0, c.right, 0, 9};
        texture.vertices[1] = {0, 0, 0, 7};
        texture.vertices[2] = {0, 0, 0, 8};
        const TextureArea area = CutTextureArea(level, 5, kTriangleArea);
        const Bytes bytes = EncodeTextureBitmap(area);
        const uint32_t width = c.right + 1u;
        ASSERT_EQ(bytes.size(), 1078 + 3 * c.rowBytes) << "width " << width;
        EXPECT_EQ(ReadU32(bytes, 2), bytes.size());
        EXPECT_EQ(ReadU32(bytes, 18), width);
        EXPECT_EQ(ReadU32(bytes, 34), 3 * c.rowBytes);
        for (uint32_t r = 0; r < 3; ++r) {
            const uint8_t* stored = bytes.data() + 1078 + r * c.rowBytes;
            const uint8_t* pageRow = page + (9 - r) * 256;
            EXPECT_TRUE(std::equal(stored, stored + width, pageRow)) << "width " << width;
            EXPECT_TRUE(
                std::all_of(stored + width, stored + c.rowBytes, [](uint8_t b) { return b == 0; }))
                << "width " << width;
        }
    }
}

TEST_F(TextureBitmaps, WritesEachTextureOnceAndCachesItsFirstArea) {
    ScopedTempDir dir;
    WriteFileBytes("Text003.bmp", std::vector<unsigned char>(5000, 0x55)); // replaced
    const TextureArea& first = GetTextureArea(3, kTriangleArea);
    EXPECT_EQ(ReadFile("Text003.bmp"), Expected3x2File());
    std::filesystem::remove("Text003.bmp");

    // A quad asking later gets the triangle's area, and nothing is written.
    const TextureArea& again = GetTextureArea(3, kQuadArea);
    EXPECT_EQ(&again, &first);
    EXPECT_EQ(again.kind, kTriangleArea);
    EXPECT_EQ(again.width, 3);

    const TextureArea& other = GetTextureArea(0, kQuadArea);
    EXPECT_EQ(other.width, 32);
    EXPECT_EQ(&GetTextureArea(3, kTriangleArea), &first);
    EXPECT_EQ(ListDirectory(dir.path()), (std::vector<std::string>{"Text000.bmp"}));
}

TEST_F(TextureBitmaps, FileThatCannotBeCreatedEndsTheProgram) {
    ScopedTempDir dir;
    std::filesystem::create_directory("Text005.bmp");
    EXPECT_EXIT(GetTextureArea(5, kQuadArea), ::testing::ExitedWithCode(1),
                FatalLine("Text005.bmp", EISDIR));
}

TEST_F(TextureBitmaps, FailedWriteEndsTheProgramAndLeavesNoFile) {
    ScopedTempDir dir;
    std::filesystem::create_symlink("/dev/full", "Text005.bmp");
    EXPECT_EXIT(GetTextureArea(5, kQuadArea), ::testing::ExitedWithCode(1),
                FatalLine("Text005.bmp", ENOSPC));
    EXPECT_TRUE(ListDirectory(dir.path()).empty());
}

TEST(FatalError, PrintsWhatAndTheSystemsReasonThenExitsWithOne) {
    EXPECT_EXIT(
        FatalError("[err 1009] calloc() returned NULL", ENOMEM), ::testing::ExitedWithCode(1),
        "^\\[err 1009\\] calloc\\(\\) returned NULL: " + std::string(std::strerror(ENOMEM)) +
            "\n$");
}
