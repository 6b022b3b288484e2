#include "convert/level_checks.h"

#include <gtest/gtest.h>

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

    // More meshes than the character needs, and mesh decoding that stopped
    // after the last body part.
    level.meshes.resize(500);
    level.meshDecodingStop = kRequiredMeshCount;
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
        // Mesh decoding stopped there, leaving that mesh and every later one
        // empty; a mesh that is no body part stops it before the ponytail.
        {[](LevelData& l) { l.meshDecodingStop = 7; },
         "mesh 7: its data runs past the end of the mesh words"},
        {[](LevelData& l) { l.meshDecodingStop = 20; },
         "mesh 20: its data runs past the end of the mesh words"},
        {[](LevelData& l) { l.meshDecodingStop = 35; },
         "mesh 35: its data runs past the end of the mesh words"},
    };
    for (const Case& c : cases) {
        LevelData level = MakeLevel();
        c.damage(level);
        EXPECT_EQ(CheckLevelForConversion(level), c.problem);
    }
}

TEST(LevelChecks, LimitsVerticesAfterCornerSplittingAndFaces) {
    // Vertices 1 and 2 are used three times each, 0 and 3 twice: six copies.
    const std::vector<QuadFace> quad = {{{0, 1, 2, 3}, 0}};
    const std::vector<TriangleFace> triangles = {{{0, 1, 2}, 0}, {{2, 1, 3}, 0}};
    const std::string split = " vertices once shared corners are split, more than 32768";
    const std::pair<MeshRecord, std::string> cases[] = {
        {MakeLargeMesh(32762, quad, triangles), ""},
        {MakeLargeMesh(32763, quad, triangles), "mesh 5: 32769" + split},
        // Unused vertices count as well.
        {MakeLargeMesh(32769, {}, {}), "mesh 5: 32769" + split},
        // A quad makes two faces: 32767 quads and a triangle make 65535 faces,
        // which pass the face limit (and then fail the vertex limit).
        {MakeLargeMesh(4, std::vector<QuadFace>(32767, quad[0]), {triangles[0]}),
         "mesh 5: 131071" + split},
        {MakeLargeMesh(4, std::vector<QuadFace>(32768, quad[0]), {}),
         "mesh 5: 65536 faces, more than 65535"},
    };
    for (const auto& [mesh, problem] : cases) {
        LevelData level = MakeLevel();
        level.meshes[5] = mesh;
        EXPECT_EQ(CheckLevelForConversion(level), problem);
    }
}
