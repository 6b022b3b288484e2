#pragma once
// The player character's skeleton: her moveable and the joints of its mesh
// tree, decoded from the two blocks the reader keeps raw.
//
// Moveable (18 bytes): object id u32, mesh count u16, first mesh u16,
// mesh-tree start u32 (the index of a 4-byte mesh-tree entry), frame offset
// u32, first animation u16. The player is the first moveable with object id 0;
// her skeleton is usable only when her meshes are the 15 body meshes 0..14.
//
// Mesh tree: a moveable of M meshes uses M - 1 nodes of four 4-byte entries
// from its mesh-tree start: flags u32, then the offset x, y, z (i32, level
// units) of the mesh's joint from its parent's joint. Node k describes mesh k;
// the parent starts as mesh 0, and for every node bit 0 of its flags pops the
// parent from a stack, then bit 1 pushes the parent; the node's parent is the
// result, and mesh k becomes the parent of the next node. Other bits mean
// nothing.
//
// Safe for any input: every index is checked against its block, and a damaged
// block gives a problem line, never a crash.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "level/level_data.h"

inline constexpr uint32_t kPlayerObjectId = 0;
inline constexpr size_t kSkeletonMeshCount = 15; // the body meshes 0..14

inline constexpr size_t kMeshTreeNodeEntries = 4; // flags, x, y, z

struct Joint {
    int32_t parent = -1;             // mesh number of the parent joint; -1 for mesh 0
    std::array<int32_t, 3> offset{}; // x, y, z from the parent's joint, level units
};

struct PlayerSkeleton {
    std::array<Joint, kSkeletonMeshCount> joints; // by mesh number
    // Her animations: the indexes firstAnimation .. animationEnd - 1. The end
    // is the smallest first animation of another moveable above hers, or the
    // animation count; it may lie below firstAnimation when hers is past the
    // animation count.
    uint32_t firstAnimation = 0;
    uint32_t animationEnd = 0;
};

struct SkeletonResult {
    std::optional<PlayerSkeleton> skeleton;
    std::string problem; // without a skeleton: why, as one line, e.g.
                         // "the level has no moveable with object id 0"
};

// Finds the player's moveable and decodes her joints. Only reads the level.
SkeletonResult DecodePlayerSkeleton(const LevelData& level);
