#include "level/animation_decoder.h"

#include <algorithm>
#include <optional>

#include "level/little_endian.h"

namespace {

inline constexpr uint64_t kBoundingBoxWords = 6;
inline constexpr uint64_t kRootOffsetWords = 3;
inline constexpr uint16_t kAngleMask = 0x3FF;

struct AnimationRecord {
    uint32_t frameOffset = 0;
    uint8_t frameRate = 0;
    uint8_t frameSize = 0;
    uint16_t frameStart = 0;
    uint16_t frameEnd = 0;
};

AnimationRecord ReadAnimationRecord(const LevelArray<uint8_t>& animations, uint32_t index) {
    const uint8_t* bytes = animations.data() + size_t{index} * kAnimationBytes;
    AnimationRecord record;
    record.frameOffset = ReadU32Le(bytes);
    record.frameRate = bytes[4];
    record.frameSize = bytes[5];
    record.frameStart = ReadU16Le(bytes + 16);
    record.frameEnd = ReadU16Le(bytes + 18);
    return record;
}

// The keyframe at word `start`, whose frameSize words lie inside the frame
// words; none when its rotations need more than frameSize words.
std::optional<Keyframe> DecodeKeyframe(const LevelArray<uint16_t>& frames, uint64_t start,
                                       uint64_t frameSize) {
    uint64_t used = kBoundingBoxWords + kRootOffsetWords;
    if (used > frameSize) {
        return std::nullopt;
    }
    Keyframe keyframe;
    for (size_t axis = 0; axis < 3; ++axis) {
        keyframe.rootOffset[axis] = static_cast<int16_t>(frames[start + kBoundingBoxWords + axis]);
    }
    for (JointAngles& angles : keyframe.angles) {
        if (used >= frameSize) {
            return std::nullopt;
        }
        const uint16_t w = frames[start + used++];
        const uint16_t value = w & kAngleMask;
        switch (w >> 14) {
        case 0: {
            if (used >= frameSize) {
                return std::nullopt;
            }
            const uint16_t w2 = frames[start + used++];
            angles.x = (w >> 4) & kAngleMask;
            angles.y = static_cast<uint16_t>(((w & 0xF) << 6) | (w2 >> 10));
            angles.z = w2 & kAngleMask;
            break;
        }
        case 1:
            angles.x = value;
            break;
        case 2:
            angles.y = value;
            break;
        default:
            angles.z = value;
            break;
        }
    }
    return keyframe;
}

std::string Damaged(uint32_t index, const std::string& why) {
    return "animation " + std::to_string(index) + " is damaged (" + why + "); skipped";
}

} // namespace

AnimationDecodeResult DecodePlayerAnimations(const LevelData& level,
                                             const PlayerSkeleton& skeleton) {
    AnimationDecodeResult result;
    const uint32_t count = static_cast<uint32_t>(level.animations.size() / kAnimationBytes);
    const uint32_t end = std::min(skeleton.animationEnd, count);
    if (skeleton.firstAnimation >= count && count > 0) {
        result.warnings.push_back("her first animation " + std::to_string(skeleton.firstAnimation) +
                                  " is past the " + std::to_string(count) +
                                  " animations of the level");
    }
    const uint64_t frameWords = level.frames.size();
    uint64_t wordBudget = 2 * frameWords + kKeyframeWordAllowance;

    for (uint32_t index = skeleton.firstAnimation; index < end; ++index) {
        const AnimationRecord record = ReadAnimationRecord(level.animations, index);
        if (record.frameEnd < record.frameStart) {
            result.warnings.push_back(Damaged(
                index, "its frame end " + std::to_string(record.frameEnd) +
                           " is below its frame start " + std::to_string(record.frameStart)));
            continue;
        }
        if (record.frameRate == 0) {
            result.warnings.push_back(Damaged(index, "its frame rate is 0"));
            continue;
        }
        if (record.frameOffset % 2 != 0) {
            result.warnings.push_back(Damaged(
                index, "its frame offset " + std::to_string(record.frameOffset) + " is odd"));
            continue;
        }
        const uint64_t keyframeCount = (record.frameEnd - record.frameStart) / record.frameRate + 1;
        const uint64_t first = record.frameOffset / 2;
        const uint64_t words = keyframeCount * record.frameSize;
        if (first + words > frameWords) {
            result.warnings.push_back(
                Damaged(index, std::to_string(keyframeCount) + " keyframes of " +
                                   std::to_string(record.frameSize) + " words from word " +
                                   std::to_string(first) + " run past the " +
                                   std::to_string(frameWords) + " frame words"));
            continue;
        }
        if (words > wordBudget) {
            result.warnings.push_back(
                "animation " + std::to_string(index) +
                " skipped: with the animations before it, its keyframes would read more than "
                "twice the level's frame words");
            continue;
        }

        DecodedAnimation animation;
        animation.index = index;
        animation.frameRate = record.frameRate;
        animation.keyframes.reserve(keyframeCount);
        for (uint64_t k = 0; k < keyframeCount; ++k) {
            std::optional<Keyframe> keyframe =
                DecodeKeyframe(level.frames, first + k * record.frameSize, record.frameSize);
            if (!keyframe) {
                result.warnings.push_back(
                    Damaged(index, "the rotations of keyframe " + std::to_string(k) +
                                       " need more than its " + std::to_string(record.frameSize) +
                                       " words"));
                break;
            }
            animation.keyframes.push_back(*keyframe);
        }
        if (animation.keyframes.size() == keyframeCount) {
            wordBudget -= words;
            result.animations.push_back(std::move(animation));
        }
    }
    return result;
}
