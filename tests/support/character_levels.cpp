#include "tests/support/character_levels.h"

#include <gtest/gtest.h>

#include "convert/body_parts.h"
#include "level/level_reader.h"

namespace {

inline constexpr Vertex16 kUp = {0, 0, 16384};

} // namespace

LevelDescription SmallCharacterLevel() {
    LevelDescription level;
    level.palette[1] = {63, 32, 0};
    level.palette[2] = {1, 2, 3};
    level.texturePages8 = PatternBytes(kPageBytes8, 3);
    level.objectTextures.resize(3);
    for (ObjectTexture& texture : level.objectTextures) {
        texture.vertices[0] = {0, 1, 0, 2};
        texture.vertices[1] = {0, 4, 0, 2};
        texture.vertices[2] = {0, 4, 0, 5};
        texture.vertices[3] = {0, 1, 0, 5};
    }
    level.meshes.resize(kRequiredMeshCount);
    for (const BodyPart& part : kBodyParts) {
        BuilderMesh& mesh = level.meshes[part.meshNumber];
        mesh.vertices = {{0, 0, 0}, {40, 0, 0}, {0, 30, 0}};
        mesh.normals = {kUp, kUp, kUp};
        mesh.colouredTriangles = {{{0, 1, 2}, 1}};
    }
    return level;
}

LevelData LoadDescribedLevel(const LevelDescription& description) {
    LevelLoadResult loaded = ReadLevel(BuildLevel(description).bytes);
    EXPECT_EQ(loaded.status, LevelLoadStatus::Loaded) << loaded.problem;
    return std::move(loaded.level);
}
