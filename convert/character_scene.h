#pragma once
// The character as a scene for formats with joints and animations: her 21
// parts as nodes in her joint hierarchy, standing in the converter's fixed
// pose, their meshes with materials, and every animation of hers that the
// level holds. Nothing here knows a file format; convert/gltf/gltf_writer.h writes
// the scene as glTF.
//
// Frame: +Y up, right-handed, metres. Level (x, y, z) maps to
// (-x, -y, z) * kMetresPerLevelUnit, a half turn about z; the 3DS figure's
// (X, Y, Z) maps to (X, Z, -Y) * kMetresPerLevelUnit / 0.1, so the standing
// figure is exactly the 3DS one.
//
// Nodes: node 0 is a root without mesh; part p is node p + 1, named as the
// part. With a usable skeleton (level/skeleton.h), "Hips" hangs below the
// root, parts 1-14 below their mesh-tree parents, "Ptail Top" below "Head"
// and each later ponytail piece below the one before; without one, every
// part hangs below the root and there are no animations.
//
// Rest pose: each node's transform puts its part's vertices where the fixed
// pose puts them. Each mesh holds the part's vertices in its node's frame:
// level vertex v at (-v.x, -v.y, v.z) * kMetresPerLevelUnit, with the faces,
// winding and texture coordinates (v flipped: 1 - the 3DS v) of the 3DS part
// mesh, one primitive per material group.
//
// Animations: keyframe k of a level animation is at k * frame rate / 30 s.
// Each joint j (mesh j, 0-14) turns by C * Ry * Rx * Rz * C (its angles,
// standard right-handed rotations; C = diag(-1, -1, 1)) and sits at its
// mesh-tree offset (mesh 0: the keyframe's root offset), mapped like a
// vertex, from its parent joint. The ponytail keeps its rest transform below
// "Head".

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "level/skeleton.h"

struct ConversionContext;

// 720 level units, a tall woman, stand 1.8 m.
inline constexpr double kMetresPerLevelUnit = 0.0025;
// The game runs at 30 frames per second.
inline constexpr double kGameFramesPerSecond = 30.0;

using Float2 = std::array<float, 2>;
using Float3 = std::array<float, 3>;
using Float4 = std::array<float, 4>; // a quaternion: x, y, z, w

struct SceneMaterial {
    std::string name; // "Text%03x" or "Color%02x"
    // A "Text" material's texture: its bitmap's pixels as red, green, blue
    // bytes, top row first. Empty for a "Color" material.
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;
    Float3 linearColour{1, 1, 1}; // a "Color" material's colour, linear
};

struct ScenePrimitive {
    uint32_t material = 0;         // index into CharacterScene::materials
    std::vector<uint16_t> indices; // three per triangle
};

struct SceneMesh {
    std::vector<Float3> positions; // in the node's frame, metres
    std::vector<Float3> normals;   // unit length; empty for meshes with light values
    std::vector<Float2> texCoords; // empty when no primitive is textured
    std::vector<ScenePrimitive> primitives;
};

struct SceneNode {
    std::string name;
    int32_t parent = -1;                 // node index, below this node's own; -1 for the root
    std::array<double, 3> translation{}; // rest transform, relative to the parent
    std::array<double, 4> rotation{0, 0, 0, 1};
    std::optional<SceneMesh> mesh; // none for the root and parts without faces
};

struct SceneAnimation {
    std::string name;                     // "Anim %03d" with the level's animation index
    std::vector<float> times;             // seconds, one per keyframe, increasing
    std::vector<Float3> rootTranslations; // of joint 0, one per keyframe
    // Per joint (0-14), one rotation per keyframe.
    std::array<std::vector<Float4>, kSkeletonMeshCount> rotations;
};

struct CharacterScene {
    std::vector<SceneNode> nodes; // the root first; parents before children
    std::vector<SceneMaterial> materials;
    // For the animations: the translation of joints 1-14 from their parents,
    // which every animation holds fixed. Joint j is mesh j, part j, node
    // JointNode(j).
    std::array<Float3, kSkeletonMeshCount> jointTranslations{};
    std::vector<SceneAnimation> animations;
    // One line per problem of the skeleton or the animations.
    std::vector<std::string> warnings;
};

// The node of joint (mesh and body part) j.
constexpr uint32_t JointNode(size_t joint) {
    return static_cast<uint32_t>(joint + 1);
}

// The node name of the root.
inline constexpr const char* kSceneRootName = "KeshMesh";

// Builds the scene from the context's level, which must have passed
// CheckLevelForConversion; like the 3DS conversion it marks and renumbers the
// corners of the level's faces. Cuts the texture areas but writes no bitmap
// (the context's writeBitmaps is turned off) and puts nothing into a
// database. Returns false when memory runs out (the failure is in the
// context) or when a toolkit error is pending after a part's record was
// made.
bool BuildCharacterScene(ConversionContext& context, CharacterScene& scene);
