#include "convert/texture_bitmaps.h"

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/conversion_context.h"
#include "tests/support/tree_outline.h"

namespace {

// Two pages filled with 0xEE, and object textures:
//   0: quad spanning columns 16..47, rows 32..63 of page 0
//   3: page 1; its first three corners span columns 10..12, rows 20..21,
//      its fourth corner lies far outside at (200, 200)
//   5: page 0, all corners at (0, 0)
LevelData MakeLevel() {
    LevelData level;
    level.texturePages8.assign(2 * kPageBytes8, 0xEE);

    level.objectTextures.resize(6);
    // Corners as (0, x pixel, 0, y pixel).
    level.objectTextures[0].vertices = {
        {{0, 16, 0, 32}, {0, 47, 0, 32}, {0, 47, 0, 63}, {0, 16, 0, 63}}};
    level.objectTextures[3].tile = 1;
    level.objectTextures[3].vertices = {
        {{0, 12, 0, 20}, {0, 10, 0, 21}, {0, 11, 0, 20}, {0, 200, 0, 200}}};
    return level;
}

// Left, top, width and height.
std::array<int32_t, 4> Rectangle(const TextureArea& area) {
    return {area.left, area.top, area.width, area.height};
}

class TextureBitmaps : public ::testing::Test {
protected:
    LevelData level = MakeLevel();
    ConversionContext context{level};
};

} // namespace

TEST_F(TextureBitmaps, CutsTheSmallestRectangleOfTheCountedCorners) {
    const TextureArea big = CutTextureArea(level, 0, kQuadArea);
    EXPECT_EQ(Rectangle(big), (std::array<int32_t, 4>{16, 32, 32, 32}));
    EXPECT_EQ(big.pixels, level.texturePages8.data());
    EXPECT_EQ(TextureBitmapName(0x1a3f), "Text1a3f.bmp");

    // A triangle ignores the fourth corner; a quad (any kind but 1) counts it.
    const TextureArea triangle = CutTextureArea(level, 3, kTriangleArea);
    EXPECT_EQ(triangle.pixels, level.texturePages8.data() + kPageBytes8);
    EXPECT_EQ(Rectangle(triangle), (std::array<int32_t, 4>{10, 20, 3, 2}));
    for (const int32_t kind : {kQuadArea, 2}) {
        EXPECT_EQ(Rectangle(CutTextureArea(level, 3, kind)),
                  (std::array<int32_t, 4>{10, 20, 191, 181}));
    }
}

// The files' bytes are pinned by the end-to-end test.
TEST_F(TextureBitmaps, WritesEachTextureOnceAndCachesItsFirstArea) {
    ScopedTempDir dir;
    WriteFileBytes("Text003.bmp", std::vector<unsigned char>(5000, 0x55)); // replaced
    const TextureArea* first = GetTextureArea(context, 3, kTriangleArea);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(ReadFileBytes("Text003.bmp").size(), 1078u + 2 * 4); // 3 x 2, rows of 4 bytes
    std::filesystem::remove("Text003.bmp");

    // A quad asking later gets the triangle's area, and nothing is written.
    EXPECT_EQ(GetTextureArea(context, 3, kQuadArea), first);

    const TextureArea* other = GetTextureArea(context, 0, kQuadArea);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->width, 32);
    EXPECT_EQ(GetTextureArea(context, 3, kTriangleArea), first);
    EXPECT_EQ(ListDirectory(dir.path()), (std::vector<std::string>{"Text000.bmp"}));
}

// A file that cannot be created is tested through the built program.
TEST_F(TextureBitmaps, FailedWriteIsRecordedAndLeavesNoFile) {
    ScopedTempDir dir;
    std::filesystem::create_symlink("/dev/full", "Text005.bmp");
    EXPECT_EQ(GetTextureArea(context, 5, kQuadArea), nullptr);
    EXPECT_TRUE(context.failure.happened);
    EXPECT_STREQ(context.failure.what.data(), "Text005.bmp");
    EXPECT_EQ(context.failure.errorNumber, ENOSPC);
    EXPECT_TRUE(context.textureAreas.empty());
    EXPECT_TRUE(ListDirectory(dir.path()).empty());
}
