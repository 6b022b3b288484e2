#include "convert/part_mesh.h"

#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/conversion_context.h"
#include "tests/support/allocation_hooks.h"
#include "tests/support/tree_outline.h"
#include "toolkit3ds/chunk_tags.h"
#include "toolkit3ds/errors.h"

namespace {

inline constexpr Vertex16 kUp = {0, 0, 16384};
inline constexpr Vertex16 kDown = {0, 0, -16384};

// Object textures on page 0: the first three corners of texture 0 span
// columns 20..22 and rows 10..12 (thirds do not fit a float); textures 1..16
// are one pixel each.
LevelData MakeLevel() {
    LevelData level;
    level.texturePages8.assign(kPageBytes8, 0x11);
    level.objectTextures.resize(17);
    // Corners as (0, x pixel, 0, y pixel).
    level.objectTextures[0].vertices = {
        {{0, 20, 0, 10}, {0, 22, 0, 11}, {0, 21, 0, 12}, {0, 20, 0, 12}}};
    return level;
}

// Flattened faces: three corners and the flags per face.
std::vector<int> Faces(const Mesh3ds& mesh) {
    std::vector<int> flat;
    for (const Face3ds& face : mesh.faces) {
        flat.insert(flat.end(), {face.vertexA, face.vertexB, face.vertexC, face.flags});
    }
    return flat;
}

std::vector<float> Flatten(const std::vector<Point3ds>& points) {
    std::vector<float> flat;
    for (const Point3ds& p : points) {
        flat.insert(flat.end(), {p.x, p.y, p.z});
    }
    return flat;
}

std::vector<uint32_t> Bits(const std::vector<TexVert3ds>& texVertices) {
    std::vector<uint32_t> bits;
    for (const TexVert3ds& t : texVertices) {
        bits.insert(bits.end(), {std::bit_cast<uint32_t>(t.u), std::bit_cast<uint32_t>(t.v)});
    }
    return bits;
}

// The material groups as text: "Text000: 0 1; Color05: 2".
std::string Groups(const Mesh3ds& mesh) {
    EXPECT_EQ(mesh.matGroupCount, mesh.matGroups.size());
    std::string text;
    for (const MatGroup3ds& group : mesh.matGroups) {
        EXPECT_EQ(group.faceCount, group.faces.size());
        text += (text.empty() ? "" : "; ") + group.name + ":";
        for (const uint16_t face : group.faces) {
            text += " " + std::to_string(face);
        }
    }
    return text;
}

class PartMesh : public ToolkitTest {
protected:
    std::unique_ptr<Mesh3ds> Build(MeshRecord& levelMesh) {
        std::unique_ptr<Mesh3ds> mesh;
        EXPECT_TRUE(BuildPartMesh(context, db.get(), levelMesh, 0, &mesh));
        EXPECT_FALSE(ErrorPending3ds);
        return mesh;
    }

    LevelData level = MakeLevel();
    ConversionContext context{level};
    std::unique_ptr<Database3ds> db = MakeDatabase();
};

} // namespace

TEST_F(PartMesh, CopiesSharedVerticesForAllButTheLastCorner) {
    // Vertices 1 and 2 are used twice: the first triangle gets copies of both.
    MeshRecord levelMesh;
    levelMesh.vertices = {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}, {100, 100, 0}};
    levelMesh.normals.assign(4, kUp);
    levelMesh.texturedTriangles = {{{0, 1, 2}, 0}, {{2, 1, 3}, 0}};

    const auto mesh = Build(levelMesh);
    EXPECT_EQ(Faces(*mesh), (std::vector<int>{0, 4, 5, 7, 2, 1, 3, 7}));
    EXPECT_EQ(mesh->vertexCount, 6);
    EXPECT_EQ(Flatten(mesh->vertices),
              (std::vector<float>{0, 0, 0, 10, 0, 0, 0, 10, 0, 10, 10, 0, 10, 0, 0, 0, 10, 0}));
    EXPECT_EQ(mesh->smoothGroups, (std::vector<uint32_t>{1, 1}));
    EXPECT_EQ(Groups(*mesh), "Text000: 0 1");
    // The level's faces keep the new corner numbers.
    EXPECT_EQ(levelMesh.texturedTriangles[0].corners, (std::array<uint16_t, 3>{0, 4, 5}));

    // Each corner has its own texture vertex: corners 0, 1, 2 of texture 0
    // are (0, 0), (2, 1), (1, 2) in its 3 x 3 area. A triangle's v is 1 less
    // the row's quotient rounded to a float: 1 - float(1/3) lies halfway
    // between two floats and rounds to the even one, below float(2/3).
    EXPECT_EQ(mesh->texVertexCount, 6);
    EXPECT_EQ(Bits(mesh->texVertices), (std::vector<uint32_t>{
                                           0x00000000, 0x3F800000, // 0: (0, 1)
                                           0x3F2AAAAB, 0x3F2AAAAA, // 1: (2/3, 2/3)
                                           0x00000000, 0x3F800000, // 2: (0, 1)
                                           0x3EAAAAAB, 0x3EAAAAAA, // 3: (1/3, 1/3)
                                           0x3F2AAAAB, 0x3F2AAAAA, // 4: as 1
                                           0x3EAAAAAB, 0x3EAAAAAA, // 5: as 3
                                       }));
}

