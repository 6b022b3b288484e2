// Damaged levels: every prefix of a valid level and every count set to an
// absurd value must end in a clean refusal with a one-line problem, and no
// allocation may be larger than the file.

#include <algorithm>
#include <gtest/gtest.h>

#include "level/level_reader.h"
#include "tests/support/allocation_hooks.h"
#include "tests/support/level_compare.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_levels.h"

namespace {

// Small fixed allocations (messages, a few records) are allowed beyond the
// bytes of a tiny file.
constexpr size_t kBookkeepingBytes = 4096;

// Reads a copy of the bytes in an allocation of their exact size, so that the
// sanitizer sees any read past the end.
LevelLoadResult ReadCopy(const std::vector<uint8_t>& bytes, size_t size, size_t* largest) {
    const std::vector<uint8_t> copy(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(size));
    ResetLargestAllocation();
    LevelLoadResult result = ReadLevel(copy);
    *largest = LargestAllocation();
    return result;
}

// The message a prefix of `size` bytes must give: the first block that does
// not fit, named at its start.
std::string ExpectedProblemStart(const BuiltLevel& built, size_t size) {
    for (const BlockPlace& block : built.blocks) {
        if (block.size > 0 && block.offset + block.size > size) {
            return "file ends inside the " + block.name + " at byte " +
                   std::to_string(block.offset) + " (";
        }
    }
    return "";
}

void ExpectCleanRefusal(const BuiltLevel& built, size_t size) {
    SCOPED_TRACE("prefix of " + std::to_string(size) + " bytes");
    size_t largest = 0;
    const LevelLoadResult result = ReadCopy(built.bytes, size, &largest);
    EXPECT_LE(largest, std::max(size, kBookkeepingBytes));
    if (size < 4) {
        EXPECT_EQ(result.status, LevelLoadStatus::NotLevelFile);
        return;
    }
    EXPECT_EQ(result.status, LevelLoadStatus::Unreadable);
    EXPECT_EQ(result.problem.rfind(ExpectedProblemStart(built, size), 0), 0u) << result.problem;
    EXPECT_EQ(result.problem.find('\n'), std::string::npos);
}

TEST(LevelRobustness, EveryPrefixIsRefusedNamingWhereTheFileEnds) {
    const BuiltLevel built = BuildLevel(EveryBlockLevel(0));
    for (size_t size = 0; size < built.bytes.size(); ++size) {
        ExpectCleanRefusal(built, size);
    }

    // With texture pages, from a file cut in the middle of each block.
    const BuiltLevel paged = BuildLevel(EveryBlockLevel(1));
    ScopedTempDir dir;
    for (const BlockPlace& block : paged.blocks) {
        const size_t size = block.offset + block.size / 2;
        if (block.size > 1 && size >= 4) {
            SCOPED_TRACE(block.name);
            WriteFileBytes("cut.qlv", {paged.bytes.begin(),
                                       paged.bytes.begin() + static_cast<ptrdiff_t>(size)});
            ResetLargestAllocation();
            const LevelLoadResult result = LoadLevel("cut.qlv");
            EXPECT_LE(LargestAllocation(), std::max(size, kBookkeepingBytes));
            EXPECT_EQ(result.status, LevelLoadStatus::Unreadable);
            EXPECT_EQ(result.problem.rfind(ExpectedProblemStart(paged, size), 0), 0u)
                << result.problem;
        }
    }
}

bool IsCount(const BlockPlace& block) {
    return block.name.find("count") != std::string::npos;
}

// The entries a count field counts: the next block that is not a count.
const BlockPlace* CountedBlock(const BuiltLevel& built, size_t countIndex) {
    for (size_t i = countIndex + 1; i < built.blocks.size(); ++i) {
        if (!IsCount(built.blocks[i])) {
            return &built.blocks[i];
        }
    }
    return nullptr;
}

TEST(LevelRobustness, AbsurdCountsAreRefusedBeforeAllocatingForThem) {
    const BuiltLevel valid = BuildLevel(EveryBlockLevel(1));
    for (size_t i = 0; i < valid.blocks.size(); ++i) {
        const BlockPlace& count = valid.blocks[i];
        const BlockPlace* entries = CountedBlock(valid, i);
        // A sector count times a zero count along the other axis is no count at all.
        const bool noSectors =
            count.name.find("sector count") != std::string::npos && entries->size == 0;
        if (!IsCount(count) || noSectors) {
            continue;
        }
        const std::vector<uint32_t> absurd =
            count.size == 4 ? std::vector<uint32_t>{0xffffffff, 0x80000000, 0x40000000, 0x10000}
                            : std::vector<uint32_t>{0xffff, 0x8000};
        for (uint32_t value : absurd) {
            SCOPED_TRACE(count.name + " = " + std::to_string(value));
            BuiltLevel damaged = valid;
            if (count.size == 4) {
                PatchU32(damaged.bytes, count.offset, value);
            } else {
                PatchU16(damaged.bytes, count.offset, static_cast<uint16_t>(value));
            }
            size_t largest = 0;
            const LevelLoadResult result = ReadCopy(damaged.bytes, damaged.bytes.size(), &largest);
            EXPECT_LE(largest, damaged.bytes.size());
            ASSERT_EQ(result.status, LevelLoadStatus::Unreadable);
            EXPECT_EQ(result.problem.find('\n'), std::string::npos);
            if (count.name == "room count") {
                // Rooms are read one by one until one does not fit.
                EXPECT_EQ(result.problem.rfind("file ends inside the ", 0), 0u) << result.problem;
            } else {
                EXPECT_EQ(result.problem.rfind("file ends inside the " + entries->name +
                                                   " at byte " + std::to_string(entries->offset) +
                                                   " (",
                                               0),
                          0u)
                    << result.problem;
            }
        }
    }
}

TEST(LevelRobustness, AbsurdCountsInsideAMeshStopTheDecodingQuietly) {
    const LevelDescription d = EveryBlockLevel(0);
    const BuiltLevel valid = BuildLevel(d);
    const size_t firstMesh = valid.meshWordsOffset + valid.meshStarts[0];
    // The vertex count, the normal count and the textured quad count of mesh 0.
    for (size_t field : {firstMesh + 10, firstMesh + 12 + 4 * 6, firstMesh + 14 + 8 * 6}) {
        for (uint16_t value : {uint16_t{0x7fff}, uint16_t{0x8000}, uint16_t{0x8001}}) {
            SCOPED_TRACE(std::to_string(field) + " = " + std::to_string(value));
            BuiltLevel damaged = valid;
            PatchU16(damaged.bytes, field, value);
            size_t largest = 0;
            const LevelLoadResult result = ReadCopy(damaged.bytes, damaged.bytes.size(), &largest);
            EXPECT_LE(largest, std::max(damaged.bytes.size(), kBookkeepingBytes));
            ASSERT_EQ(result.status, LevelLoadStatus::Loaded) << result.problem;
            ASSERT_EQ(result.level.meshes.size(), 3u);
            for (const MeshRecord& mesh : result.level.meshes) {
                ExpectEmptyMesh(mesh);
            }
        }
    }
}

} // namespace
