#include "level/mesh_decoder.h"

#include <gtest/gtest.h>

#include "tests/support/level_compare.h"

namespace {

// The mesh words of a level holding these meshes, one after the other.
std::vector<uint8_t> MeshWords(const std::vector<BuilderMesh>& meshes,
                               std::vector<uint32_t>* starts = nullptr) {
    LevelDescription d;
    d.meshes = meshes;
    const BuiltLevel built = BuildLevel(d);
    const BlockPlace& words = FindBlock(built, "mesh words");
    if (starts != nullptr) {
        *starts = built.meshStarts;
    }
    return {built.bytes.begin() + static_cast<ptrdiff_t>(words.offset),
            built.bytes.begin() + static_cast<ptrdiff_t>(words.offset + words.size)};
}

LevelData Decode(const std::vector<uint8_t>& words, const std::vector<uint32_t>& pointers) {
    LevelData level;
    DecodeMeshes(words, pointers, level);
    return level;
}

BuilderMesh FullMesh() {
    BuilderMesh mesh;
    mesh.centre = {-1, 2, -3};
    mesh.collisionRadius = -5;
    mesh.vertices = {{1, 2, 3}, {-4, -5, -6}};
    mesh.normals = {{0, 16384, 0}, {-16384, 0, 0}};
    mesh.texturedQuads = {{{0, 1, 0, 1}, 7}};
    mesh.texturedTriangles = {{{1, 0, 1}, 8}};
    mesh.colouredQuads = {{{1, 1, 0, 0}, 0x1f}};
    mesh.colouredTriangles = {{{0, 0, 1}, 0xff01}};
    return mesh;
}

// Normals or light values by the sign of the normal count, other counts
// negated, odd pointers, and pointers repeated in any order. The reader's
// test decodes the same forms from a whole level.
TEST(MeshDecoder, DecodesEveryCountFormAtAnyPointer) {
    BuilderMesh normals = FullMesh();
    BuilderMesh lights = FullMesh();
    lights.padBefore = 3;
    lights.negativeCounts = true;
    lights.lightValues = {-100, 200, -300, 400};
    // -32768 has no 16-bit magnitude; it means that many entries.
    BuilderMesh large;
    large.negativeCounts = true;
    large.vertices.resize(32768, Vertex16{1, -1, 2});
    large.lightValues.resize(32768, 9);
    std::vector<uint32_t> starts;
    const std::vector<uint8_t> words = MeshWords({normals, lights, large}, &starts);
    ASSERT_EQ(starts[1] % 2, 1u);

    const LevelData level = Decode(words, {starts[1], starts[0], starts[2], starts[1]});
    ASSERT_EQ(level.meshes.size(), 4u);
    EXPECT_EQ(level.meshDecodingStop, std::nullopt);
    ExpectMeshAsDescribed(level.meshes[0], lights);
    ExpectMeshAsDescribed(level.meshes[1], normals);
    ExpectMeshAsDescribed(level.meshes[2], large);
    ExpectMeshAsDescribed(level.meshes[3], lights);
    EXPECT_TRUE(Decode(words, {}).meshes.empty());
}

TEST(MeshDecoder, StopsSilentlyAtTheFirstMeshThatRunsPastTheEnd) {
    const BuilderMesh mesh = FullMesh();
    const std::vector<uint8_t> whole = MeshWords({mesh});

    // Cut inside every field: the stopping record and all after it stay empty;
    // a mesh that ends exactly at the end decodes completely.
    for (size_t size = 0; size <= whole.size(); ++size) {
        SCOPED_TRACE(size);
        const std::vector<uint8_t> words(whole.begin(),
                                         whole.begin() + static_cast<ptrdiff_t>(size));
        const LevelData level = Decode(words, {0, 0});
        ASSERT_EQ(level.meshes.size(), 2u);
        EXPECT_EQ(level.meshDecodingStop,
                  size == whole.size() ? std::nullopt : std::optional<size_t>(0));
        for (const MeshRecord& decoded : level.meshes) {
            if (size == whole.size()) {
                ExpectMeshAsDescribed(decoded, mesh);
            } else {
                ExpectEmptyMesh(decoded);
            }
        }
    }

    // The stop ends the whole decoding, even for pointers that would decode.
    const LevelData level = Decode(whole, {0, static_cast<uint32_t>(whole.size() - 9), 0});
    ASSERT_EQ(level.meshes.size(), 3u);
    EXPECT_EQ(level.meshDecodingStop, 1u);
    ExpectMeshAsDescribed(level.meshes[0], mesh);
    ExpectEmptyMesh(level.meshes[1]);
    ExpectEmptyMesh(level.meshes[2]);
}

TEST(MeshDecoder, PositionsNearTheTopOfTheThirtyTwoBitRangeDoNotWrap) {
    const std::vector<uint8_t> words = MeshWords({FullMesh()});
    for (uint32_t pointer : {0xffffffffu, 0xfffffff6u, 0xfffffff4u, 0x80000000u}) {
        const LevelData level = Decode(words, {pointer});
        ExpectEmptyMesh(level.meshes[0]);
    }

    // A vertex count of 32767 at the last possible place.
    BuilderMesh big;
    big.vertices = {{1, 2, 3}};
    std::vector<uint8_t> bigWords = MeshWords({big});
    bigWords[10] = 0xff;
    bigWords[11] = 0x7f;
    ExpectEmptyMesh(Decode(bigWords, {0}).meshes[0]);
    const std::vector<uint32_t> twice = {0, 0};
    EXPECT_EQ(DecodedMeshBytes(bigWords, twice), 2 * sizeof(MeshRecord));
}

} // namespace
