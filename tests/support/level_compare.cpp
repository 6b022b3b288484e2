#include "tests/support/level_compare.h"

#include <gtest/gtest.h>

std::vector<int> Flatten(const std::vector<Vertex16>& points) {
    std::vector<int> flat;
    for (const Vertex16& p : points) {
        flat.insert(flat.end(), {p.x, p.y, p.z});
    }
    return flat;
}

std::vector<int> Flatten(const std::vector<QuadFace>& faces) {
    std::vector<int> flat;
    for (const QuadFace& f : faces) {
        flat.insert(flat.end(),
                    {f.corners[0], f.corners[1], f.corners[2], f.corners[3], f.texture});
    }
    return flat;
}

std::vector<int> Flatten(const std::vector<TriangleFace>& faces) {
    std::vector<int> flat;
    for (const TriangleFace& f : faces) {
        flat.insert(flat.end(), {f.corners[0], f.corners[1], f.corners[2], f.texture});
    }
    return flat;
}

std::vector<int> Flatten(const std::vector<ObjectTexture>& textures) {
    std::vector<int> flat;
    for (const ObjectTexture& t : textures) {
        flat.insert(flat.end(), {t.attribute, t.tile});
        for (const TextureVertex& v : t.vertices) {
            flat.insert(flat.end(), {v.xCoordinate, v.xPixel, v.yCoordinate, v.yPixel});
        }
    }
    return flat;
}

void ExpectMeshAsDescribed(const MeshRecord& decoded, const BuilderMesh& described) {
    EXPECT_EQ(Flatten({decoded.centre}), Flatten({described.centre}));
    EXPECT_EQ(decoded.collisionRadius, described.collisionRadius);
    EXPECT_EQ(Flatten(decoded.vertices), Flatten(described.vertices));
    if (described.lightValues.empty()) {
        EXPECT_FALSE(decoded.normalsAreLightValues);
        EXPECT_EQ(Flatten(decoded.normals), Flatten(described.normals));
    } else {
        // One normal per light value, the values packed into the first components.
        EXPECT_TRUE(decoded.normalsAreLightValues);
        std::vector<int> expected(3 * described.lightValues.size(), 0);
        std::copy(described.lightValues.begin(), described.lightValues.end(), expected.begin());
        EXPECT_EQ(Flatten(decoded.normals), expected);
    }
    EXPECT_EQ(Flatten(decoded.texturedQuads), Flatten(described.texturedQuads));
    EXPECT_EQ(Flatten(decoded.texturedTriangles), Flatten(described.texturedTriangles));
    EXPECT_EQ(Flatten(decoded.colouredQuads), Flatten(described.colouredQuads));
    EXPECT_EQ(Flatten(decoded.colouredTriangles), Flatten(described.colouredTriangles));
}

void ExpectEmptyMesh(const MeshRecord& decoded) {
    ExpectMeshAsDescribed(decoded, BuilderMesh{});
}
