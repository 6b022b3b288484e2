// The command line, run through the built program.

#include <filesystem>
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
           programName +
           " {filename.qlv}\n"
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
           "\n";
}

// Runs the program in the temporary directory and expects that it created
// nothing there: the directory still holds exactly `before`.
ProcessResult RunIn(const ScopedTempDir& dir, const std::vector<std::string>& args) {
    const std::vector<std::string> before = ListDirectory(dir.path());
    std::vector<std::string> argv = {TARVIK_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessResult result = RunProgram(argv, dir.path());
    EXPECT_EQ(ListDirectory(dir.path()), before);
    EXPECT_EQ(result.out, "");
    return result;
}

TEST(EntryPoint, AnythingButOneArgumentGetsTheHelpText) {
    ScopedTempDir dir;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{"a.qlv", "b.qlv"},
          std::vector<std::string>{"a.qlv", "b.qlv", "c.qlv"}}) {
        const ProcessResult result = RunIn(dir, args);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, HelpText(TARVIK_EXE));
    }
}

TEST(EntryPoint, HelpNamesTheProgramAsInvoked) {
    ScopedTempDir dir;
    std::filesystem::create_directory("bin");
    std::filesystem::create_symlink(TARVIK_EXE, "bin/my-converter");
    const ProcessResult result = RunProgram({"bin/my-converter"}, dir.path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, HelpText("bin/my-converter"));
}

TEST(EntryPoint, MissingFileGivesTheSystemsReasonWithoutHelp) {
    ScopedTempDir dir;
    const ProcessResult result = RunIn(dir, {"nowhere.qlv"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "nowhere.qlv: No such file or directory\n");
}

TEST(EntryPoint, OtherVersionGetsTheMessageThenTheHelpText) {
    ScopedTempDir dir;
    LevelDescription level = DescribeSampleLevel();
    level.version = 32;
    WriteFileBytes("old.qlv", BuildLevel(level).bytes);
    WriteFileBytes("tiny.qlv", {45, 0});

    ProcessResult result = RunIn(dir, {"old.qlv"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "old.qlv does not appear to be a valid QLV file, aborting...\n" +
                              HelpText(TARVIK_EXE));

    result = RunIn(dir, {"tiny.qlv"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "tiny.qlv does not appear to be a valid QLV file, aborting...\n" +
                              HelpText(TARVIK_EXE));
}

TEST(EntryPoint, DamagedLevelGetsOneLineNamingWhereItEnds) {
    ScopedTempDir dir;
    const BuiltLevel built = BuildLevel(DescribeSampleLevel());
    const BlockPlace& rooms = FindBlock(built, "room 0 data");
    WriteFileBytes("cut.qlv", {built.bytes.begin(),
                               built.bytes.begin() + static_cast<ptrdiff_t>(rooms.offset + 3)});
    std::vector<uint8_t> absurd = built.bytes;
    PatchU32(absurd, FindBlock(built, "texture page count").offset, 0xffffffff);
    WriteFileBytes("absurd.qlv", absurd);

    ProcessResult result = RunIn(dir, {"cut.qlv"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "cut.qlv: file ends inside the room 0 data at byte " +
                              std::to_string(rooms.offset) +
                              " (17 entries of 2 bytes need 34 bytes, 3 left)\n");

    result = RunIn(dir, {"absurd.qlv"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "absurd.qlv: file ends inside the 8-bit texture pages at byte 1800 (4294967295 "
              "entries of 65536 bytes need 281474976645120 bytes, " +
                  std::to_string(built.bytes.size() - 1800) + " left)\n");

    result = RunIn(dir, {"."});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, ".: Is a directory\n");
}

TEST(EntryPoint, LevelThatPassesEveryCheckEndsWithZero) {
    ScopedTempDir dir;
    WriteFileBytes("sample.qlv", BuildLevel(DescribeSampleLevel()).bytes);
    const ProcessResult result = RunProgram({TARVIK_EXE, "sample.qlv"}, dir.path());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
}

} // namespace
