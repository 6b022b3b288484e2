#include "level/skeleton.h"

#include <algorithm>
#include <vector>

#include "level/little_endian.h"

namespace {

struct Moveable {
    uint32_t objectId = 0;
    uint16_t meshCount = 0;
    uint16_t firstMesh = 0;
    uint32_t meshTreeStart = 0;
    uint16_t firstAnimation = 0;
};

Moveable ReadMoveable(const LevelArray<uint8_t>& moveables, size_t index) {
    const uint8_t* bytes = moveables.data() + index * kMoveableBytes;
    Moveable moveable;
    moveable.objectId = ReadU32Le(bytes);
    moveable.meshCount = ReadU16Le(bytes + 4);
    moveable.firstMesh = ReadU16Le(bytes + 6);
    moveable.meshTreeStart = ReadU32Le(bytes + 8);
    moveable.firstAnimation = ReadU16Le(bytes + 16);
    return moveable;
}

int32_t MeshTreeEntry(const LevelArray<uint8_t>& meshTrees, uint64_t entry) {
    return ReadI32Le(meshTrees.data() + entry * kMeshTreeEntryBytes);
}

} // namespace

SkeletonResult DecodePlayerSkeleton(const LevelData& level) {
    SkeletonResult result;
    const size_t moveableCount = level.moveables.size() / kMoveableBytes;
    std::optional<size_t> player;
    for (size_t i = 0; i < moveableCount && !player; ++i) {
        if (ReadMoveable(level.moveables, i).objectId == kPlayerObjectId) {
            player = i;
        }
    }
    if (!player) {
        result.problem = "the level has no moveable with object id 0";
        return result;
    }
    const Moveable her = ReadMoveable(level.moveables, *player);
    if (her.firstMesh != 0 || her.meshCount != kSkeletonMeshCount) {
        result.problem = "her moveable has " + std::to_string(her.meshCount) +
                         " meshes from mesh " + std::to_string(her.firstMesh) +
                         ", not the 15 body meshes from mesh 0";
        return result;
    }

    const uint64_t treeEntries = level.meshTrees.size() / kMeshTreeEntryBytes;
    const uint64_t treeEnd =
        uint64_t{her.meshTreeStart} + (kSkeletonMeshCount - 1) * kMeshTreeNodeEntries;
    if (treeEnd > treeEntries) {
        result.problem = "her mesh tree (entries " + std::to_string(her.meshTreeStart) + " to " +
                         std::to_string(treeEnd - 1) + ") runs past the " +
                         std::to_string(treeEntries) + " entries of the mesh-tree block";
        return result;
    }

    PlayerSkeleton skeleton;
    std::vector<int32_t> stack;
    int32_t parent = 0;
    for (size_t k = 1; k < kSkeletonMeshCount; ++k) {
        const uint64_t node = her.meshTreeStart + (k - 1) * kMeshTreeNodeEntries;
        const uint32_t flags = static_cast<uint32_t>(MeshTreeEntry(level.meshTrees, node));
        if ((flags & 1) != 0) {
            if (stack.empty()) {
                result.problem = "her mesh tree pops an empty stack at mesh " + std::to_string(k);
                return result;
            }
            parent = stack.back();
            stack.pop_back();
        }
        if ((flags & 2) != 0) {
            stack.push_back(parent);
        }
        Joint& joint = skeleton.joints[k];
        joint.parent = parent;
        for (size_t axis = 0; axis < 3; ++axis) {
            joint.offset[axis] = MeshTreeEntry(level.meshTrees, node + 1 + axis);
        }
        parent = static_cast<int32_t>(k);
    }

    const uint32_t animationCount =
        static_cast<uint32_t>(level.animations.size() / kAnimationBytes);
    skeleton.firstAnimation = her.firstAnimation;
    skeleton.animationEnd = animationCount;
    for (size_t i = 0; i < moveableCount; ++i) {
        const uint32_t first = ReadMoveable(level.moveables, i).firstAnimation;
        if (i != *player && first > her.firstAnimation) {
            skeleton.animationEnd = std::min(skeleton.animationEnd, first);
        }
    }
    result.skeleton = skeleton;
    return result;
}
