// The builder is the oracle of the reader's tests, so its bytes are checked
// here against hand-written listings.

#include <gtest/gtest.h>

#include "tools/levelbuilder/level_builder.h"

namespace {

std::vector<uint8_t> Slice(const BuiltLevel& built, const BlockPlace& first,
                           const BlockPlace& last) {
    return {built.bytes.begin() + static_cast<ptrdiff_t>(first.offset),
            built.bytes.begin() + static_cast<ptrdiff_t>(last.offset + last.size)};
}

TEST(LevelBuilder, EmptyRoomTakesFortyBytes) {
    LevelDescription level;
    level.rooms.resize(1);
    const BuiltLevel built = BuildLevel(level);
    const std::vector<uint8_t> room =
        Slice(built, FindBlock(built, "room 0 info"), FindBlock(built, "room 0 closing values"));
    const std::vector<uint8_t> expected = {
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // info
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, //
        0x00, 0x00, 0x00, 0x00,                         // data word count
        0x00, 0x00,                                     // portal count
        0x00, 0x00, 0x00, 0x00,                         // sector counts along z and x
        0xee, 0xee, 0xee, 0xee, 0xee, 0xee,             // three skipped values
        0x00, 0x00,                                     // light count
        0x00, 0x00,                                     // static mesh count
        0xee, 0xee, 0xee, 0xee,                         // two skipped values
    };
    EXPECT_EQ(room, expected);
}

TEST(LevelBuilder, MeshWithLightValuesAndNegativeCounts) {
    BuilderMesh mesh;
    mesh.centre = {1, -2, 3};
    mesh.collisionRadius = 0x01020304;
    mesh.vertices = {{-1, 2, -3}};
    mesh.lightValues = {7, -8};
    mesh.colouredTriangles = {{{0, 0, 0}, 0x1234}};
    mesh.negativeCounts = true;
    mesh.padBefore = 1;
    LevelDescription level;
    level.meshes = {mesh};
    const BuiltLevel built = BuildLevel(level);

    const std::vector<uint8_t> expected = {
        0xcd,                               // filler before the mesh
        0x01, 0x00, 0xfe, 0xff, 0x03, 0x00, // centre
        0x04, 0x03, 0x02, 0x01,             // collision radius
        0xff, 0xff,                         // vertex count -1
        0xff, 0xff, 0x02, 0x00, 0xfd, 0xff, // vertex
        0xfe, 0xff,                         // normal count -2: light values
        0x07, 0x00, 0xf8, 0xff,             // light values
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // no textured quads, triangles, coloured quads
        0xff, 0xff,                         // coloured triangle count -1
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // corners
        0x34, 0x12,                         // colour
        0xcd,                               // filler to a whole word
    };
    const BlockPlace& words = FindBlock(built, "mesh words");
    EXPECT_EQ(Slice(built, words, words), expected);
    EXPECT_EQ(built.meshStarts, std::vector<uint32_t>{1});
    const BlockPlace& wordCount = FindBlock(built, "mesh word count");
    EXPECT_EQ(Slice(built, wordCount, wordCount), (std::vector<uint8_t>{0x15, 0x00, 0x00, 0x00}));
    EXPECT_EQ(
        Slice(built, FindBlock(built, "mesh pointer count"), FindBlock(built, "mesh pointers")),
        (std::vector<uint8_t>{0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00}));
}

} // namespace
