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

TEST(MeshDecoder, TheNormalCountsSignChoosesNormalsOrLightValues) {
    BuilderMesh withNormals = FullMesh(); // count 2: 12 bytes follow
    BuilderMesh withLights = FullMesh();
    withLights.lightValues = {-100, 200, -300, 400}; // count -4: 8 bytes follow
    std::vector<uint32_t> starts;
    const std::vector<uint8_t> words = MeshWords({withNormals, withLights}, &starts);
    ASSERT_EQ(starts[1], 82u);

    const LevelData level = Decode(words, starts);
    ASSERT_EQ(level.meshes.size(), 2u);
    ExpectMeshAsDescribed(level.meshes[0], withNormals);
    ExpectMeshAsDescribed(level.meshes[1], withLights);
    EXPECT_EQ(level.meshes[1].normals.size(), 4u);
}

TEST(MeshDecoder, NegativeCountsCountAsTheirMagnitude) {
    BuilderMesh mesh;
    mesh.negativeCounts = true;
    mesh.vertices = {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}};
    mesh.texturedQuads = {{{0, 1, 2, 0}, 1}, {{1, 2, 0, 1}, 2}, {{2, 0, 1, 2}, 3}};
    mesh.texturedTriangles = {{{0, 1, 2}, 4}, {{1, 2, 0}, 5}, {{2, 0, 1}, 6}};
    mesh.colouredQuads = mesh.texturedQuads;
    mesh.colouredTriangles = mesh.texturedTriangles;
    // -32768 has no 16-bit magnitude; it means that many entries.
    BuilderMesh large;
    large.negativeCounts = true;
    large.vertices.resize(32768, Vertex16{1, -1, 2});
    large.lightValues.resize(32768, 9);
    std::vector<uint32_t> starts;
    const LevelData level = Decode(MeshWords({mesh, large}, &starts), starts);
    ExpectMeshAsDescribed(level.meshes[0], mesh);
    ExpectMeshAsDescribed(level.meshes[1], large);
}

TEST(MeshDecoder, EmptyMeshTakesTwentyTwoBytes) {
    BuilderMesh empty;
    empty.centre = {7, 8, 9};
    std::vector<uint32_t> starts;
    std::vector<uint8_t> words = MeshWords({empty, empty}, &starts);
    EXPECT_EQ(starts, (std::vector<uint32_t>{0, 22}));

    words.resize(22);
    EXPECT_EQ(Decode(words, {0}).meshes[0].centre.z, 9);
    words.resize(21);
    ExpectEmptyMesh(Decode(words, {0}).meshes[0]);
}

TEST(MeshDecoder, PointersMayRepeatComeInAnyOrderAndBeOdd) {
    BuilderMesh first = FullMesh();
    BuilderMesh second = FullMesh();
    second.padBefore = 3;
    second.lightValues = {1, 2, 3};
    std::vector<uint32_t> starts;
    const std::vector<uint8_t> words = MeshWords({first, second}, &starts);
    ASSERT_EQ(starts[1] % 2, 1u);

    const LevelData level = Decode(words, {starts[1], starts[0], starts[1], starts[0]});
    ASSERT_EQ(level.meshes.size(), 4u);
    ExpectMeshAsDescribed(level.meshes[0], second);
    ExpectMeshAsDescribed(level.meshes[1], first);
    ExpectMeshAsDescribed(level.meshes[2], second);
    ExpectMeshAsDescribed(level.meshes[3], first);

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
