#include "convert/level_checks.h"

#include <gtest/gtest.h>

#include "level/level_reader.h"
#include "tools/levelbuilder/sample_level.h"

namespace {

MeshRecord MakeSquareMesh() {
    MeshRecord mesh;
    mesh.vertices = {{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 0}};
    mesh.normals.assign(4, {0, 0, 16384});
    mesh.texturedQuads = {{{0, 1, 2, 3}, 1}};
    mesh.texturedTriangles = {{{0, 1, 2}, 0}};
    mesh.colouredQuads = {{{3, 2, 1, 0}, 0xFF12}}; // only the low byte is a colour
    mesh.colouredTriangles = {{{1, 2, 3}, 0xFFFF}};
    return mesh;
}

// 36 meshes; every body-part mesh is a small textured and coloured square,
// the others are garbage that the conversion never reads. Object texture 2
// names a page that does not exist, but no face uses it.
LevelData MakeLevel() {
    LevelData level;
    level.texturePages8.assign(2 * kPageBytes8, 0);
    level.objectTextures.resize(3);
    level.objectTextures[1].tile = 1;
    level.objectTextures[2].tile = 99;
    level.meshes.resize(kRequiredMeshCount);
    for (MeshRecord& mesh : level.meshes) {
        mesh.colouredTriangles = {{{999, 999, 999}, 0}};
    }
    for (const BodyPart& part : kBodyParts) {
        level.meshes[part.meshNumber] = MakeSquareMesh();
    }
    return level;
}

// A mesh of n vertices (with normals) and the given coloured faces only.
MeshRecord MakeLargeMesh(size_t n, std::vector<QuadFace> quads,
                         std::vector<TriangleFace> triangles) {
    MeshRecord mesh;
    mesh.vertices.resize(n);
    mesh.normals.resize(n);
    mesh.colouredQuads = std::move(quads);
    mesh.colouredTriangles = std::move(triangles);
    return mesh;
}

} // namespace

TEST(LevelChecks, AcceptsWhatTheConversionCanRead) {
    LevelData level = MakeLevel();
    EXPECT_EQ(CheckLevelForConversion(level), "");

    // An empty mesh is left to the conversion to report.
    level.meshes[3] = MeshRecord{};
    // A quad's fourth corner is used through its low 15 bits and has no
    // normal to read.
    MeshRecord& hips = level.meshes[0];
    hips.normals.resize(3);
    hips.texturedQuads[0].corners = {0, 1, 2, 0x8003};
    hips.colouredQuads[0].corners = {2, 1, 0, 3};
    hips.colouredTriangles[0].corners = {0, 1, 2};
    hips.texturedTriangles[0].corners = {2, 1, 0};
    EXPECT_EQ(CheckLevelForConversion(level), "");

    // More meshes than the character needs.
    level.meshes.resize(500);
    EXPECT_EQ(CheckLevelForConversion(level), "");
}

// Too few meshes is tested through the built program.
TEST(LevelChecks, RejectsTheFirstIndexTheConversionCannotFollow) {
    struct Case {
        void (*damage)(LevelData&);
        const char* problem;
    };
    const Case cases[] = {
        {[](LevelData& l) { l.meshes[0].texturedQuads[0].corners[3] = 4; },
         "mesh 0, textured quad 0, corner 3: vertex 4 is out of range (the mesh has 4 vertices)"},
        // The last body part, and the largest 15-bit vertex number.
        {[](LevelData& l) { l.meshes[35].colouredTriangles[0].corners[1] = 0x7FFF; },
         "mesh 35, coloured triangle 0, corner 1: vertex 32767 is out of range (the mesh has 4 "
         "vertices)"},
        // A quad's fourth corner is used through its low 15 bits.
        {[](LevelData& l) {
             l.meshes[30].colouredQuads.push_back({{0, 1, 2, 0x8004}, 0});
         },
         "mesh 30, coloured quad 1, corner 3: vertex 4 is out of range (the mesh has 4 vertices)"},
        {[](LevelData& l) { l.meshes[14].vertices.clear(); },
         "mesh 14, textured quad 0, corner 0: vertex 0 is out of range (the mesh has 0 vertices)"},
        // Bit 15 of the corners the orientation test reads is its mark.
        {[](LevelData& l) { l.meshes[7].texturedTriangles[0].corners[0] = 0x8001; },
         "mesh 7, textured triangle 0, corner 0: vertex number 0x8001 has bit 15 set"},
        {[](LevelData& l) { l.meshes[7].colouredQuads[0].corners[2] = 0x8000; },
         "mesh 7, coloured quad 0, corner 2: vertex number 0x8000 has bit 15 set"},
        {[](LevelData& l) { l.meshes[9].normals.resize(3); },
         "mesh 9, coloured quad 0, corner 0: vertex 3 has no normal (the mesh has 3 normals)"},
        {[](LevelData& l) { l.meshes[33].texturedTriangles[0].texture = 3; },
         "mesh 33, textured triangle 0: object texture 3 is out of range (the level has 3 object "
         "textures)"},
        {[](LevelData& l) { l.meshes[33].texturedTriangles[0].texture = 2; },
         "mesh 33, textured triangle 0: object texture 2 lies on texture page 99 (the level has 2 "
         "texture pages)"},
        {[](LevelData& l) { l.texturePages8.clear(); },
         "mesh 0, textured quad 0: object texture 1 lies on texture page 1 (the level has 0 "
         "texture pages)"},
    };
    for (const Case& c : cases) {
        LevelData level = MakeLevel();
        c.damage(level);
        EXPECT_EQ(CheckLevelForConversion(level), c.problem);
    }
}

