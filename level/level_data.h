#pragma once
// The level file in memory: what the reader keeps of one QLV (version 45)
// level, with every mesh decoded. Only version, palette, texturePages8, meshes
// and objectTextures are read by the converter; the other blocks are kept as
// raw arrays whose inner layout nothing interprets.
//
// Ownership: a level read from a file holds the file's bytes in fileBytes
// (file_bytes.h), and its LevelArrays (level_array.h) view them in place, so
// untouched blocks cost nothing. The level is therefore move-only; the views
// stay valid as long as the level lives, moves included. A level built in
// memory gives its arrays values of their own and leaves fileBytes empty.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "level/file_bytes.h"
#include "level/level_array.h"

inline constexpr uint32_t kLevelVersion = 45;
inline constexpr size_t kPageSide = 256;                          // pixels per page row and column
inline constexpr size_t kPageBytes8 = kPageSide * kPageSide;      // one 8-bit texture page
inline constexpr size_t kPageBytes16 = kPageSide * kPageSide * 2; // one 16-bit texture page
inline constexpr size_t kAnimationBytes = 32;    // one entry of the animations block
inline constexpr size_t kMeshTreeEntryBytes = 4; // one entry of the mesh-tree block
inline constexpr size_t kMoveableBytes = 18;     // one entry of the moveables block

// One palette entry; each component is 6 bits (0..63).
struct PaletteEntry {
    uint8_t red = 0, green = 0, blue = 0;
};

struct Vertex16 {
    int16_t x = 0, y = 0, z = 0;
};

// Corner indices are vertex numbers; bit 15 of corner 0 is the converter's
// reverse-winding mark. For textured faces texture is an object-texture
// number, for coloured faces its low byte is a palette index.
struct QuadFace {
    std::array<uint16_t, 4> corners{};
    uint16_t texture = 0;
};

struct TriangleFace {
    std::array<uint16_t, 3> corners{};
    uint16_t texture = 0;
};

// One decoded mesh. Counts are the vectors' sizes.
struct MeshRecord {
    Vertex16 centre;
    int32_t collisionRadius = 0;
    std::vector<Vertex16> vertices;
    // One entry per normal. When the file gave light values instead
    // (normalsAreLightValues), the light values fill the first normals.size()
    // 16-bit components in x, y, z order and the rest are zero.
    std::vector<Vertex16> normals;
    bool normalsAreLightValues = false;
    std::vector<QuadFace> texturedQuads;
    std::vector<TriangleFace> texturedTriangles;
    std::vector<QuadFace> colouredQuads;
    std::vector<TriangleFace> colouredTriangles;
};

struct TextureVertex {
    uint8_t xCoordinate = 0;
    uint8_t xPixel = 0; // column within the page
    uint8_t yCoordinate = 0;
    uint8_t yPixel = 0; // row within the page
};

// The level's 20-byte texture record, kept as in the file.
struct ObjectTexture {
    uint16_t attribute = 0;
    uint16_t tile = 0; // texture page number
    std::array<TextureVertex, 4> vertices{};
};

struct RoomRecord {
    std::array<uint8_t, 16> info{};
    LevelArray<uint16_t> data;
    LevelArray<uint8_t> portals; // 32-byte entries
    uint16_t numZSectors = 0;
    uint16_t numXSectors = 0;
    LevelArray<uint8_t> sectors; // 8-byte entries, numZSectors * numXSectors of them
    LevelArray<uint8_t> lights;  // 24-byte entries
};

struct LevelData {
    FileBytes fileBytes; // the file's bytes, which the arrays below may view
    uint32_t version = 0;
    std::array<PaletteEntry, 256> palette{};
    LevelArray<uint8_t> texturePages8;  // pages of kPageBytes8; pixel (x, y) at y * 256 + x
    LevelArray<uint8_t> texturePages16; // pages of kPageBytes16, raw
    std::vector<RoomRecord> rooms;
    LevelArray<uint16_t> floorData;
    std::vector<MeshRecord> meshes; // indexed by mesh number
    // The mesh at which decoding stopped because its data left the mesh words;
    // it and every later record are empty. None when every mesh was decoded.
    std::optional<size_t> meshDecodingStop;
    LevelArray<uint8_t> animations;     // 32-byte entries
    LevelArray<uint8_t> stateChanges;   // 6-byte entries
    LevelArray<uint8_t> animDispatches; // 8-byte entries
    LevelArray<uint16_t> animCommands;
    LevelArray<uint8_t> meshTrees; // 4-byte entries
    LevelArray<uint16_t> frames;
    LevelArray<uint8_t> moveables; // 18-byte entries
    std::vector<ObjectTexture> objectTextures;
    LevelArray<uint8_t> spriteTextures; // 16-byte entries

    size_t numTexturePages() const { return texturePages8.size() / kPageBytes8; }
};
