#include "level/level_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

#include "level/mesh_decoder.h"

namespace {

constexpr uint64_t kVersionBytes = 4;
constexpr uint64_t kWordBytes = 2;    // floor data, mesh words, animation commands, frames
constexpr uint64_t kPointerBytes = 4; // mesh pointers
constexpr uint64_t kPaletteEntries = 256;
constexpr uint64_t kPaletteBytes = kPaletteEntries * 3;
constexpr uint64_t kSecondPaletteBytes = 1024;
constexpr uint64_t kRoomInfoBytes = 16;
constexpr uint64_t kPortalBytes = 32;
constexpr uint64_t kSectorBytes = 8;
constexpr uint64_t kValuesAfterSectorsBytes = 6;
constexpr uint64_t kLightBytes = 24;
constexpr uint64_t kRoomStaticMeshBytes = 20;
constexpr uint64_t kRoomClosingValuesBytes = 4;
constexpr uint64_t kStateChangeBytes = 6;
constexpr uint64_t kAnimDispatchBytes = 8;
constexpr uint64_t kStaticMeshBytes = 32;
constexpr uint64_t kObjectTextureBytes = 20;
constexpr uint64_t kSpriteTextureBytes = 16;
constexpr uint64_t kSpriteSequenceBytes = 8;

// One cursor over the level's bytes. After the first failure every read is
// a no-op that yields zeros or an empty view, so the caller can read on and
// test `failed` once at the end.
struct LevelCursor {
    std::span<const uint8_t> bytes;
    uint64_t position = 0;
    bool failed = false;
    std::string problem;
    int32_t room = -1; // the room being read, named in messages; -1 outside the rooms
};

void Fail(LevelCursor& in, std::string problem) {
    in.failed = true;
    in.problem = std::move(problem);
}

// The item's name is completed only for a message, never on the way.
std::string EndsInside(const LevelCursor& in, std::string_view what) {
    const std::string room = in.room < 0 ? "" : "room " + std::to_string(in.room) + " ";
    return "file ends inside the " + room + std::string(what) + " at byte " +
           std::to_string(in.position);
}

// Checks that `bytes` more bytes are left for the item `what`.
bool Require(LevelCursor& in, uint64_t bytes, std::string_view what) {
    if (in.failed) {
        return false;
    }
    const uint64_t left = in.bytes.size() - in.position;
    if (bytes > left) {
        Fail(in, EndsInside(in, what) + " (" + std::to_string(bytes) + " bytes needed, " +
                     std::to_string(left) + " left)");
        return false;
    }
    return true;
}

// Checks that `count` entries of `entryBytes` fit in the bytes left. A 32-bit
// count times an entry size of at most 131072 cannot overflow 64 bits.
bool RequireEntries(LevelCursor& in, uint64_t count, uint64_t entryBytes, std::string_view what) {
    if (in.failed) {
        return false;
    }
    const uint64_t left = in.bytes.size() - in.position;
    const uint64_t bytes = count * entryBytes;
    if (bytes > left) {
        Fail(in, EndsInside(in, what) + " (" + std::to_string(count) + " entries of " +
                     std::to_string(entryBytes) + " bytes need " + std::to_string(bytes) +
                     " bytes, " + std::to_string(left) + " left)");
        return false;
    }
    return true;
}

// The next `bytes` bytes, which the caller has checked are there; the cursor
// moves past them without reading them.
std::span<const uint8_t> Take(LevelCursor& in, uint64_t bytes) {
    const std::span<const uint8_t> taken = in.bytes.subspan(in.position, bytes);
    in.position += bytes;
    return taken;
}

// The next `bytes` bytes, or an empty span after a failure.
std::span<const uint8_t> TakeBytes(LevelCursor& in, uint64_t bytes, std::string_view what) {
    return Require(in, bytes, what) ? Take(in, bytes) : std::span<const uint8_t>{};
}

// The next `count` entries of `entryBytes` each, or an empty span after a failure.
std::span<const uint8_t> TakeEntries(LevelCursor& in, uint64_t count, uint64_t entryBytes,
                                     std::string_view what) {
    return RequireEntries(in, count, entryBytes, what) ? Take(in, count * entryBytes)
                                                       : std::span<const uint8_t>{};
}

uint16_t ReadU16(LevelCursor& in, std::string_view what) {
    const std::span<const uint8_t> b = TakeBytes(in, 2, what);
    return b.empty() ? 0 : static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t ReadU32(LevelCursor& in, std::string_view what) {
    const std::span<const uint8_t> b = TakeBytes(in, 4, what);
    return b.empty()
               ? 0
               : static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                     (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

void Skip(LevelCursor& in, uint64_t bytes, std::string_view what) {
    TakeBytes(in, bytes, what);
}

void SkipEntries(LevelCursor& in, uint64_t count, uint64_t entryBytes, std::string_view what) {
    TakeEntries(in, count, entryBytes, what);
}

// Views `count` entries of `entryBytes` each in place, after checking that
// the file holds them; their bytes are not read.
template <typename T>
LevelArray<T> ViewEntries(LevelCursor& in, uint64_t count, uint64_t entryBytes,
                          std::string_view what) {
    const std::span<const uint8_t> bytes = TakeEntries(in, count, entryBytes, what);
    return LevelArray<T>::View(bytes.data(), bytes.size() / sizeof(T));
}

void ReadRoom(LevelCursor& in, RoomRecord& room) {
    static_assert(std::tuple_size_v<decltype(room.info)> == kRoomInfoBytes);
    const std::span<const uint8_t> info = TakeBytes(in, kRoomInfoBytes, "info");
    std::copy(info.begin(), info.end(), room.info.begin());
    const uint32_t dataWords = ReadU32(in, "data word count");
    room.data = ViewEntries<uint16_t>(in, dataWords, kWordBytes, "data");
    const uint16_t portals = ReadU16(in, "portal count");
    room.portals = ViewEntries<uint8_t>(in, portals, kPortalBytes, "portals");
    room.numZSectors = ReadU16(in, "sector count along z");
    room.numXSectors = ReadU16(in, "sector count along x");
    const uint64_t sectors = uint64_t{room.numZSectors} * room.numXSectors;
    room.sectors = ViewEntries<uint8_t>(in, sectors, kSectorBytes, "sectors");
    Skip(in, kValuesAfterSectorsBytes, "values after the sectors");
    const uint16_t lights = ReadU16(in, "light count");
    room.lights = ViewEntries<uint8_t>(in, lights, kLightBytes, "lights");
    const uint16_t staticMeshes = ReadU16(in, "static mesh count");
    SkipEntries(in, staticMeshes, kRoomStaticMeshBytes, "static meshes");
    Skip(in, kRoomClosingValuesBytes, "closing values");
}

std::vector<ObjectTexture> DecodeObjectTextures(std::span<const uint8_t> raw) {
    std::vector<ObjectTexture> textures(raw.size() / kObjectTextureBytes);
    const uint8_t* b = raw.data();
    for (ObjectTexture& texture : textures) {
        texture.attribute = static_cast<uint16_t>(b[0] | (b[1] << 8));
        texture.tile = static_cast<uint16_t>(b[2] | (b[3] << 8));
        b += 4;
        for (TextureVertex& corner : texture.vertices) {
            corner.xCoordinate = b[0];
            corner.xPixel = b[1];
            corner.yCoordinate = b[2];
            corner.yPixel = b[3];
            b += 4;
        }
    }
    return textures;
}

std::vector<uint32_t> DecodeMeshPointers(std::span<const uint8_t> raw) {
    std::vector<uint32_t> pointers(raw.size() / kPointerBytes);
    const uint8_t* b = raw.data();
    for (uint32_t& pointer : pointers) {
        pointer = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                  (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
        b += 4;
    }
    return pointers;
}

LevelLoadResult Refuse(LevelLoadStatus status, std::string problem) {
    LevelLoadResult result;
    result.status = status;
    result.problem = std::move(problem);
    return result;
}

// Walks the counts of every block in result.level.fileBytes, checking each
// block against the bytes left; views the raw blocks in place and decodes
// only the palette, the object textures and the meshes.
LevelLoadResult ReadFileBytes(LevelLoadResult result) {
    LevelData& level = result.level;
    LevelCursor in;
    in.bytes = level.fileBytes.bytes();
    if (in.bytes.size() < kVersionBytes) {
        return Refuse(LevelLoadStatus::NotLevelFile, "too short to hold a version");
    }
    level.version = ReadU32(in, "version");
    if (level.version != kLevelVersion) {
        return Refuse(LevelLoadStatus::NotLevelFile, "version " + std::to_string(level.version) +
                                                         " instead of " +
                                                         std::to_string(kLevelVersion));
    }

    const std::span<const uint8_t> palette = TakeBytes(in, kPaletteBytes, "palette");
    for (size_t i = 0; i < kPaletteEntries && !palette.empty(); ++i) {
        level.palette[i] = PaletteEntry{palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]};
    }
    Skip(in, kSecondPaletteBytes, "second palette");

    const uint32_t pages = ReadU32(in, "texture page count");
    level.texturePages8 = ViewEntries<uint8_t>(in, pages, kPageBytes8, "8-bit texture pages");
    level.texturePages16 = ViewEntries<uint8_t>(in, pages, kPageBytes16, "16-bit texture pages");
    ReadU32(in, "unused word");

    // Rooms vary in length, so the array grows with the rooms actually read.
    const uint16_t rooms = ReadU16(in, "room count");
    for (int32_t i = 0; i < rooms && !in.failed; ++i) {
        level.rooms.emplace_back();
        in.room = i;
        ReadRoom(in, level.rooms.back());
    }
    in.room = -1;

    level.floorData =
        ViewEntries<uint16_t>(in, ReadU32(in, "floor data count"), kWordBytes, "floor data");

    const std::span<const uint8_t> meshWords =
        TakeEntries(in, ReadU32(in, "mesh word count"), kWordBytes, "mesh words");
    const uint32_t pointerCount = ReadU32(in, "mesh pointer count");
    const uint64_t pointersAt = in.position;
    const std::vector<uint32_t> meshPointers =
        DecodeMeshPointers(TakeEntries(in, pointerCount, kPointerBytes, "mesh pointers"));

    level.animations =
        ViewEntries<uint8_t>(in, ReadU32(in, "animation count"), kAnimationBytes, "animations");
    level.stateChanges = ViewEntries<uint8_t>(in, ReadU32(in, "state change count"),
                                              kStateChangeBytes, "state changes");
    level.animDispatches = ViewEntries<uint8_t>(in, ReadU32(in, "animation dispatch count"),
                                                kAnimDispatchBytes, "animation dispatches");
    level.animCommands = ViewEntries<uint16_t>(in, ReadU32(in, "animation command count"),
                                               kWordBytes, "animation commands");
    level.meshTrees =
        ViewEntries<uint8_t>(in, ReadU32(in, "mesh tree count"), kMeshTreeEntryBytes, "mesh trees");
    level.frames = ViewEntries<uint16_t>(in, ReadU32(in, "frame count"), kWordBytes, "frames");
    level.moveables =
        ViewEntries<uint8_t>(in, ReadU32(in, "moveable count"), kMoveableBytes, "moveables");
    SkipEntries(in, ReadU32(in, "static mesh count"), kStaticMeshBytes, "static meshes");

    level.objectTextures = DecodeObjectTextures(TakeEntries(
        in, ReadU32(in, "object texture count"), kObjectTextureBytes, "object textures"));
    level.spriteTextures = ViewEntries<uint8_t>(in, ReadU32(in, "sprite texture count"),
                                                kSpriteTextureBytes, "sprite textures");
    SkipEntries(in, ReadU32(in, "sprite sequence count"), kSpriteSequenceBytes, "sprite sequences");
    if (in.failed) {
        return Refuse(LevelLoadStatus::Unreadable, in.problem);
    }

    // Every block is in place; only now are the mesh records made, so a
    // misplaced count cannot make them large. Repeated pointers to large
    // meshes still could, which no real level does.
    const uint64_t needed = DecodedMeshBytes(meshWords, meshPointers);
    const uint64_t allowed = 2 * uint64_t{in.bytes.size()} + kDecodedMeshAllowance;
    if (needed > allowed) {
        return Refuse(LevelLoadStatus::Unreadable,
                      "the " + std::to_string(pointerCount) + " mesh pointers at byte " +
                          std::to_string(pointersAt) + " decode to " + std::to_string(needed) +
                          " bytes of meshes, more than the " + std::to_string(allowed) +
                          " allowed for a file of this size");
    }
    DecodeMeshes(meshWords, meshPointers, level);
    // The records hold everything the conversion reads from the mesh words.
    level.fileBytes.Forget(meshWords);
    return result;
}

LevelLoadResult ReadGuarded(LevelLoadResult result) {
    try {
        return ReadFileBytes(std::move(result));
    } catch (const std::bad_alloc&) {
        return Refuse(LevelLoadStatus::Unreadable, "not enough memory to hold the level");
    }
}

} // namespace

LevelLoadResult ReadLevel(std::span<const uint8_t> bytes) {
    LevelLoadResult result;
    try {
        result.level.fileBytes.Copy(bytes);
    } catch (const std::bad_alloc&) {
        return Refuse(LevelLoadStatus::Unreadable, "not enough memory to hold the level");
    }
    return ReadGuarded(std::move(result));
}

LevelLoadResult LoadLevel(const std::string& path) {
    // Not blocking: opening a pipe without a writer would otherwise wait forever.
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return Refuse(LevelLoadStatus::CannotOpen, std::strerror(errno));
    }
    struct stat status = {};
    if (fstat(descriptor, &status) != 0) {
        const int error = errno;
        close(descriptor);
        return Refuse(LevelLoadStatus::CannotOpen, std::strerror(error));
    }
    if (!S_ISREG(status.st_mode)) {
        close(descriptor);
        // Pipes and devices have no size to check the counts against.
        return Refuse(LevelLoadStatus::CannotOpen,
                      S_ISDIR(status.st_mode) ? std::strerror(EISDIR) : "not a regular file");
    }
    // The size is taken once and exactly that much is mapped: every count is
    // checked against it, so no read goes past it even if the file grows.
    const auto size = static_cast<uint64_t>(status.st_size);
    if constexpr (sizeof(size_t) < sizeof(uint64_t)) {
        if (size > std::numeric_limits<size_t>::max()) {
            close(descriptor);
            return Refuse(LevelLoadStatus::Unreadable, "too large to map into memory");
        }
    }
    LevelLoadResult result;
    const int error = result.level.fileBytes.Map(descriptor, static_cast<size_t>(size));
    close(descriptor);
    if (error != 0) {
        return Refuse(LevelLoadStatus::Unreadable,
                      std::string("cannot map the file into memory: ") + std::strerror(error));
    }
    return ReadGuarded(std::move(result));
}
