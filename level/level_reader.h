#pragma once
// Level reader: loads one QLV level file (version 45) into a LevelData in a
// single forward pass, with every mesh decoded (mesh_decoder.h).
//
// The file is a packed little-endian stream of blocks, read in this order:
// version, palette (256 x 3 bytes), second palette (1024 bytes, skipped),
// texture page count and the 8-bit and 16-bit pages, an unused word, rooms,
// floor data, mesh words, mesh pointers, animations, state changes, animation
// dispatches, animation commands, mesh trees, frames, moveables, static meshes
// (skipped), object textures, sprite textures and sprite sequences (skipped).
// Bytes after the sprite sequences are ignored.
//
// Safe for any input. The version is tested as soon as it is read. Every
// count is checked against the bytes left in the file before anything is
// allocated for it or any view is taken, so no array is larger than the file;
// sizes are computed in 64-bit arithmetic. Checking a block needs only its
// count: the blocks the converter never interprets (the texture pages, rooms,
// floor data, animations and the other raw arrays) stay views into the file's
// bytes that the reader never reads (level_array.h). The palette and the
// object textures are decoded; the meshes are decoded once every block has
// been checked, and their records and arrays may take at most
// kDecodedMeshAllowance bytes beyond twice the file's size.

#include <cstdint>
#include <span>
#include <string>

#include "level/level_data.h"

enum class LevelLoadStatus {
    Loaded,
    CannotOpen,   // the file could not be opened (or is a directory or not a regular file)
    NotLevelFile, // too short to hold a version, or a version other than 45
    Unreadable,   // ends early, holds a count it cannot back up, or fails to read
};

struct LevelLoadResult {
    LevelLoadStatus status = LevelLoadStatus::Loaded;
    LevelData level;     // complete only when status is Loaded
    std::string problem; // empty when Loaded; otherwise one line without the path, e.g.
                         // "No such file or directory" (CannotOpen) or "file ends inside
                         // the room 0 data at byte 1834 (...)" (Unreadable)
};

// Decoded meshes may take this much memory beyond twice the file's size.
inline constexpr uint64_t kDecodedMeshAllowance = uint64_t{16} << 20;

// Reads a level held in memory (tests, fuzzing). The level copies the bytes
// once into its fileBytes and views that copy, so the caller's bytes may go
// as soon as this returns. Never throws.
LevelLoadResult ReadLevel(std::span<const uint8_t> bytes);

// Opens the file, takes its size from the file system once and maps exactly
// that many bytes read-only into the level's fileBytes; the file is closed
// before returning, the mapping lives as long as the level. Only the pages
// the reader and the converter use are ever loaded. Pipes, devices and
// directories are refused (CannotOpen); a failed mapping is Unreadable.
// Never throws.
LevelLoadResult LoadLevel(const std::string& path);
