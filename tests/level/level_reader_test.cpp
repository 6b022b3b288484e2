// The level reader: what it keeps of each block, and how it refuses damaged
// files: a clean refusal with a one-line problem, and no allocation larger
// than the file.

#include "level/level_reader.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/allocation_hooks.h"
#include "tests/support/level_compare.h"
#include "tests/support/temp_dir.h"
#include "tools/levelbuilder/every_block_level.h"

namespace {

// Small fixed allocations (messages, a few records) are allowed beyond the
// bytes of a tiny file.
constexpr size_t kBookkeepingBytes = 4096;

std::vector<int> Flatten(const std::array<PaletteEntry, 256>& palette) {
    std::vector<int> flat;
    for (const PaletteEntry& e : palette) {
        flat.insert(flat.end(), {e.red, e.green, e.blue});
    }
    return flat;
}

// Reads the first `size` bytes from an allocation of exactly that size, so
// that the sanitizer sees any read past the end; checks the largest
// allocation and that a refusal's problem is one line.
LevelLoadResult ReadChecked(const std::vector<uint8_t>& bytes, size_t size) {
    const std::vector<uint8_t> copy(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(size));
    ResetLargestAllocation();
    LevelLoadResult result = ReadLevel(copy);
    EXPECT_LE(LargestAllocation(), std::max(size, kBookkeepingBytes));
    EXPECT_EQ(result.problem.find('\n'), std::string::npos) << result.problem;
    return result;
}

LevelLoadResult ReadChecked(const std::vector<uint8_t>& bytes) {
    return ReadChecked(bytes, bytes.size());
}

bool StartsWith(const std::string& text, const std::string& start) {
    return text.rfind(start, 0) == 0;
}

TEST(LevelReader, KeepsEveryBlockSkipsTheOthersAndIgnoresBytesAfterTheEnd) {
    LevelDescription d = EveryBlockLevel(2);
    d.trailingBytes = PatternBytes(1000, 99);
    d.meshes[1].padBefore = 0x10001; // its pointer takes three bytes
    const LevelLoadResult result = ReadLevel(BuildLevel(d).bytes);
    ASSERT_EQ(result.status, LevelLoadStatus::Loaded) << result.problem;
    const LevelData& level = result.level;

    EXPECT_EQ(level.version, 45u);
    EXPECT_EQ(Flatten(level.palette), Flatten(d.palette));
    EXPECT_EQ(level.numTexturePages(), 2u);
    EXPECT_EQ(level.texturePages8, d.texturePages8);
    EXPECT_EQ(level.texturePages16, d.texturePages16);

    ASSERT_EQ(level.rooms.size(), 2u);
    const RoomRecord& room = level.rooms[0];
    const BuilderRoomKept& kept = d.rooms[0].kept;
    EXPECT_EQ(room.info, kept.info);
    EXPECT_EQ(room.data, kept.data);
    EXPECT_EQ(room.portals, kept.portals);
    EXPECT_EQ(room.numZSectors, 2);
    EXPECT_EQ(room.numXSectors, 3);
    EXPECT_EQ(room.sectors, kept.sectors);
    EXPECT_EQ(room.lights, kept.lights);
    EXPECT_TRUE(level.rooms[1].data.empty() && level.rooms[1].portals.empty() &&
                level.rooms[1].sectors.empty() && level.rooms[1].lights.empty());

    EXPECT_EQ(level.floorData, d.floorData);
    EXPECT_EQ(level.animations, d.animations);
    EXPECT_EQ(level.stateChanges, d.stateChanges);
    EXPECT_EQ(level.animDispatches, d.animDispatches);
    EXPECT_EQ(level.animCommands, d.animCommands);
    EXPECT_EQ(level.meshTrees, d.meshTrees);
    EXPECT_EQ(level.frames, d.frames);
    EXPECT_EQ(level.moveables, d.moveables);
    EXPECT_EQ(Flatten(level.objectTextures), Flatten(d.objectTextures));
    EXPECT_EQ(level.spriteTextures, d.spriteTextures);

    ASSERT_EQ(level.meshes.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ExpectMeshAsDescribed(level.meshes[i], d.meshes[i]);
    }
}

// The builder is the oracle of the other tests; these offsets are the format's own.
TEST(LevelReader, ReadsTheFixedHeadAtItsOffsets) {
    LevelDescription d;
    d.texturePages8.resize(kPageBytes8);
    std::vector<uint8_t> bytes = BuildLevel(d).bytes;
    bytes[4] = 63; // first palette entry, red
    bytes[5] = 1;
    bytes[6] = 2;
    bytes[771] = 62;                                            // last palette entry, blue
    std::fill(bytes.begin() + 772, bytes.begin() + 1796, 0xff); // second palette
    bytes[1800] = 0x77;                                         // first pixel of page 0
    bytes[1800 + 65535] = 0x55;                                 // last pixel of page 0
    bytes[1800 + 65536] = 0x12;                                 // first byte of the 16-bit page
    bytes[1800 + 65536 + 131071] = 0x34;                        // its last byte

    const LevelLoadResult result = ReadLevel(bytes);
    ASSERT_EQ(result.status, LevelLoadStatus::Loaded) << result.problem;
    const LevelData& level = result.level;
    EXPECT_EQ((std::vector<int>{level.palette[0].red, level.palette[0].green, level.palette[0].blue,
                                level.palette[255].blue}),
              (std::vector<int>{63, 1, 2, 62}));
    ASSERT_EQ(level.texturePages8.size(), kPageBytes8);
    ASSERT_EQ(level.texturePages16.size(), kPageBytes16);
    EXPECT_EQ((std::vector<int>{level.texturePages8.front(), level.texturePages8.back(),
                                level.texturePages16.front(), level.texturePages16.back()}),
              (std::vector<int>{0x77, 0x55, 0x12, 0x34}));
}

// Damaged levels, each with the status and the start of the problem it must give.
struct Damaged {
    const char* name;
    std::vector<uint8_t> bytes;
    LevelLoadStatus status;
    std::string problem;
};

std::vector<Damaged> DamagedLevels() {
    std::vector<Damaged> cases;
    LevelDescription d = EveryBlockLevel(1);
    d.version = 44;
    cases.push_back({"other version", BuildLevel(d).bytes, LevelLoadStatus::NotLevelFile,
                     "version 44 instead of 45"});
    // Nothing follows the version, which is not looked past.
    cases.push_back({"version alone", {46, 0, 0, 0}, LevelLoadStatus::NotLevelFile, "version 46"});
    cases.push_back({"no palette",
                     {45, 0, 0, 0},
                     LevelLoadStatus::Unreadable,
                     "file ends inside the palette at byte 4 (768 bytes needed, 0 left)"});

    // 65536 pages would need 4 GiB.
    BuiltLevel built = BuildLevel(EveryBlockLevel(1));
    PatchU32(built.bytes, 1796, 65536);
    cases.push_back({"pages", built.bytes, LevelLoadStatus::Unreadable,
                     "file ends inside the 8-bit texture pages at byte 1800 (65536 entries of "
                     "65536 bytes need 4294967296 bytes, " +
                         std::to_string(built.bytes.size() - 1800) + " left)"});

    // Both 16-bit sector counts are unsigned, and so is their product: 65535 x 65535 sectors.
    built = BuildLevel(EveryBlockLevel(1));
    PatchU16(built.bytes, FindBlock(built, "room 0 sector count along z").offset, 0xffff);
    PatchU16(built.bytes, FindBlock(built, "room 0 sector count along x").offset, 0xffff);
    cases.push_back({"sectors", built.bytes, LevelLoadStatus::Unreadable,
                     "file ends inside the room 0 sectors at byte " +
                         std::to_string(FindBlock(built, "room 0 sectors").offset) +
                         " (4294836225 entries of 8 bytes need 34358689800 bytes, "});

    // Repeated pointers to a large mesh: about 10 MB of meshes from 200 kB
    // pass, 7.8 GB from 356 kB do not.
    BuilderMesh large;
    large.vertices.resize(32767);
    d = LevelDescription{};
    d.meshes = {large};
    d.meshPointers = std::vector<uint32_t>(50, 0);
    cases.push_back(
        {"pointers within the allowance", BuildLevel(d).bytes, LevelLoadStatus::Loaded, ""});
    d.meshPointers = std::vector<uint32_t>(40000, 0);
    built = BuildLevel(d);
    cases.push_back({"pointers beyond the allowance", built.bytes, LevelLoadStatus::Unreadable,
                     "the 40000 mesh pointers at byte " +
                         std::to_string(FindBlock(built, "mesh pointers").offset) + " decode to "});
    return cases;
}

TEST(LevelReader, DamagedLevelsAreRefusedWithTheirProblem) {
    for (const Damaged& c : DamagedLevels()) {
        SCOPED_TRACE(c.name);
        const LevelLoadResult result = ReadLevel(c.bytes);
        EXPECT_EQ(result.status, c.status);
        EXPECT_PRED2(StartsWith, result.problem, c.problem);
    }
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

TEST(LevelReader, EveryPrefixIsRefusedNamingWhereTheFileEnds) {
    const BuiltLevel built = BuildLevel(EveryBlockLevel(0));
    for (size_t size = 0; size < built.bytes.size(); ++size) {
        SCOPED_TRACE("prefix of " + std::to_string(size) + " bytes");
        const LevelLoadResult result = ReadChecked(built.bytes, size);
        if (size < 4) {
            EXPECT_EQ(result.status, LevelLoadStatus::NotLevelFile);
        } else {
            EXPECT_EQ(result.status, LevelLoadStatus::Unreadable);
            EXPECT_PRED2(StartsWith, result.problem, ExpectedProblemStart(built, size));
        }
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
            EXPECT_PRED2(StartsWith, result.problem, ExpectedProblemStart(paged, size));
        }
    }
}

bool IsCount(const BlockPlace& block) {
    return block.name.find("count") != std::string::npos;
}

TEST(LevelReader, AbsurdCountsAreRefusedBeforeAllocatingForThem) {
    const BuiltLevel valid = BuildLevel(EveryBlockLevel(1));
    const std::vector<BlockPlace>& blocks = valid.blocks;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const BlockPlace& count = blocks[i];
        // The entries a count counts: the next block that is not a count.
        const auto entries =
            std::find_if_not(blocks.begin() + static_cast<ptrdiff_t>(i) + 1, blocks.end(), IsCount);
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
            const LevelLoadResult result = ReadChecked(damaged.bytes);
            ASSERT_EQ(result.status, LevelLoadStatus::Unreadable);
            // Rooms are read one by one until one does not fit.
            const std::string where =
                count.name == "room count"
                    ? ""
                    : entries->name + " at byte " + std::to_string(entries->offset) + " (";
            EXPECT_PRED2(StartsWith, result.problem, "file ends inside the " + where);
        }
    }
}