TEST_F(PartMesh, MarkedFacesAreReversedAndTheMarkIsCleared) {
    // Two coloured quads and a coloured triangle on their own vertices; the
    // second quad and the triangle have normals against their winding.
    // The first quad's fourth corner carries bit 15, which only the mark
    // may hold: the face uses the low 15 bits.
    MeshRecord levelMesh;
    const std::vector<Vertex16> square = {{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 0}};
    for (int copy = 0; copy < 3; ++copy) {
        levelMesh.vertices.insert(levelMesh.vertices.end(), square.begin(), square.end());
    }
    levelMesh.normals.assign(12, kUp);
    for (size_t i = 4; i < 12; ++i) {
        levelMesh.normals[i] = kDown;
    }
    levelMesh.colouredQuads = {{{0, 1, 2, 0x8003}, 5}, {{4, 5, 6, 7}, 5}};
    levelMesh.colouredTriangles = {{{8, 9, 10}, 5}};

    const auto mesh = Build(levelMesh);
    EXPECT_EQ(Faces(*mesh),
              (std::vector<int>{0,  1, 2, 7, 2, 3, 0, 7, // unmarked: q0 q1 q2, q2 q3 q0
                                6,  5, 4, 7, 4, 7, 6, 7, // marked: q2 q1 q0, q0 q3 q2
                                10, 9, 8, 7}));          // marked: t2 t1 t0
    EXPECT_EQ(levelMesh.colouredQuads[0].corners, (std::array<uint16_t, 4>{0, 1, 2, 0x8003}));
    EXPECT_EQ(levelMesh.colouredQuads[1].corners, (std::array<uint16_t, 4>{4, 5, 6, 7}));
    EXPECT_EQ(levelMesh.colouredTriangles[0].corners, (std::array<uint16_t, 3>{8, 9, 10}));
    EXPECT_EQ(mesh->smoothGroups, std::vector<uint32_t>(5, 1));
}

TEST_F(PartMesh, GroupsFollowFirstUseWhileTextureMaterialsAscend) {
    MeshRecord levelMesh;
    levelMesh.vertices = {{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 0}};
    levelMesh.normals.assign(4, kUp);
    levelMesh.texturedQuads = {{{0, 1, 2, 3}, 10}, {{0, 1, 2, 3}, 3}, {{0, 1, 2, 3}, 10}};
    levelMesh.texturedTriangles = {{{0, 1, 2}, 3}, {{0, 1, 2}, 10}, {{0, 1, 2}, 16}};
    // Colours group by the low byte of the colour field.
    levelMesh.colouredTriangles = {
        {{0, 1, 2}, 0x120F}, {{0, 1, 2}, 0x0005}, {{0, 1, 2}, 0xFF0F}, {{0, 1, 2}, 0x0105}};

    const auto mesh = Build(levelMesh);
    EXPECT_EQ(Groups(*mesh),
              "Text00a: 0 1 4 5 7; Text003: 2 3 6; Text010: 8; Color0f: 9 11; Color05: 10 12");
    EXPECT_EQ(MaterialNames(*db),
              (std::vector<std::string>{"Text003", "Text00a", "Text010", "Color0f", "Color05"}));
    EXPECT_EQ(ListDirectory(dir.path()),
              (std::vector<std::string>{"Text003.bmp", "Text00a.bmp", "Text010.bmp"}));
    EXPECT_EQ(context.usedTextures, (std::vector<uint32_t>{10, 3, 16}));
    EXPECT_EQ(context.usedColours, (std::vector<uint32_t>{15, 5}));
}

TEST_F(PartMesh, EveryFailedAllocationEndsCleanly) {
    // Each run fails one allocation, in a child process: it either records one
    // of the converter's failures (printed, exit code 1 here), or leaves the
    // toolkit's ERR_NO_MEM pending (exit code 2 here). The run that meets no
    // failure ends the sweep (exit code 3 here).
    MeshRecord levelMesh;
    levelMesh.vertices = {{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 0}};
    levelMesh.normals.assign(4, kUp);
    levelMesh.texturedQuads = {{{0, 1, 2, 3}, 0}};
    levelMesh.colouredTriangles = {{{0, 1, 2}, 5}};
    const std::string messages = std::string("^((\\[err 10(09|10|11)\\] calloc\\(\\) returned NULL"
                                             "|building mesh \"Hips\"|Text000\\.bmp): ") +
                                 std::strerror(ENOMEM) + "\n)?$";
    int exitCode = 0;
    auto cleanEnd = [&](int status) {
        exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return exitCode == 1 || exitCode == 2 || exitCode == 3;
    };
    int failures = 0;
    for (long n = 0; exitCode != 3 && n < 10000; ++n) {
        EXPECT_EXIT(
            {
                FailAllocationAfter(n);
                std::unique_ptr<Mesh3ds> mesh;
                const bool built = BuildPartMesh(context, db.get(), levelMesh, 0, &mesh);
                const bool met = StopAllocationFaults();
                if (context.failure.happened) {
                    PrintFailure(stderr, context.failure);
                    std::exit(built ? 0 : 1);
                }
                std::exit(!met ? 3 : !built || ErrorPending3ds ? 2 : 0);
            },
            cleanEnd, messages)
            << "allocation " << n;
        failures += exitCode == 1 || exitCode == 2 ? 1 : 0;
    }
    EXPECT_EQ(exitCode, 3);
    EXPECT_GT(failures, 10);
}
