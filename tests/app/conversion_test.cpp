// The conversion through the built program: levels refused before anything
// is written, and the failures that end a conversion half way.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "toolkit3ds/errors.h"
#include "tools/levelbuilder/sample_level.h"

namespace {

const std::string kProgressLine = "Creating 3ds mesh file 'KeshMesh.3ds'\n";

// Every file of the directory with its contents.
std::map<std::string, std::vector<unsigned char>> Snapshot(const std::string& path) {
    std::map<std::string, std::vector<unsigned char>> files;
    for (const std::string& name : ListDirectory(path)) {
        files[name] = ReadFileBytes(path + "/" + name);
    }
    return files;
}

ProcessResult Convert(const ScopedTempDir& dir, const LevelDescription& level) {
    WriteFileBytes("level.qlv", BuildLevel(level).bytes);
    return RunProgram({TARVIK_EXE, "level.qlv"}, dir.path());
}

TEST(Conversion, LevelsThatCannotBeConvertedLeaveTheDirectoryAsItWas) {
    ScopedTempDir dir;
    // Outputs of an earlier run must survive a refused level.
    WriteFileBytes("KeshMesh.3ds", std::vector<unsigned char>(100, 0xEE));
    WriteFileBytes("Text000.bmp", std::vector<unsigned char>(10, 0xBB));

    LevelDescription fewMeshes = DescribeSampleLevel();
    fewMeshes.meshes.resize(35);
    LevelDescription badCorner = DescribeSampleLevel();
    badCorner.meshes[7].colouredQuads[1].corners[3] = 900;
    LevelDescription badTexture = DescribeSampleLevel();
    badTexture.meshes[33].texturedQuads[0].texture = 4000;
    LevelDescription noNormals = DescribeSampleLevel();
    noNormals.meshes[14].normals.clear();

    const std::pair<const LevelDescription*, std::string> cases[] = {
        {&fewMeshes, "level.qlv: the level holds 35 meshes, the character needs 36\n"},
        {&badCorner,
         "level.qlv: mesh 7, coloured quad 1, corner 3: vertex 900 is out of range (the "
         "mesh has " +
             std::to_string(badCorner.meshes[7].vertices.size()) + " vertices)\n"},
        {&badTexture, "level.qlv: mesh 33, textured quad 0: object texture 4000 is out of range "
                      "(the level has " +
                          std::to_string(badTexture.objectTextures.size()) + " object textures)\n"},
        {&noNormals, "level.qlv: mesh 14, textured quad 0, corner 0: vertex " +
                         std::to_string(noNormals.meshes[14].texturedQuads[0].corners[0]) +
                         " has no normal (the mesh has 0 normals)\n"},
    };
    for (const auto& [level, message] : cases) {
        WriteFileBytes("level.qlv", BuildLevel(*level).bytes);
        const auto before = Snapshot(dir.path());
        const ProcessResult result = RunProgram({TARVIK_EXE, "level.qlv"}, dir.path());
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, message);
        EXPECT_EQ(Snapshot(dir.path()), before);
    }
}

TEST(Conversion, BitmapThatCannotBeCreatedEndsWithOne) {
    ScopedTempDir dir;
    std::filesystem::create_directory("Text000.bmp");
    const ProcessResult result = Convert(dir, DescribeSampleLevel());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, kProgressLine);
    EXPECT_EQ(result.err, "Text000.bmp: Is a directory\n");
    // The output file was opened, but nothing was written into it.
    EXPECT_EQ(ListDirectory(dir.path()),
              (std::vector<std::string>{"KeshMesh.3ds", "Text000.bmp", "level.qlv"}));
    EXPECT_EQ(std::filesystem::file_size("KeshMesh.3ds"), 0u);
}

TEST(Conversion, PartWithoutVerticesEndsWithTheToolkitsError) {
    ScopedTempDir dir;
    LevelDescription level = DescribeSampleLevel();
    level.meshes[3] = BuilderMesh{}; // "L Foot"
    const ProcessResult result = Convert(dir, level);
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_EQ(result.out, kProgressLine);
    EXPECT_EQ(result.err, std::string(ErrorMessage3ds(ERR_INVALID_DATA)) + "\n");
    EXPECT_EQ(std::filesystem::file_size("KeshMesh.3ds"), 0u);
}

} // namespace
