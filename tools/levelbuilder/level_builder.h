#pragma once
// Level builder: assembles a complete QLV level file in memory from a plain
// description, for tests and tools. Every count in the file is taken from
// the size of what the description holds; to write a count the file cannot
// back up, patch the built bytes at the offset the builder reports.
//
//     LevelDescription level;
//     level.texturePages8.assign(kPageBytes8, 7);       // one page
//     level.meshes.resize(36);                          // 36 empty meshes
//     level.meshes[0].vertices = {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}};
//     level.meshes[0].colouredTriangles = {{{0, 1, 2}, 0x0f}};
//     BuiltLevel built = BuildLevel(level);             // built.bytes is the file

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "level/animation_decoder.h"
#include "level/level_data.h"

// One mesh as written into the mesh words.
struct BuilderMesh {
    Vertex16 centre;
    int32_t collisionRadius = 0;
    std::vector<Vertex16> vertices;
    std::vector<Vertex16> normals;    // written with a positive count
    std::vector<int16_t> lightValues; // when not empty, written instead of normals, count negative
    std::vector<QuadFace> texturedQuads;
    std::vector<TriangleFace> texturedTriangles;
    std::vector<QuadFace> colouredQuads;
    std::vector<TriangleFace> colouredTriangles;
    bool negativeCounts = false; // write the vertex and face counts negated (same entries follow)
    uint32_t padBefore = 0;      // filler bytes put before this mesh (odd values give odd pointers)
};

// What the reader keeps of a room (RoomRecord), as plain arrays.
struct BuilderRoomKept {
    std::array<uint8_t, 16> info{};
    std::vector<uint16_t> data;
    std::vector<uint8_t> portals; // 32-byte entries
    uint16_t numZSectors = 0;
    uint16_t numXSectors = 0;
    std::vector<uint8_t> sectors; // 8-byte entries
    std::vector<uint8_t> lights;  // 24-byte entries
};

// One room. `kept` holds what the reader keeps; the static meshes and the
// two groups of values the reader skips are written as well (the values with
// a filler pattern).
struct BuilderRoom {
    BuilderRoomKept kept;              // sectors must hold numZSectors * numXSectors entries
    std::vector<uint8_t> staticMeshes; // 20-byte entries
};

// Raw blocks hold whole entries of the size named beside them; a partial last
// entry is completed with zero bytes.
struct LevelDescription {
    uint32_t version = kLevelVersion;
    std::array<PaletteEntry, 256> palette{};
    std::vector<uint8_t> texturePages8;  // whole pages of kPageBytes8; gives the page count
    std::vector<uint8_t> texturePages16; // empty: as many zero pages as texturePages8 has
    std::vector<BuilderRoom> rooms;
    std::vector<uint16_t> floorData;
    std::vector<BuilderMesh> meshes; // laid out one after the other in the mesh words
    std::optional<std::vector<uint32_t>> meshPointers; // default: one per mesh, at its start
    std::vector<uint8_t> animations;                   // 32-byte entries
    std::vector<uint8_t> stateChanges;                 // 6-byte entries
    std::vector<uint8_t> animDispatches;               // 8-byte entries
    std::vector<uint16_t> animCommands;
    std::vector<uint8_t> meshTrees; // 4-byte entries
    std::vector<uint16_t> frames;
    std::vector<uint8_t> moveables;    // 18-byte entries
    std::vector<uint8_t> staticMeshes; // 32-byte entries, skipped by the reader
    std::vector<ObjectTexture> objectTextures;
    std::vector<uint8_t> spriteTextures;  // 16-byte entries
    std::vector<uint8_t> spriteSequences; // 8-byte entries, skipped by the reader
    std::vector<uint8_t> trailingBytes;   // after the sprite sequences, ignored by the reader
};

// One field or block of the built file. Names are those the reader uses in
// its messages: "texture page count", "8-bit texture pages", "room 0 data",
// "mesh words", "sprite sequences", ...
struct BlockPlace {
    std::string name;
    size_t offset = 0;
    size_t size = 0;
};

struct BuiltLevel {
    std::vector<uint8_t> bytes;
    std::vector<BlockPlace> blocks;   // every field and block, in file order, empty ones too
    size_t meshWordsOffset = 0;       // file offset of the mesh words
    std::vector<uint32_t> meshStarts; // byte offset of each described mesh within the mesh words
};

BuiltLevel BuildLevel(const LevelDescription& description);

// The place of the named block; aborts when there is none (a test's mistake).
const BlockPlace& FindBlock(const BuiltLevel& built, std::string_view name);

// Overwrite a little-endian value in built bytes, for counts the file cannot hold.
void PatchU16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value);
void PatchU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);

// Writes the bytes to the file at path. On failure prints "path: reason" to
// standard error, removes what was written and returns false.
bool WriteLevelFile(const std::string& path, const std::vector<uint8_t>& bytes);

// `count` bytes of a recognisable pattern that differs with `seed`.
std::vector<uint8_t> PatternBytes(size_t count, uint8_t seed);

// ---- Skeletons and animations, for the raw blocks above ---------------------

struct BuilderMoveable {
    uint32_t objectId = 0;
    uint16_t meshCount = 0;
    uint16_t firstMesh = 0;
    uint32_t meshTreeStart = 0; // index of a 4-byte mesh-tree entry
    uint32_t frameOffset = 0;
    uint16_t firstAnimation = 0;
};

// One mesh-tree node: flags (bit 0 pops the parent, bit 1 pushes it), then
// the joint's offset from its parent's joint.
struct BuilderTreeNode {
    uint32_t flags = 0;
    std::array<int32_t, 3> offset{};
};

// The fields of an animation that a skeleton uses; the others are written
// with a recognisable filler.
struct BuilderAnimation {
    uint32_t frameOffset = 0; // bytes into the frame words
    uint8_t frameRate = 1;
    uint8_t frameSize = 0; // words per keyframe
    uint16_t frameStart = 0;
    uint16_t frameEnd = 0;
};

// A keyframe: the root offset, then one rotation per mesh (1024ths of a turn).
struct BuilderKeyframe {
    std::array<int16_t, 3> rootOffset{};
    std::vector<JointAngles> angles;
    bool threeAxes = false; // pack every rotation in two words, even single-axis ones
};

std::vector<uint8_t> EncodeMoveables(const std::vector<BuilderMoveable>& moveables);
std::vector<uint8_t> EncodeMeshTree(const std::vector<BuilderTreeNode>& nodes);
std::vector<uint8_t> EncodeAnimations(const std::vector<BuilderAnimation>& animations);

// A keyframe's words: a bounding box (zero), the root offset, then each
// rotation in one word when at most one of its angles is non-zero (x when
// all are), in two otherwise.
std::vector<uint16_t> EncodeKeyframe(const BuilderKeyframe& keyframe);

// Appends an animation of these keyframes to the level: their words to the
// frames (each padded to the longest), a record to the animations, with
// frame start 0 and frame end (keyframes - 1) * frameRate. Returns its index.
uint32_t AddAnimation(LevelDescription& level, const std::vector<BuilderKeyframe>& keyframes,
                      uint8_t frameRate);
