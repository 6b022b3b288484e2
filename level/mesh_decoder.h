#pragma once
// Mesh decoding: turns the level's block of mesh words and its table of mesh
// pointers into one MeshRecord per pointer.
//
// One mesh, at the byte offset its pointer gives (any offset, odd ones too):
// centre (3 x i16), collision radius (i32), vertex count (i16) and vertices
// (3 x i16 each), normal count (i16) and either normals (3 x i16 each, count
// >= 0) or light values (1 x i16 each, count < 0), then four face lists, each
// an i16 count and its faces: textured quads (10 bytes each), textured
// triangles (8), coloured quads (10), coloured triangles (8).
//
// Every count is stored as its magnitude (its vector's size); -32768 means
// 32768 entries. Only the normal count's sign has a meaning.
//
// Safe for any input: every position is computed in 64-bit arithmetic and
// compared with the end of the mesh words before anything is read.

#include <cstdint>
#include <span>

#include "level/level_data.h"

// Decodes the meshes into level.meshes, which gets exactly one record per
// pointer, in pointer order. Pointers are independent: equal pointers give
// equal records with separate arrays, and meshes may lie in any order.
// Stops silently at the first mesh that would run past the end of the mesh
// words; that record and all after it are left empty (every list empty,
// centre and radius zero), and level.meshDecodingStop names it. Throws only
// std::bad_alloc.
void DecodeMeshes(std::span<const uint8_t> meshWords, std::span<const uint32_t> meshPointers,
                  LevelData& level);

// What DecodeMeshes would allocate, in bytes: the records and the arrays of
// every mesh before the stop. Lets a caller refuse a table that repeats
// pointers to large meshes far beyond any real level before allocating.
uint64_t DecodedMeshBytes(std::span<const uint8_t> meshWords,
                          std::span<const uint32_t> meshPointers);
