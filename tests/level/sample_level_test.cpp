// The bundled sample level: it loads, holds every kind of face, and its faces
// agree with their normals.

#include "tools/levelbuilder/sample_level.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>

#include "level/level_reader.h"

namespace {

constexpr std::array<int, 21> kBodyMeshes = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9, 10,
                                             11, 12, 13, 14, 30, 31, 32, 33, 34, 35};

const LevelData& Sample() {
    static const LevelLoadResult loaded = ReadLevel(BuildLevel(DescribeSampleLevel()).bytes);
    EXPECT_EQ(loaded.status, LevelLoadStatus::Loaded) << loaded.problem;
    return loaded.level;
}

TEST(SampleLevel, HoldsEveryKindOfFaceOnTwoPages) {
    const LevelData& level = Sample();
    EXPECT_LT(BuildLevel(DescribeSampleLevel()).bytes.size(), 1u << 20);
    ASSERT_EQ(level.meshes.size(), kSampleMeshCount);
    EXPECT_EQ(level.numTexturePages(), 2u);
    size_t quads = 0, triangles = 0, colouredQuads = 0, colouredTriangles = 0;
    for (int number : kBodyMeshes) {
        const MeshRecord& mesh = level.meshes[number];
        EXPECT_EQ(mesh.normals.size(), mesh.vertices.size());
        quads += mesh.texturedQuads.size();
        triangles += mesh.texturedTriangles.size();
        colouredQuads += mesh.colouredQuads.size();
        colouredTriangles += mesh.colouredTriangles.size();
    }
    EXPECT_GT(quads * triangles * colouredQuads * colouredTriangles, 0u);
    for (size_t number = 36; number < kSampleMeshCount; ++number) {
        EXPECT_TRUE(level.meshes[number].normalsAreLightValues);
    }
}

TEST(SampleLevel, EveryFaceAgreesWithItsFirstCornersNormal) {
    const LevelData& level = Sample();
    for (int number : kBodyMeshes) {
        const MeshRecord& mesh = level.meshes[number];
        const auto check = [&](const auto& face) {
            const Vertex16& a = mesh.vertices[face.corners[0]];
            const Vertex16& b = mesh.vertices[face.corners[1]];
            const Vertex16& c = mesh.vertices[face.corners[2]];
            const double u[3] = {double(b.x - a.x), double(b.y - a.y), double(b.z - a.z)};
            const double v[3] = {double(c.x - a.x), double(c.y - a.y), double(c.z - a.z)};
            const double winding[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                                       u[0] * v[1] - u[1] * v[0]};
            const Vertex16& n = mesh.normals[face.corners[0]];
            EXPECT_GT(winding[0] * n.x + winding[1] * n.y + winding[2] * n.z, 0)
                << "mesh " << number;
        };
        std::for_each(mesh.texturedQuads.begin(), mesh.texturedQuads.end(), check);
        std::for_each(mesh.texturedTriangles.begin(), mesh.texturedTriangles.end(), check);
        std::for_each(mesh.colouredQuads.begin(), mesh.colouredQuads.end(), check);
        std::for_each(mesh.colouredTriangles.begin(), mesh.colouredTriangles.end(), check);
    }
}

} // namespace
