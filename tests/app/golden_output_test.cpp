// End to end: a small builder-made level converted by the built program,
// compared file by file with the expected output in tests/golden/.
//
// Any change to these bytes is a decision. To accept one, run this test with
// TARVIK_UPDATE_GOLDEN=1 in the environment, which rewrites the expected
// files, and review the difference.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/run_sequence.h"
#include "convert/body_parts.h"
#include "level/level_reader.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree_outline.h"
#include "toolkit3ds/errors.h"
#include "tools/levelbuilder/sample_level.h"

namespace {

const std::string kGoldenDir = std::string(TARVIK_SOURCE_DIR) + "/tests/golden";

inline constexpr Vertex16 kUp = {0, 0, 16384};
inline constexpr Vertex16 kDown = {0, 0, -16384};

void SetCorners(ObjectTexture& texture, std::array<std::array<uint8_t, 2>, 4> corners) {
    for (size_t i = 0; i < corners.size(); ++i) {
        texture.vertices[i].xPixel = corners[i][0];
        texture.vertices[i].yPixel = corners[i][1];
    }
}

// Small and lopsided: every part has a few faces at its own place, so each
// pose shows; the hips, torso, head and two more parts carry the cases.
LevelDescription GoldenLevel() {
    LevelDescription level;
    for (int i = 0; i < 256; ++i) {
        level.palette[i] = {static_cast<uint8_t>(i % 64), static_cast<uint8_t>((i * 7) % 64),
                            static_cast<uint8_t>(63 - i % 64)};
    }
    level.texturePages8 = PatternBytes(kPageBytes8, 7);

    // Texture 0: a 3 x 2 quad (rows padded to 4 bytes). Texture 1: its first
    // three corners span 3 x 3, the fourth lies far outside. Texture 0x10: a
    // 5 x 1 strip. The others are never used.
    level.objectTextures.resize(17);
    SetCorners(level.objectTextures[0], {{{10, 20}, {12, 20}, {12, 21}, {10, 21}}});
    SetCorners(level.objectTextures[1], {{{100, 10}, {102, 11}, {101, 12}, {250, 250}}});
    SetCorners(level.objectTextures[16], {{{200, 0}, {204, 0}, {204, 0}, {200, 0}}});

    level.meshes.resize(kRequiredMeshCount);
    // By default a part is one coloured triangle, offset by its mesh number.
    for (const BodyPart& part : kBodyParts) {
        BuilderMesh& mesh = level.meshes[part.meshNumber];
        const int16_t d = static_cast<int16_t>(part.meshNumber * 3);
        mesh.vertices = {{d, 0, 0}, {static_cast<int16_t>(d + 50), 10, -5}, {d, 40, 5}};
        mesh.normals = {kUp, kUp, kUp};
        mesh.colouredTriangles = {{{0, 1, 2}, static_cast<uint16_t>(part.meshNumber)}};
    }

    // Hips: an unmarked textured quad, a textured triangle that cuts texture
    // 1's area first, a coloured quad against its normals (marked), and
    // coloured triangles whose colour fields differ only in the high byte.
    // Shared corners are split.
    BuilderMesh& hips = level.meshes[0];
    hips.vertices = {{0, 0, 0},    {200, 0, 0},     {200, 200, 0}, {0, 200, 0},
                     {-100, 0, 0}, {-100, 200, 30}, {100, -100, 0}};
    hips.normals = {kUp, kUp, kUp, kUp, kDown, kDown, kUp};
    hips.texturedQuads = {{{0, 1, 2, 3}, 0}};
    hips.texturedTriangles = {{{0, 6, 1}, 1}};
    hips.colouredQuads = {{{4, 0, 3, 5}, 0x0203}};
    hips.colouredTriangles = {{{0, 6, 1}, 0x0003}, {{1, 6, 2}, 0xFF04}, {{3, 2, 0}, 0x0103}};

    // L Thigh: light values instead of normals; the face test reads them as
    // the x, y, z of the first normal and zeros for the others.
    BuilderMesh& thigh = level.meshes[1];
    thigh.normals.clear();
    thigh.lightValues = {100, -200, 16000};

    // Torso: a quad of texture 1 (gets the triangle's cached area), a
    // triangle of texture 0x10, and a quad corner carrying bit 15.
    BuilderMesh& torso = level.meshes[7];
    torso.vertices = {
        {-150, -300, 40}, {150, -300, 40}, {150, 300, 40}, {-150, 300, 40}, {0, 0, 120}};
    torso.normals = {kUp, kUp, kUp, kUp, kUp};
    torso.texturedQuads = {{{0, 1, 2, 0x8003}, 1}};
    torso.texturedTriangles = {{{0, 1, 4}, 16}};
    torso.colouredQuads = {{{3, 2, 1, 0}, 6}};
    torso.colouredTriangles = {};

    // Head: a collinear (degenerate) triangle is marked, a vertex no face uses.
    BuilderMesh& head = level.meshes[14];
    head.vertices = {{-80, -90, 10}, {20, -40, 10}, {120, 10, 10}, {-50, 60, -70}, {7, 7, 7}};
    head.normals = {kUp, kUp, kUp, kUp, kUp};
    head.colouredTriangles = {{{0, 1, 2}, 14}, {{0, 1, 3}, 14}};

    // Ptail Bot: a triangle of texture 0, whose quad area is cached.
    BuilderMesh& tail = level.meshes[35];
    tail.texturedTriangles = {{{2, 1, 0}, 0}};
    return level;
}

// The expected files, by name.
std::vector<std::string> ExpectedFiles() {
    std::vector<std::string> expected = ListDirectory(kGoldenDir);
    std::erase(expected, std::string("README.md"));
    return expected;
}

void ExpectTheExpectedFiles(const std::string& path) {
    const std::vector<std::string> written = ListDirectory(path);
    ASSERT_EQ(written, ExpectedFiles());
    for (const std::string& name : written) {
        EXPECT_TRUE(ReadFileBytes(path + "/" + name) == ReadFileBytes(kGoldenDir + "/" + name))
            << name << " differs from the expected file";
    }
}

TEST(GoldenOutput, SmallLevelConvertsToTheExpectedFiles) {
    ScopedTempDir dir;
    WriteFileBytes("golden.qlv", BuildLevel(GoldenLevel()).bytes);
    std::filesystem::create_directory("out");
    // An older, longer output is overwritten whole.
    WriteFileBytes("out/KeshMesh.3ds", std::vector<unsigned char>(100000, 0xEE));
    const ProcessResult result = RunProgram({TARVIK_EXE, "../golden.qlv"}, dir.path() + "/out");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "Creating 3ds mesh file 'KeshMesh.3ds'\n");
    EXPECT_EQ(result.err, "");

