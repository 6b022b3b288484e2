#include "level/level_reader.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

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
constexpr uint64_t kAnimationBytes = 32;
constexpr uint64_t kStateChangeBytes = 6;
constexpr uint64_t kAnimDispatchBytes = 8;
constexpr uint64_t kMeshTreeBytes = 4;
constexpr uint64_t kMoveableBytes = 18;
constexpr uint64_t kStaticMeshBytes = 32;
constexpr uint64_t kObjectTextureBytes = 20;
constexpr uint64_t kSpriteTextureBytes = 16;
constexpr uint64_t kSpriteSequenceBytes = 8;

// The bytes of one level, an open file or a block of memory, read through
// one cursor. After the first failure every read is a no-op that yields
// zeros, so the caller can read on and test `failed` once at the end.
struct LevelSource {
    std::FILE* file = nullptr;       // read from here when set
    std::span<const uint8_t> memory; // otherwise from here
    uint64_t size = 0;
    uint64_t position = 0;
    bool failed = false;
    std::string problem;
};

void Fail(LevelSource& in, std::string problem) {
    in.failed = true;
    in.problem = std::move(problem);
}

std::string EndsInside(std::string_view what, uint64_t at) {
    return "file ends inside the " + std::string(what) + " at byte " + std::to_string(at);
}

// Checks that `bytes` more bytes are left for the item `what`.
bool Require(LevelSource& in, uint64_t bytes, std::string_view what) {
    if (in.failed) {
        return false;
    }
    const uint64_t left = in.size - in.position;
    if (bytes > left) {
        Fail(in, EndsInside(what, in.position) + " (" + std::to_string(bytes) + " bytes needed, " +
                     std::to_string(left) + " left)");
        return false;
    }
    return true;
}

// Checks that `count` entries of `entryBytes` fit in the bytes left. A 32-bit
// count times an entry size of at most 131072 cannot overflow 64 bits.
bool RequireEntries(LevelSource& in, uint64_t count, uint64_t entryBytes, std::string_view what) {
    if (in.failed) {
        return false;
    }
    const uint64_t left = in.size - in.position;
    const uint64_t bytes = count * entryBytes;
    if (bytes > left) {
        Fail(in, EndsInside(what, in.position) + " (" + std::to_string(count) + " entries of " +
                     std::to_string(entryBytes) + " bytes need " + std::to_string(bytes) +
                     " bytes, " + std::to_string(left) + " left)");
        return false;
    }
    return true;
}

// Copies `bytes` bytes into dest; the caller has checked that they are there.
bool Transfer(LevelSource& in, uint8_t* dest, uint64_t bytes, std::string_view what) {
    if (bytes == 0) {
        return true;
    }
    if (in.file == nullptr) {
        std::memcpy(dest, in.memory.data() + in.position, bytes);
    } else if (std::fread(dest, 1, bytes, in.file) != bytes) {
        if (std::ferror(in.file)) {
            Fail(in, "cannot read the " + std::string(what) + " at byte " +
                         std::to_string(in.position) + ": " + std::strerror(errno));
        } else {
            Fail(in, EndsInside(what, in.position) + " (the file became shorter while read)");
        }
        return false;
    }
    in.position += bytes;
    return true;
}

bool ReadBytes(LevelSource& in, uint8_t* dest, uint64_t bytes, std::string_view what) {
    return Require(in, bytes, what) && Transfer(in, dest, bytes, what);
}

