#include "level/level_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/level_compare.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_levels.h"

namespace {

LevelLoadResult Load(const BuiltLevel& built) {
    return ReadLevel(built.bytes);
}

std::vector<int> Flatten(const std::array<PaletteEntry, 256>& palette) {
    std::vector<int> flat;
    for (const PaletteEntry& e : palette) {
        flat.insert(flat.end(), {e.red, e.green, e.blue});
    }
    return flat;
}

TEST(LevelReader, KeepsEveryBlockAndSkipsTheOthers) {
    const LevelDescription d = EveryBlockLevel(2);
    const LevelLoadResult result = Load(BuildLevel(d));
    ASSERT_EQ(result.status, LevelLoadStatus::Loaded) << result.problem;
    const LevelData& level = result.level;

    EXPECT_EQ(level.version, 45u);
    EXPECT_EQ(Flatten(level.palette), Flatten(d.palette));
    EXPECT_EQ(level.numTexturePages(), 2u);
    EXPECT_EQ(level.texturePages8, d.texturePages8);
    EXPECT_EQ(level.texturePages16, d.texturePages16);

    ASSERT_EQ(level.rooms.size(), 2u);
    const RoomRecord& room = level.rooms[0];
    EXPECT_EQ(room.info, d.rooms[0].kept.info);
    EXPECT_EQ(room.data, d.rooms[0].kept.data);
    EXPECT_EQ(room.portals, d.rooms[0].kept.portals);
    EXPECT_EQ(room.numZSectors, 2);
    EXPECT_EQ(room.numXSectors, 3);
    EXPECT_EQ(room.sectors, d.rooms[0].kept.sectors);
    EXPECT_EQ(room.lights, d.rooms[0].kept.lights);
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
    EXPECT_EQ(level.palette[0].red, 63);
    EXPECT_EQ(level.palette[0].green, 1);
    EXPECT_EQ(level.palette[0].blue, 2);
    EXPECT_EQ(level.palette[255].blue, 62);
    ASSERT_EQ(level.texturePages8.size(), kPageBytes8);
    EXPECT_EQ(level.texturePages8.front(), 0x77);
    EXPECT_EQ(level.texturePages8.back(), 0x55);
    ASSERT_EQ(level.texturePages16.size(), kPageBytes16);
    EXPECT_EQ(level.texturePages16.front(), 0x12);
    EXPECT_EQ(level.texturePages16.back(), 0x34);
}

TEST(LevelReader, LoadsAnEmptyLevelAndIgnoresBytesAfterTheEnd) {
    LevelLoadResult result = Load(BuildLevel(LevelDescription{}));
    ASSERT_EQ(result.status, LevelLoadStatus::Loaded) << result.problem;
    const LevelData& level = result.level;
    EXPECT_TRUE(level.texturePages8.empty() && level.texturePages16.empty());
    EXPECT_TRUE(level.rooms.empty() && level.meshes.empty() && level.objectTextures.empty());

    LevelDescription d = EveryBlockLevel(0);
    d.trailingBytes = PatternBytes(1000, 99);
    result = Load(BuildLevel(d));
    ASSERT_EQ(result.status, LevelLoadStatus::Loaded) << result.problem;
    EXPECT_EQ(result.level.spriteTextures, d.spriteTextures);
}

TEST(LevelReader, RefusesOtherVersionsBeforeReadingOn) {
    LevelDescription d = EveryBlockLevel(0);
    d.version = 44;
    LevelLoadResult result = Load(BuildLevel(d));
    EXPECT_EQ(result.status, LevelLoadStatus::NotLevelFile);
    EXPECT_EQ(result.problem, "version 44 instead of 45");

    // Nothing follows the version, which is not looked past.
    result = ReadLevel(std::vector<uint8_t>{46, 0, 0, 0});
    EXPECT_EQ(result.status, LevelLoadStatus::NotLevelFile);

    result = ReadLevel(std::vector<uint8_t>{45, 0, 0, 0});
    EXPECT_EQ(result.status, LevelLoadStatus::Unreadable);
    EXPECT_EQ(result.problem, "file ends inside the palette at byte 4 (768 bytes needed, 0 left)");
}

TEST(LevelReader, ReportsCountsTheFileCannotHold) {
    BuiltLevel built = BuildLevel(EveryBlockLevel(1));
    // 65536 pages would need 4 GiB.
    PatchU32(built.bytes, 1796, 65536);
    LevelLoadResult result = Load(built);
    EXPECT_EQ(result.status, LevelLoadStatus::Unreadable);
    EXPECT_EQ(result.problem,
              "file ends inside the 8-bit texture pages at byte 1800 (65536 entries of "
              "65536 bytes need 4294967296 bytes, " +
                  std::to_string(built.bytes.size() - 1800) + " left)");

    // Both 16-bit sector counts are unsigned, and so is their product: 65535 x 65535 sectors.
    built = BuildLevel(EveryBlockLevel(1));
    PatchU16(built.bytes, FindBlock(built, "room 0 sector count along z").offset, 0xffff);
    PatchU16(built.bytes, FindBlock(built, "room 0 sector count along x").offset, 0xffff);
    result = Load(built);
    EXPECT_EQ(result.status, LevelLoadStatus::Unreadable);
    EXPECT_EQ(result.problem.rfind("file ends inside the room 0 sectors at byte " +
                                       std::to_string(FindBlock(built, "room 0 sectors").offset) +
                                       " (4294836225 entries of 8 bytes",
                                   0),
              0u)
        << result.problem;
}

TEST(LevelReader, RefusesPointerTablesThatDecodeFarBeyondTheFile) {
    BuilderMesh large;
    large.vertices.resize(32767);
    LevelDescription d;
    d.meshes = {large};
    d.meshPointers = std::vector<uint32_t>(50, 0);
    LevelLoadResult result = Load(BuildLevel(d)); // about 10 MB of meshes from 200 kB: allowed
    ASSERT_EQ(result.status, LevelLoadStatus::Loaded) << result.problem;
    EXPECT_EQ(result.level.meshes.size(), 50u);
    EXPECT_EQ(result.level.meshes[49].vertices.size(), 32767u);

    d.meshPointers = std::vector<uint32_t>(40000, 0); // 7.8 GB of meshes from 356 kB
    const BuiltLevel built = BuildLevel(d);
    result = Load(built);
    EXPECT_EQ(result.status, LevelLoadStatus::Unreadable);
    EXPECT_EQ(result.problem.rfind("the 40000 mesh pointers at byte " +
                                       std::to_string(FindBlock(built, "mesh pointers").offset) +
                                       " decode to ",
                                   0),
              0u)
        << result.problem;
}

TEST(LevelReader, LoadsFilesAsItReadsBytes) {
    ScopedTempDir dir;
    const BuiltLevel built = BuildLevel(EveryBlockLevel(1));
    WriteFileBytes("level.qlv", built.bytes);
    LevelLoadResult fromFile = LoadLevel("level.qlv");
    ASSERT_EQ(fromFile.status, LevelLoadStatus::Loaded) << fromFile.problem;
    EXPECT_EQ(fromFile.level.texturePages16, ReadLevel(built.bytes).level.texturePages16);
    ExpectMeshAsDescribed(fromFile.level.meshes[1], EveryBlockLevel(1).meshes[1]);

    // A missing file and a directory are tested through the built program. A pipe
    // has no size, and opening it must not wait for a writer.
    ASSERT_EQ(mkfifo("pipe.qlv", 0600), 0);
    fromFile = LoadLevel("pipe.qlv");
    EXPECT_EQ(fromFile.status, LevelLoadStatus::CannotOpen);
    EXPECT_EQ(fromFile.problem, "not a regular file");
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