// A missing file and a directory are tested through the built program, whole
// and cut files above and in the end-to-end test. A pipe has no size, and
// opening it must not wait for a writer.
TEST(LevelReader, RefusesAPipeWithoutWaitingForAWriter) {
    ScopedTempDir dir;
    ASSERT_EQ(mkfifo("pipe.qlv", 0600), 0);
    const LevelLoadResult result = LoadLevel("pipe.qlv");
    EXPECT_EQ(result.status, LevelLoadStatus::CannotOpen);
    EXPECT_EQ(result.problem, "not a regular file");
}

// Whether the memory page holding `address` is mapped into this process,
// from /proc/self/pagemap; empty when that cannot be told.
std::optional<bool> PagePresent(const void* address) {
    const int fd = open("/proc/self/pagemap", O_RDONLY);
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    uint64_t entry = 0;
    const auto at = static_cast<off_t>(reinterpret_cast<uintptr_t>(address) / page * 8);
    const bool known = fd >= 0 && pread(fd, &entry, sizeof entry, at) == sizeof entry;
    if (fd >= 0) {
        close(fd);
    }
    return known ? std::optional<bool>((entry >> 63) != 0) : std::nullopt;
}

TEST(LevelReader, ChecksTheBlocksItDoesNotUseWithoutReadingThem) {
    ScopedTempDir dir;
    WriteFileBytes("level.qlv", BuildLevel(EveryBlockLevel(128)).bytes); // 24 MB of texture pages
    const LevelLoadResult result = LoadLevel("level.qlv");
    ASSERT_EQ(result.status, LevelLoadStatus::Loaded) << result.problem;
    const LevelArray<uint8_t>& pages16 = result.level.texturePages16;
    ASSERT_TRUE(pages16.isView());

    // A page this test reads must show as present, or pagemap tells nothing here
    // (an emulator, or no /proc).
    const volatile uint8_t firstByte = pages16.data()[0];
    static_cast<void>(firstByte);
    if (PagePresent(pages16.data()) != true) {
        GTEST_SKIP() << "/proc/self/pagemap does not show this process's pages";
    }
    // Reading the block's neighbours maps the file's pages around them, as
    // many as the page cache keeps in one piece (up to 2 MB): a few MB of the
    // 16 MB block at most.
    const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t present = 0;
    for (size_t at = 0; at < pages16.size(); at += page) {
        present += PagePresent(pages16.data() + at) == true;
    }
    EXPECT_LT(present * page, pages16.size() / 2);
}

} // namespace
