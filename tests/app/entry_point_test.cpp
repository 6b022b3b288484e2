// The command line and the checks made before any output, through the built
// program: each of these runs ends with 1 and leaves the directory as it was.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tools/levelbuilder/sample_level.h"

namespace {

std::string HelpText(const std::string& programName) {
    return "Tarvik v1.0 - QLV character to 3D Studio converter, provided as is\n"
           "Thanks to everyone who worked out the QLV level layout,\n"
           "and to everyone who documented the 3DS chunk format.\n"
           "\n"
           "Usage: " +
           programName + " {filename.qlv}\n       " + programName +
           " --gltf {filename.qlv}\n"
           "\n"
           "Output consists of KESHMESH.3DS and a potentially large number of bitmap\n"
           "files.  To insure proper shading after importing into 3D Studio, weld each\n"
           "individual mesh's vertices together.\n"
           "\n"
           "On levels where Kesh is wearing a jacket, her legs and neck appear to be\n"
           "improperly coloured.  This is because her legs and neck are normally textured\n"
           "(like the rest of her), but on the jacket levels her legs and neck are coloured\n"
           "polygons and the colours don't match up.  You can easily fix this in the\n"
           "Material Editor of 3D Studio.\n"
           "\n"
           "With --gltf, output is KESHMESH.GLB instead: one glTF 2.0 file with her parts\n"
           "in her joint hierarchy, their textures, and every animation of hers that the\n"
           "level holds, for Blender and other current 3D tools.\n"
           "\n";
}

// Runs the program with the arguments in the temporary directory; expects exit
// code 1, nothing on standard output and the directory unchanged.
ProcessResult RunIn(const ScopedTempDir& dir, const std::vector<std::string>& args) {
    const auto before = SnapshotDirectory(dir.path());
    std::vector<std::string> argv = {TARVIK_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessResult result = RunProgram(argv, dir.path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(SnapshotDirectory(dir.path()), before);
    return result;
}

TEST(EntryPoint, AnythingButOneArgumentGetsTheHelpTextNamingTheProgram) {
    ScopedTempDir dir;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{"a.qlv", "b.qlv"},
          std::vector<std::string>{"--gltf"}, std::vector<std::string>{"--gltf", "a", "b"},
          std::vector<std::string>{"a.qlv", "b.qlv", "c.qlv"}}) {
        EXPECT_EQ(RunIn(dir, args).err, HelpText(TARVIK_EXE));
    }
    std::filesystem::create_symlink(TARVIK_EXE, "my-converter");
    const ProcessResult result = RunProgram({"./my-converter"}, dir.path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, HelpText("./my-converter"));
}

TEST(EntryPoint, LevelThatCannotBeReadGetsOneLineAndOtherVersionsTheHelpText) {
    ScopedTempDir dir;
    LevelDescription old = DescribeSampleLevel();
    old.version = 32;
    WriteFileBytes("old.qlv", BuildLevel(old).bytes);
    WriteFileBytes("empty.qlv", {});
    const BuiltLevel built = BuildLevel(DescribeSampleLevel());
    const BlockPlace& rooms = FindBlock(built, "room 0 data");
    WriteFileBytes("cut.qlv", {built.bytes.begin(),
                               built.bytes.begin() + static_cast<ptrdiff_t>(rooms.offset + 3)});

    const std::string notLevel =
        " does not appear to be a valid QLV file, aborting...\n" + HelpText(TARVIK_EXE);
    const std::pair<std::string, std::string> cases[] = {
        {"nowhere.qlv", "nowhere.qlv: No such file or directory\n"},
        {".", ".: Is a directory\n"},
        {"old.qlv", "old.qlv" + notLevel},
        {"empty.qlv", "empty.qlv" + notLevel},
        {"cut.qlv", "cut.qlv: file ends inside the room 0 data at byte " +
                        std::to_string(rooms.offset) +
                        " (17 entries of 2 bytes need 34 bytes, 3 left)\n"},
    };
    for (const auto& [name, message] : cases) {
        EXPECT_EQ(RunIn(dir, {name}).err, message);
    }
}

TEST(EntryPoint, LevelThatCannotBeConvertedLeavesEarlierOutputsAlone) {
    ScopedTempDir dir;
    WriteFileBytes("KeshMesh.3ds", std::vector<unsigned char>(100, 0xEE));
    WriteFileBytes("Text000.bmp", std::vector<unsigned char>(10, 0xBB));

    LevelDescription fewMeshes = DescribeSampleLevel();
    fewMeshes.meshes.resize(35);
    // The checks' other messages are the level checks' own tests.
    WriteFileBytes("level.qlv", BuildLevel(fewMeshes).bytes);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"level.qlv"}, std::vector<std::string>{"--gltf", "level.qlv"}}) {
        EXPECT_EQ(RunIn(dir, args).err,
                  "level.qlv: the level holds 35 meshes, the character needs 36\n");
    }
}

} // namespace