uint16_t ReadU16(LevelSource& in, std::string_view what) {
    uint8_t b[2] = {};
    ReadBytes(in, b, sizeof b, what);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t ReadU32(LevelSource& in, std::string_view what) {
    uint8_t b[4] = {};
    ReadBytes(in, b, sizeof b, what);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

void MoveForward(LevelSource& in, uint64_t bytes, std::string_view what) {
    const uint64_t target = in.position + bytes;
    if (in.file != nullptr && fseeko(in.file, static_cast<off_t>(target), SEEK_SET) != 0) {
        Fail(in, "cannot move past the " + std::string(what) + " at byte " +
                     std::to_string(in.position) + ": " + std::strerror(errno));
        return;
    }
    in.position = target;
}

void Skip(LevelSource& in, uint64_t bytes, std::string_view what) {
    if (Require(in, bytes, what)) {
        MoveForward(in, bytes, what);
    }
}

void SkipEntries(LevelSource& in, uint64_t count, uint64_t entryBytes, std::string_view what) {
    if (RequireEntries(in, count, entryBytes, what)) {
        MoveForward(in, count * entryBytes, what);
    }
}

// The file's bytes were copied into the array's storage as they are; turn
// each element from little-endian into the host's order.
template <typename T> void FromLittleEndian(std::vector<T>& values) {
    if constexpr (sizeof(T) > 1 && std::endian::native != std::endian::little) {
        for (T& value : values) {
            const auto* b = reinterpret_cast<const uint8_t*>(&value);
            T decoded = 0;
            for (size_t i = 0; i < sizeof(T); ++i) {
                decoded = static_cast<T>(decoded | (static_cast<T>(b[i]) << (8 * i)));
            }
            value = decoded;
        }
    }
}

// Reads `count` entries of `entryBytes` each into `out` with one read call,
// after checking that the file holds them.
template <typename T>
void ReadEntries(LevelSource& in, std::vector<T>& out, uint64_t count, uint64_t entryBytes,
                 std::string_view what) {
    if (!RequireEntries(in, count, entryBytes, what)) {
        return;
    }
    const uint64_t bytes = count * entryBytes;
    out.resize(bytes / sizeof(T));
    if (Transfer(in, reinterpret_cast<uint8_t*>(out.data()), bytes, what)) {
        FromLittleEndian(out);
    }
}

std::string RoomItem(size_t room, std::string_view what) {
    return "room " + std::to_string(room) + " " + std::string(what);
}

void ReadRoom(LevelSource& in, size_t index, RoomRecord& room) {
    static_assert(std::tuple_size_v<decltype(room.info)> == kRoomInfoBytes);
    ReadBytes(in, room.info.data(), kRoomInfoBytes, RoomItem(index, "info"));
    const uint32_t dataWords = ReadU32(in, RoomItem(index, "data word count"));
    ReadEntries(in, room.data, dataWords, kWordBytes, RoomItem(index, "data"));
    const uint16_t portals = ReadU16(in, RoomItem(index, "portal count"));
    ReadEntries(in, room.portals, portals, kPortalBytes, RoomItem(index, "portals"));
    room.numZSectors = ReadU16(in, RoomItem(index, "sector count along z"));
    room.numXSectors = ReadU16(in, RoomItem(index, "sector count along x"));
    const uint64_t sectors = uint64_t{room.numZSectors} * room.numXSectors;
    ReadEntries(in, room.sectors, sectors, kSectorBytes, RoomItem(index, "sectors"));
    Skip(in, kValuesAfterSectorsBytes, RoomItem(index, "values after the sectors"));
    const uint16_t lights = ReadU16(in, RoomItem(index, "light count"));
    ReadEntries(in, room.lights, lights, kLightBytes, RoomItem(index, "lights"));
    const uint16_t staticMeshes = ReadU16(in, RoomItem(index, "static mesh count"));
    SkipEntries(in, staticMeshes, kRoomStaticMeshBytes, RoomItem(index, "static meshes"));
    Skip(in, kRoomClosingValuesBytes, RoomItem(index, "closing values"));
}

std::vector<ObjectTexture> DecodeObjectTextures(const std::vector<uint8_t>& raw) {
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

LevelLoadResult Refuse(LevelLoadStatus status, std::string problem) {
    LevelLoadResult result;
    result.status = status;
    result.problem = std::move(problem);
    return result;
}

LevelLoadResult ReadFromSource(LevelSource& in) {
    if (in.size < kVersionBytes) {
        return Refuse(LevelLoadStatus::NotLevelFile, "too short to hold a version");
    }
    LevelLoadResult result;
    LevelData& level = result.level;
    level.version = ReadU32(in, "version");
    if (in.failed) {
        return Refuse(LevelLoadStatus::Unreadable, in.problem);
    }
    if (level.version != kLevelVersion) {
        return Refuse(LevelLoadStatus::NotLevelFile, "version " + std::to_string(level.version) +
                                                         " instead of " +
                                                         std::to_string(kLevelVersion));
    }

    uint8_t palette[kPaletteBytes] = {};
    ReadBytes(in, palette, kPaletteBytes, "palette");
    for (size_t i = 0; i < kPaletteEntries; ++i) {
        level.palette[i] = PaletteEntry{palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]};
    }
    Skip(in, kSecondPaletteBytes, "second palette");

    const uint32_t pages = ReadU32(in, "texture page count");
    ReadEntries(in, level.texturePages8, pages, kPageBytes8, "8-bit texture pages");
    ReadEntries(in, level.texturePages16, pages, kPageBytes16, "16-bit texture pages");
    ReadU32(in, "unused word");

    // Rooms vary in length, so the array grows with the rooms actually read.
    const uint16_t rooms = ReadU16(in, "room count");
    for (size_t i = 0; i < rooms && !in.failed; ++i) {
        level.rooms.emplace_back();
        ReadRoom(in, i, level.rooms.back());
    }

    ReadEntries(in, level.floorData, ReadU32(in, "floor data count"), kWordBytes, "floor data");

    std::vector<uint8_t> meshWords;
    ReadEntries(in, meshWords, ReadU32(in, "mesh word count"), kWordBytes, "mesh words");
    const uint32_t pointerCount = ReadU32(in, "mesh pointer count");
    const uint64_t pointersAt = in.position;
    std::vector<uint32_t> meshPointers;
    ReadEntries(in, meshPointers, pointerCount, kPointerBytes, "mesh pointers");

    ReadEntries(in, level.animations, ReadU32(in, "animation count"), kAnimationBytes,
                "animations");
    ReadEntries(in, level.stateChanges, ReadU32(in, "state change count"), kStateChangeBytes,
                "state changes");
    ReadEntries(in, level.animDispatches, ReadU32(in, "animation dispatch count"),
                kAnimDispatchBytes, "animation dispatches");
    ReadEntries(in, level.animCommands, ReadU32(in, "animation command count"), kWordBytes,
                "animation commands");
    ReadEntries(in, level.meshTrees, ReadU32(in, "mesh tree count"), kMeshTreeBytes, "mesh trees");
    ReadEntries(in, level.frames, ReadU32(in, "frame count"), kWordBytes, "frames");
    ReadEntries(in, level.moveables, ReadU32(in, "moveable count"), kMoveableBytes, "moveables");
    SkipEntries(in, ReadU32(in, "static mesh count"), kStaticMeshBytes, "static meshes");

    std::vector<uint8_t> objectTextures;
    ReadEntries(in, objectTextures, ReadU32(in, "object texture count"), kObjectTextureBytes,
                "object textures");
    level.objectTextures = DecodeObjectTextures(objectTextures);
    ReadEntries(in, level.spriteTextures, ReadU32(in, "sprite texture count"), kSpriteTextureBytes,
                "sprite textures");
    SkipEntries(in, ReadU32(in, "sprite sequence count"), kSpriteSequenceBytes, "sprite sequences");
    if (in.failed) {
        return Refuse(LevelLoadStatus::Unreadable, in.problem);
    }

    // Every block is in place; only now are the mesh records made, so a
    // misplaced count cannot make them large. Repeated pointers to large
    // meshes still could, which no real level does.
    const uint64_t needed = DecodedMeshBytes(meshWords, meshPointers);
    const uint64_t allowed = 2 * in.size + kDecodedMeshAllowance;
    if (needed > allowed) {
        return Refuse(LevelLoadStatus::Unreadable,
                      "the " + std::to_string(pointerCount) + " mesh pointers at byte " +
                          std::to_string(pointersAt) + " decode to " + std::to_string(needed) +
                          " bytes of meshes, more than the " + std::to_string(allowed) +
                          " allowed for a file of this size");
    }
    DecodeMeshes(meshWords, meshPointers, level);
    return result;
}

LevelLoadResult ReadGuarded(LevelSource& in) {
    try {
        return ReadFromSource(in);
    } catch (const std::bad_alloc&) {
        return Refuse(LevelLoadStatus::Unreadable, "not enough memory to hold the level");
    }
}

} // namespace

LevelLoadResult ReadLevel(std::span<const uint8_t> bytes) {
    LevelSource in;
    in.memory = bytes;
    in.size = bytes.size();
    return ReadGuarded(in);
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
    std::FILE* file = fdopen(descriptor, "rb");
    if (file == nullptr) {
        const int error = errno;
        close(descriptor);
        return Refuse(LevelLoadStatus::CannotOpen, std::strerror(error));
    }
    LevelSource in;
    in.file = file;
    in.size = static_cast<uint64_t>(status.st_size);
    LevelLoadResult result = ReadGuarded(in);
    std::fclose(file);
    return result;
}