    if (std::getenv("TARVIK_UPDATE_GOLDEN") != nullptr) {
        for (const std::string& name : ExpectedFiles()) {
            std::filesystem::remove(kGoldenDir + "/" + name);
        }
        for (const std::string& name : ListDirectory("out")) {
            std::filesystem::copy_file("out/" + name, kGoldenDir + "/" + name);
        }
        GTEST_SKIP() << "expected files rewritten in " << kGoldenDir;
    }
    ExpectTheExpectedFiles("out");
}

// A later part whose texture number lies below one an earlier part used gets
// its material all the same: every material a face group names is in the file.
TEST(GoldenOutput, EveryMaterialAFaceGroupNamesIsInTheFile) {
    LevelDescription level = GoldenLevel();
    level.meshes[14].texturedTriangles = {{{0, 1, 2}, 5}}; // the head, after the torso's 0x10
    ScopedTempDir dir;
    WriteFileBytes("level.qlv", BuildLevel(level).bytes);
    ASSERT_EQ(RunProgram({TARVIK_EXE, "level.qlv"}, dir.path()).exitCode, 0);

    std::unique_ptr<Database3ds> db = ReadDatabaseFile("KeshMesh.3ds");
    const std::vector<std::string> written = MaterialNames(*db);
    const std::set<std::string> materials(written.begin(), written.end());
    std::set<std::string> grouped;
    for (Chunk3ds* object : Children(Editor(*db))) {
        for (Chunk3ds* group : Children(FindChunk(object, kTagFaceList3ds))) {
            if (group->tag == kTagMaterialGroup3ds) {
                grouped.insert(std::get<MaterialGroupData3ds>(*ReadChunkData3ds(group)).name);
            }
        }
    }
    EXPECT_TRUE(grouped.contains("Text005"));
    EXPECT_TRUE(std::includes(materials.begin(), materials.end(), grouped.begin(), grouped.end()));
    EXPECT_FALSE(ErrorPending3ds);
    ResetToolkit3ds();
}

// In one process, after a run that ended half way (output open, texture
// areas cut), the next run gives the same files as a fresh process.
TEST(GoldenOutput, SecondRunInOneProcessGivesTheExpectedFiles) {
    LevelDescription broken = DescribeSampleLevel();
    broken.meshes[3] = BuilderMesh{}; // "L Foot": the toolkit's error after three parts
    LevelData first = ReadLevel(BuildLevel(broken).bytes).level;
    LevelData second = ReadLevel(BuildLevel(GoldenLevel()).bytes).level;
    {
        ScopedTempDir dir;
        testing::internal::CaptureStderr();
        EXPECT_EQ(RunConversion(first), kToolkitErrorExit);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string(ErrorMessage3ds(ERR_INVALID_DATA)) + "\n");
        // The error list stays as it was printed.
        EXPECT_EQ(ErrorList3ds()[0].code, ERR_INVALID_DATA);
        // It cut textures 0 and 1, which the golden level uses as well, and
        // wrote nothing into the output.
        EXPECT_TRUE(std::filesystem::exists("Text001.bmp"));
        EXPECT_EQ(std::filesystem::file_size("KeshMesh.3ds"), 0u);
    }
    ScopedTempDir dir;
    ASSERT_EQ(RunConversion(second), 0);
    ExpectTheExpectedFiles(dir.path());
}

} // namespace
