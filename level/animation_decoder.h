#pragma once
// The player character's animations, decoded from the animations block and
// the frame words (both kept raw by the reader).
//
// Animation (32 bytes): frame offset u32 (a byte offset into the frame
// words), frame rate u8 (game frames per keyframe), frame size u8 (words per
// keyframe), state id u16, speed i32, acceleration i32, frame start u16,
// frame end u16, then six u16 (next animation, next frame, state changes,
// commands) that the skeleton does not need.
//
// An animation holds (frame end - frame start) / frame rate + 1 keyframes;
// keyframe k starts at word frame offset / 2 + k * frame size. A keyframe is
// a bounding box (6 words), the root offset x, y, z (3 signed words), then one
// packed rotation per mesh: a word w whose top two bits say which axes follow
// (0: all three, x = (w >> 4) & 0x3FF, y = (w & 0xF) << 6 | w2 >> 10,
// z = w2 & 0x3FF with the next word w2; 1, 2, 3: only x, y or z = w & 0x3FF),
// angles in 1024ths of a turn.
//
// Safe for any input. An animation is damaged when its frame end is below its
// frame start, its frame rate is 0, its frame offset is odd, a keyframe runs
// past the frame words, or a keyframe's rotations need more words than its
// frame size; it is skipped with one warning. The keyframes decoded in all
// may read at most twice the frame words plus kKeyframeWordAllowance, so
// animations that overlap each other cannot make the decoded data or the
// output much larger than the level.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "level/level_data.h"
#include "level/skeleton.h"

inline constexpr uint32_t kAngleUnitsPerTurn = 1024;
inline constexpr uint64_t kKeyframeWordAllowance = 65536;

// One joint's rotation, in 1024ths of a turn: the rotations about y, then x,
// then z (applied to the mesh in the order z, x, y).
struct JointAngles {
    uint16_t x = 0, y = 0, z = 0;
};

struct Keyframe {
    std::array<int16_t, 3> rootOffset{}; // of mesh 0's joint, level units
    std::array<JointAngles, kSkeletonMeshCount> angles;
};

struct DecodedAnimation {
    uint32_t index = 0;     // in the level's animations block
    uint32_t frameRate = 1; // game frames per keyframe, >= 1
    std::vector<Keyframe> keyframes;
};

struct AnimationDecodeResult {
    std::vector<DecodedAnimation> animations; // in level order
    std::vector<std::string> warnings;        // one line per skipped animation, e.g.
                                       // "animation 12 is damaged (its frame rate is 0); skipped"
};

// Decodes her animations, skeleton.firstAnimation .. animationEnd - 1 (those
// the animations block holds). Only reads the level. Throws only
// std::bad_alloc.
AnimationDecodeResult DecodePlayerAnimations(const LevelData& level,
                                             const PlayerSkeleton& skeleton);
