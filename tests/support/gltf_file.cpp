// The library's implementation, with stb_image for the PNG images.
#define STB_IMAGE_IMPLEMENTATION
#define TINYGLTF_IMPLEMENTATION
#include "tests/support/gltf_file.h"

#include <algorithm>
#include <bit>

#include <gtest/gtest.h>

namespace {

std::array<double, 9> RotationOf(const std::vector<double>& q) {
    const double x = q[0], y = q[1], z = q[2], w = q[3];
    return {1 - 2 * (y * y + z * z), 2 * (x * y - z * w),     2 * (x * z + y * w),
            2 * (x * y + z * w),     1 - 2 * (x * x + z * z), 2 * (y * z - x * w),
            2 * (x * z - y * w),     2 * (y * z + x * w),     1 - 2 * (x * x + y * y)};
}

// The value of the animation's channel for node and path at the keyframe.
std::vector<double> ChannelValue(const tinygltf::Model& model, const tinygltf::Animation& animation,
                                 int node, const std::string& path, size_t keyframe) {
    for (const tinygltf::AnimationChannel& channel : animation.channels) {
        if (channel.target_node == node && channel.target_path == path) {
            const size_t width = path == "rotation" ? 4 : 3;
            const std::vector<double> values =
                AccessorValues(model, animation.samplers[channel.sampler].output);
            const size_t k = std::min(keyframe, values.size() / width - 1);
            return {values.begin() + k * width, values.begin() + (k + 1) * width};
        }
    }
    return {};
}

} // namespace

tinygltf::Model LoadGlb(const std::string& path) {
    tinygltf::TinyGLTF loader;
    tinygltf::Model model;
    std::string error, warning;
    EXPECT_TRUE(loader.LoadBinaryFromFile(&model, &error, &warning, path)) << error;
    EXPECT_EQ(warning, "");
    return model;
}

std::vector<unsigned char> ImageFileRgba(const std::string& path) {
    int width = 0, height = 0, components = 0;
    stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &components, 4);
    std::vector<unsigned char> rgba;
    if (pixels != nullptr) {
        rgba.assign(pixels, pixels + size_t(width) * size_t(height) * 4);
        stbi_image_free(pixels);
    }
    return rgba;
}

std::vector<double> AccessorValues(const tinygltf::Model& model, int index) {
    const tinygltf::Accessor& accessor = model.accessors.at(index);
    const tinygltf::BufferView& view = model.bufferViews.at(accessor.bufferView);
    const std::vector<unsigned char>& data = model.buffers.at(view.buffer).data;
    // Tightly packed, as the writer lays every view out.
    const size_t size = tinygltf::GetComponentSizeInBytes(accessor.componentType);
    const unsigned char* at = data.data() + view.byteOffset + accessor.byteOffset;
    std::vector<double> values(accessor.count * tinygltf::GetNumComponentsInType(accessor.type));
    for (double& value : values) {
        uint32_t bits = 0;
        for (size_t b = 0; b < size; ++b) {
            bits |= uint32_t{*at++} << (8 * b);
        }
        value = accessor.componentType == TINYGLTF_COMPONENT_TYPE_FLOAT
                    ? double{std::bit_cast<float>(bits)}
                    : double(bits);
    }
    return values;
}

int FindNode(const tinygltf::Model& model, const std::string& name) {
    const auto found = std::find_if(model.nodes.begin(), model.nodes.end(),
                                    [&](const tinygltf::Node& node) { return node.name == name; });
    return found == model.nodes.end() ? -1 : static_cast<int>(found - model.nodes.begin());
}

std::vector<int> NodeParents(const tinygltf::Model& model) {
    std::vector<int> parents(model.nodes.size(), -1);
    for (size_t i = 0; i < model.nodes.size(); ++i) {
        for (const int child : model.nodes[i].children) {
            parents.at(child) = static_cast<int>(i);
        }
    }
    return parents;
}

std::array<double, 3> Apply(const Transform& t, const std::array<double, 3>& p) {
    const auto& m = t.rotation;
    return {m[0] * p[0] + m[1] * p[1] + m[2] * p[2] + t.translation[0],
            m[3] * p[0] + m[4] * p[1] + m[5] * p[2] + t.translation[1],
            m[6] * p[0] + m[7] * p[1] + m[8] * p[2] + t.translation[2]};
}

Transform Compose(const Transform& parent, const Transform& child) {
    Transform out;
    const auto& a = parent.rotation;
    for (size_t r = 0; r < 3; ++r) {
        for (size_t c = 0; c < 3; ++c) {
            out.rotation[r * 3 + c] = a[r * 3] * child.rotation[c] +
                                      a[r * 3 + 1] * child.rotation[3 + c] +
                                      a[r * 3 + 2] * child.rotation[6 + c];
        }
    }
    out.translation = Apply(parent, child.translation);
    return out;
}

Transform NodeWorld(const tinygltf::Model& model, int node, const tinygltf::Animation* animation,
                    size_t keyframe) {
    const std::vector<int> parents = NodeParents(model);
    Transform world;
    for (int n = node; n >= 0; n = parents[n]) {
        std::vector<double> translation = model.nodes[n].translation;
        std::vector<double> rotation = model.nodes[n].rotation;
        if (animation != nullptr) {
            if (auto value = ChannelValue(model, *animation, n, "translation", keyframe);
                !value.empty()) {
                translation = value;
            }
            if (auto value = ChannelValue(model, *animation, n, "rotation", keyframe);
                !value.empty()) {
                rotation = value;
            }
        }
        Transform local;
        if (rotation.size() == 4) {
            local.rotation = RotationOf(rotation);
        }
        if (translation.size() == 3) {
            local.translation = {translation[0], translation[1], translation[2]};
        }
        world = Compose(local, world);
    }
    return world;
}
