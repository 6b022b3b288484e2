#pragma once
// Materials: a plain Material3ds record that PutMaterial3ds turns into a
// material chunk (0xAFFF) with all its sub-chunks in a database.
//
// Use: InitMaterial3ds(&handle), fill the record, PutMaterial3ds(db, handle.get()),
// ReleaseMaterial3ds(&handle). The put copies everything it needs into the
// database, so the record may be released at once. A material whose name is
// already in the database is emptied and rebuilt in its place: putting the
// same name twice leaves one material.
//
// Failures follow errors.h: the operation raises a code and returns at once.
// Nothing is rolled back.

#include "toolkit3ds/chunk_data.h"
#include "toolkit3ds/chunk_tree.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// --- Records -------------------------------------------------------------------

// Longest material name, and longest map file name, in characters.
inline constexpr uint32_t kMaterialNameCapacity3ds = 16;
inline constexpr uint32_t kMapFileNameCapacity3ds = 16;

// Map tiling modes (tiling) and tint modes (tint).
inline constexpr uint32_t kMapTile3ds = 1;
inline constexpr uint32_t kMapDecal3ds = 2;
inline constexpr uint32_t kMapTileAndDecal3ds = 3;
inline constexpr uint32_t kMapFilterSummedArea3ds = 1; // filter; any other value: default filtering
inline constexpr uint32_t kMapTintNone3ds = 0;
inline constexpr uint32_t kMapTintAlpha3ds = 1;
inline constexpr uint32_t kMapTint3ds = 2;
inline constexpr uint32_t kMapTintAlphaAndTint3ds = 3;
inline constexpr uint32_t kMapTintRgb3ds = 4;

// Bits of a map's tiling-flag word (0xA351), each named once.
inline constexpr uint16_t kTilingDecal3ds = 0x0001;
inline constexpr uint16_t kTilingMirror3ds = 0x0002;
inline constexpr uint16_t kTilingNegative3ds = 0x0008;
inline constexpr uint16_t kTilingNoTile3ds = 0x0010;
inline constexpr uint16_t kTilingSummedArea3ds = 0x0020;
inline constexpr uint16_t kTilingAlphaTint3ds = 0x0040;
inline constexpr uint16_t kTilingTint3ds = 0x0080;
inline constexpr uint16_t kTilingIgnoreAlpha3ds = 0x0100;
inline constexpr uint16_t kTilingRgbTint3ds = 0x0200;

// Colours are red, green, blue floats from 0.0 to 1.0 (ColorFloatData3ds).

// One texture or mask map slot. The member initialisers are the defaults.
struct MaterialMap3ds {
    std::string fileName; // bitmap file name, at most 16 characters; empty: slot unused
    float strength = 0;   // map amount, 0..1
    uint32_t tiling = kMapTile3ds;
    bool ignoreAlpha = false;
    uint32_t filter = 0; // kMapFilterSummedArea3ds, or default filtering
    float blur = 0;
    bool mirror = false;
    bool negative = false;
    float uScale = 1, vScale = 1;
    float uOffset = 0, vOffset = 0;
    float rotation = 0; // degrees
    uint32_t tint = kMapTintNone3ds;
    ColorFloatData3ds tint1{0, 0, 0}, tint2{1, 1, 1};
    ColorFloatData3ds redTint{1, 0, 0}, greenTint{0, 1, 0}, blueTint{0, 0, 1};
    std::vector<uint8_t> mapData; // procedural map data, written when not empty
};

// One material. The member initialisers are the defaults.
struct Material3ds {
    std::string name; // at most 16 characters
    ColorFloatData3ds ambient, diffuse, specular;
    float shininess = 0; // 0..1
    float shininessStrength = 0;
    float reflectionBlur = 0;
    float transparency = 0;
    float transparencyFalloff = 0; // negative: falloff inward
    float selfIllumination = 0;
    float wireSize = 1;
    uint32_t shading = 3;
    bool useReflectionBlur = false;
    bool useTransparencyFalloff = false;
    bool twoSided = false;
    bool selfIlluminated = false;
    bool decal = false;
    bool wireframe = false;
    bool wireSizeInUnits = false;
    bool faceMapped = false;
    bool soften = false;
    MaterialMap3ds textureMap, textureMask;
    MaterialMap3ds texture2Map, texture2Mask;
    MaterialMap3ds opacityMap, opacityMask;
    MaterialMap3ds bumpMap, bumpMask;
    MaterialMap3ds specularMap, specularMask;
    MaterialMap3ds shininessMap, shininessMask;
    MaterialMap3ds selfIlluminationMap, selfIlluminationMask;
    MaterialMap3ds reflectionMap; // only fileName and strength are ever written
    bool autoReflect = false;
    bool autoReflectOptionA = false;
    bool autoReflectOptionB = false;
    uint32_t autoReflectSize = 100;
    uint32_t autoReflectFrameStep = 1;
    MaterialMap3ds reflectionMask;
};

// --- Operations --------------------------------------------------------------------

// Creates a record when *handle holds none, then sets every field of the record
// to its default. ERR_INVALID_ARG for a missing handle, ERR_NO_MEM.
void InitMaterial3ds(std::unique_ptr<Material3ds>* handle);
// Sets one map slot to its defaults. ERR_INVALID_ARG for a missing map.
void InitMaterialMap3ds(MaterialMap3ds* map);
// Frees the record with its map data and empties the handle. A missing or
// empty handle does nothing.
void ReleaseMaterial3ds(std::unique_ptr<Material3ds>* handle);

// Puts the material into the 3D editor section (0x3D3D, made when absent) or,
// in a material library, under the root; a material of the same name (exact,
// case-sensitive) is emptied and refilled in its place, and an extra-data
// chunk (0x8000) it held is kept as its last child. Sub-chunks in order: name,
// ambient, diffuse and specular colours (0x0011 and 0x0012 bytes, component x
// 255 truncated), percentages of shininess, shininess strength, transparency,
// transparency falloff (+ flag 0xA08A when negative), reflection blur, shading,
// self-illumination, two-sided flag, wire thickness, the other flags, the map
// slots that have a file name (with their map data), the reflection map, the
// automatic reflection map (flag word, size, frame step; both leading bytes 0).
// Fails before changing anything: ERR_INVALID_ARG for a missing argument,
// ERR_INVALID_DATABASE without a root, ERR_WRONG_DATABASE for a root that is
// not 0x4D4D, 0xC23D or 0x3DAA, ERR_STRING_TOO_LONG for a name or a used map's
// file name over its capacity. Later, what the tree operations raise.
void PutMaterial3ds(Database3ds* db, const Material3ds* material);

// A colour component (0..1) as the byte PutMaterial3ds writes: x 255 in
// double, truncated; outside 0..1 clamped, NaN 0.
uint8_t ColorByte3ds(float component);

// Adds the parameter chunks of one map slot under its map chunk, when the map
// has a file name: percentage (strength x 100, rounded), file name, tiling
// flags, then scales, offsets, rotation, blur and tints where they differ from
// their defaults. ERR_INVALID_ARG for a missing argument; ERR_STRING_TOO_LONG
// for a file name over 16 characters; what the tree operations raise.
void PutMapChunks3ds(Chunk3ds* mapChunk, const MaterialMap3ds* map);