TEST(LevelChecks, LimitsVerticesAfterCornerSplittingAndFaces) {
    // Vertices 1 and 2 are used three times each, 0 and 3 twice: six copies.
    const std::vector<QuadFace> quads = {{{0, 1, 2, 3}, 0}};
    const std::vector<TriangleFace> triangles = {{{0, 1, 2}, 0}, {{2, 1, 3}, 0}};
    LevelData level = MakeLevel();
    level.meshes[5] = MakeLargeMesh(32762, quads, triangles);
    EXPECT_EQ(CheckLevelForConversion(level), "");
    level.meshes[5] = MakeLargeMesh(32763, quads, triangles);
    EXPECT_EQ(CheckLevelForConversion(level),
              "mesh 5: 32769 vertices once shared corners are split, more than 32768");
    // Unused vertices count as well.
    level.meshes[5] = MakeLargeMesh(32769, {}, {});
    EXPECT_EQ(CheckLevelForConversion(level),
              "mesh 5: 32769 vertices once shared corners are split, more than 32768");

    // A quad makes two faces: 32767 quads and a triangle make 65535 faces,
    // which pass the face limit (and then fail the vertex limit).
    level.meshes[5] =
        MakeLargeMesh(4, std::vector<QuadFace>(32767, {{0, 1, 2, 3}, 0}), {{{0, 1, 2}, 0}});
    EXPECT_EQ(CheckLevelForConversion(level),
              "mesh 5: 131071 vertices once shared corners are split, more than 32768");
    level.meshes[5] = MakeLargeMesh(4, std::vector<QuadFace>(32768, {{0, 1, 2, 3}, 0}), {});
    EXPECT_EQ(CheckLevelForConversion(level), "mesh 5: 65536 faces, more than 65535");
}

namespace {

void PointTo(BuiltLevel& built, size_t mesh, uint32_t pointer) {
    PatchU32(built.bytes, FindBlock(built, "mesh pointers").offset + 4 * mesh, pointer);
}

} // namespace

// Mesh decoding stops at the first mesh whose data leaves the mesh words and
// leaves it and every later mesh empty; that may only pass when no body part
// is among them.
TEST(LevelChecks, RefusesMeshDecodingThatStopsAtOrBeforeABodyPart) {
    struct Case {
        size_t meshCount;
        void (*damage)(BuiltLevel&);
        const char* problem;
    };
    const Case cases[] = {
        {40,
         [](BuiltLevel& b) {
             PointTo(b, 7, static_cast<uint32_t>(FindBlock(b, "mesh words").size));
         },
         "mesh 7: its data runs past the end of the mesh words"},
        // Position + 10 wraps round to 4 in 32-bit arithmetic.
        {40, [](BuiltLevel& b) { PointTo(b, 30, 0xFFFFFFFA); },
         "mesh 30: its data runs past the end of the mesh words"},
        // Not a body part, but it stops the decoding before the ponytail.
        {40, [](BuiltLevel& b) { PointTo(b, 20, 0xFFFFFFFF); },
         "mesh 20: its data runs past the end of the mesh words"},
        // Mesh 35 comes last in the mesh words; one more coloured triangle
        // than its bytes hold.
        {36,
         [](BuiltLevel& b) {
             const BlockPlace& words = FindBlock(b, "mesh words");
             const size_t triangles = DescribeSampleLevel().meshes[35].colouredTriangles.size();
             const size_t count = words.offset + words.size - 8 * triangles - 2;
             ASSERT_EQ(b.bytes[count] | b.bytes[count + 1] << 8, static_cast<int>(triangles));
             PatchU16(b.bytes, count, static_cast<uint16_t>(triangles + 1));
         },
         "mesh 35: its data runs past the end of the mesh words"},
        // After the last body part decoding still stops silently.
        {40, [](BuiltLevel& b) { PointTo(b, 36, 0xFFFFFFFF); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.problem);
        LevelDescription description = DescribeSampleLevel();
        description.meshes.resize(c.meshCount);
        BuiltLevel built = BuildLevel(description);
        c.damage(built);
        const LevelLoadResult loaded = ReadLevel(built.bytes);
        ASSERT_EQ(loaded.status, LevelLoadStatus::Loaded);
        EXPECT_EQ(CheckLevelForConversion(loaded.level), c.problem);
    }
}
