// The run sequence through the built program: the sample level converts, and
// the failures that end a conversion half way.

#include "tests/support/temp_dir.h"
#include "tools/levelbuilder/sample_level.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

const std::string kProgressLine = "Creating 3ds mesh file 'KeshMesh.3ds'\n";

// Writes the level into the directory and runs the program on it.
ProcessResult Convert(const ScopedTempDir& dir, const LevelDescription& level) {
    WriteFileBytes("level.qlv", BuildLevel(level).bytes);
    return RunProgram({TARVIK_EXE, "level.qlv"}, dir.path());
}

void ExpectEnd(const ProcessResult& result, int exitCode, const std::string& err) {
    EXPECT_EQ(result.exitCode, exitCode);
    EXPECT_EQ(result.out, kProgressLine);
    EXPECT_EQ(result.err, err);
}

TEST(RunSequence, BitmapThatCannotBeCreatedEndsWithOne) {
    ScopedTempDir dir;
    std::filesystem::create_directory("Text000.bmp");
    ExpectEnd(Convert(dir, DescribeSampleLevel()), 1, "Text000.bmp: Is a directory\n");
    // The output file was opened, but nothing was written into it.
    EXPECT_EQ(ListDirectory(dir.path()),
              (std::vector<std::string>{"KeshMesh.3ds", "Text000.bmp", "level.qlv"}));
    EXPECT_EQ(std::filesystem::file_size("KeshMesh.3ds"), 0u);
}

TEST(RunSequence, OutputThatCannotBeCreatedEndsWith255) {
    ScopedTempDir dir;
    std::filesystem::create_directory("KeshMesh.3ds");
    ExpectEnd(Convert(dir, DescribeSampleLevel()), 255,
              "KeshMesh.3ds: Is a directory\n"
              "ERR_OPENING_FILE: Could not open requested file\n");
    EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>({"KeshMesh.3ds", "level.qlv"}));
    EXPECT_TRUE(std::filesystem::is_empty("KeshMesh.3ds"));
}

TEST(RunSequence, FullDiskEndsWith255AndTheErrorsNewestFirst) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    ScopedTempDir dir;
    std::filesystem::create_symlink("/dev/full", "KeshMesh.3ds");
    ExpectEnd(Convert(dir, DescribeSampleLevel()), 255,
              "KeshMesh.3ds: No space left on device\n"
              "ERR_WRITING_DATABASE: Error occured while writing database\n"
              "ERR_WRITING_FILE: Error occured while writing file\n");
}

} // namespace
