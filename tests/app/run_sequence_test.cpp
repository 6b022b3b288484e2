// The run sequence, through the built program on the sample level.

#include "tests/support/chunk_tree_walk.h"
#include "tests/support/temp_dir.h"
#include "toolkit3ds/chunk_tags.h"
#include "tools/levelbuilder/sample_level.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

const std::string kProgressLine = "Creating 3ds mesh file 'KeshMesh.3ds'\n";

// Writes the sample level into the directory and runs the program on it.
ProcessResult RunOnSample(const ScopedTempDir& dir) {
    WriteFileBytes("sample.qlv", BuildLevel(DescribeSampleLevel()).bytes);
    return RunProgram({TARVIK_EXE, "sample.qlv"}, dir.path());
}

std::vector<uint16_t> Tags(const std::vector<ChunkTreeView>& chunks) {
    std::vector<uint16_t> tags;
    for (const ChunkTreeView& chunk : chunks) {
        tags.push_back(chunk.chunk.tag);
    }
    return tags;
}

TEST(RunSequence, SampleLevelGivesOnlyTheProgressLineAndAValidFile) {
    ScopedTempDir dir;
    // An old output is overwritten.
    WriteFileBytes("KeshMesh.3ds", std::vector<unsigned char>(1000, 0xEE));

    const ProcessResult result = RunOnSample(dir);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, kProgressLine);
    EXPECT_EQ(result.err, "");

    const ChunkTreeView tree = ReadChunkTree(ReadFileBytes("KeshMesh.3ds"));
    EXPECT_EQ(tree.chunk.tag, kTagMeshFile3ds);
    ASSERT_EQ(Tags(tree.children),
              std::vector<uint16_t>({kTagFileVersion3ds, kTagEditor3ds, kTagKeyframer3ds}));
    ASSERT_FALSE(tree.children[1].children.empty());
    EXPECT_EQ(tree.children[1].children[0].chunk.tag, kTagMeshVersion3ds);
    ASSERT_FALSE(tree.children[2].children.empty());
    EXPECT_EQ(tree.children[2].children[0].chunk.tag, kTagKeyframerHeader3ds);
}

TEST(RunSequence, OutputThatCannotBeCreatedEndsWith255) {
    ScopedTempDir dir;
    std::filesystem::create_directory("KeshMesh.3ds");

    const ProcessResult result = RunOnSample(dir);
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_EQ(result.out, kProgressLine);
    EXPECT_EQ(result.err, "ERR_OPENING_FILE: Could not open requested file\n");
    EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>({"KeshMesh.3ds", "sample.qlv"}));
    EXPECT_TRUE(std::filesystem::is_empty("KeshMesh.3ds"));
}

TEST(RunSequence, FullDiskEndsWith255AndTheErrorsNewestFirst) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    ScopedTempDir dir;
    std::filesystem::create_symlink("/dev/full", "KeshMesh.3ds");

    const ProcessResult result = RunOnSample(dir);
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_EQ(result.out, kProgressLine);
    EXPECT_EQ(result.err, "ERR_WRITING_DATABASE: Error occured while writing database\n"
                          "ERR_WRITING_FILE: Error occured while writing file\n");
}

} // namespace
