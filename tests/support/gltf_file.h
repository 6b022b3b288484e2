#pragma once
// Reading a written .glb file back in tests: the model through tinygltf,
// with its PNG images decoded, accessors as numbers, and the world transform
// of a node at rest or at one keyframe of an animation.

#include <array>
#include <string>
#include <vector>

// Only the test support decodes images; nothing writes them through tinygltf.
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <tiny_gltf.h>

// The model of the file; a load failure or warning fails the test.
tinygltf::Model LoadGlb(const std::string& path);

// The pixels of an image file (PNG, BMP) as red, green, blue and alpha bytes,
// top row first, as the loader gives a model's images; empty when unreadable.
std::vector<unsigned char> ImageFileRgba(const std::string& path);

// The accessor's components, element after element, as doubles.
std::vector<double> AccessorValues(const tinygltf::Model& model, int accessor);

// The index of the node of that name, or -1.
int FindNode(const tinygltf::Model& model, const std::string& name);
// The parent of each node, -1 for roots.
std::vector<int> NodeParents(const tinygltf::Model& model);

// A rotation (row-major) and a translation.
struct Transform {
    std::array<double, 9> rotation{1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::array<double, 3> translation{};
};

std::array<double, 3> Apply(const Transform& transform, const std::array<double, 3>& point);
// The transform that applies child, then parent.
Transform Compose(const Transform& parent, const Transform& child);

// The node's transform in the scene: at rest, or with the animation's
// channels at its keyframe `keyframe` (a one-key sampler holds its key).
Transform NodeWorld(const tinygltf::Model& model, int node,
                    const tinygltf::Animation* animation = nullptr, size_t keyframe = 0);
