#include "convert/gltf/gltf_writer.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <sstream>

#include <fcntl.h>
#include <unistd.h>

#include "convert/gltf/png_encoder.h"
#include "convert/gltf/tinygltf.h"

namespace {

inline constexpr size_t kAlignment = 4; // every buffer view starts on a 4-byte boundary
inline constexpr int kNearest = TINYGLTF_TEXTURE_FILTER_NEAREST;
inline constexpr int kRepeat = TINYGLTF_TEXTURE_WRAP_REPEAT;
inline constexpr const char* kLinear = "LINEAR";
inline constexpr const char* kPngMimeType = "image/png";

// Appends the scene's numbers to the one buffer, each view aligned.
class BufferWriter {
public:
    explicit BufferWriter(tinygltf::Model& model) : model_(model) {
        model_.buffers.resize(1);
    }

    // A view of the bytes appended by fill(bytes).
    template <typename Fill> int AddView(int target, Fill fill) {
        std::vector<unsigned char>& data = model_.buffers[0].data;
        data.resize((data.size() + kAlignment - 1) / kAlignment * kAlignment, 0);
        tinygltf::BufferView view;
        view.buffer = 0;
        view.byteOffset = data.size();
        fill(data);
        view.byteLength = data.size() - view.byteOffset;
        view.target = target;
        model_.bufferViews.push_back(view);
        return static_cast<int>(model_.bufferViews.size() - 1);
    }

    // An accessor over a new view of floats or float vectors, optionally
    // with the bounds of each component.
    template <typename T> int AddFloats(std::span<const T> values, int target, bool withBounds) {
        constexpr size_t kComponents = sizeof(T) / sizeof(float);
        const int view = AddView(target, [&](std::vector<unsigned char>& data) {
            for (const T& value : values) {
                for (const float component : Components(value)) {
                    PutU32(data, std::bit_cast<uint32_t>(component));
                }
            }
        });
        tinygltf::Accessor accessor = MakeAccessor(view, TINYGLTF_COMPONENT_TYPE_FLOAT,
                                                   TypeOf(kComponents), values.size());
        if (withBounds && !values.empty()) {
            for (size_t c = 0; c < kComponents; ++c) {
                double low = Components(values[0])[c];
                double high = low;
                for (const T& value : values) {
                    low = std::min<double>(low, Components(value)[c]);
                    high = std::max<double>(high, Components(value)[c]);
                }
                accessor.minValues.push_back(low);
                accessor.maxValues.push_back(high);
            }
        }
        model_.accessors.push_back(accessor);
        return static_cast<int>(model_.accessors.size() - 1);
    }

    int AddIndices(std::span<const uint16_t> indices) {
        const int view = AddView(TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER, [&](auto& data) {
            for (const uint16_t index : indices) {
                data.push_back(static_cast<unsigned char>(index));
                data.push_back(static_cast<unsigned char>(index >> 8));
            }
        });
        model_.accessors.push_back(MakeAccessor(view, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT,
                                                TINYGLTF_TYPE_SCALAR, indices.size()));
        return static_cast<int>(model_.accessors.size() - 1);
    }

    int AddBytes(std::span<const uint8_t> bytes) {
        return AddView(0, [&](auto& data) { data.insert(data.end(), bytes.begin(), bytes.end()); });
    }

private:
    static std::span<const float, 1> Components(const float& value) {
        return std::span<const float, 1>(&value, 1);
    }
    template <size_t N> static std::span<const float, N> Components(const std::array<float, N>& value) {
        return value;
    }

    static void PutU32(std::vector<unsigned char>& data, uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) {
            data.push_back(static_cast<unsigned char>(value >> shift));
        }
    }

    static int TypeOf(size_t components) {
        switch (components) {
        case 1:
            return TINYGLTF_TYPE_SCALAR;
        case 2:
            return TINYGLTF_TYPE_VEC2;
        case 3:
            return TINYGLTF_TYPE_VEC3;
        default:
            return TINYGLTF_TYPE_VEC4;
        }
    }

    static tinygltf::Accessor MakeAccessor(int view, int componentType, int type, size_t count) {
        tinygltf::Accessor accessor;
        accessor.bufferView = view;
        accessor.byteOffset = 0;
        accessor.componentType = componentType;
        accessor.type = type;
        accessor.count = count;
        return accessor;
    }

    tinygltf::Model& model_;
};

// False when a texture cannot be encoded.
bool AddMaterials(const CharacterScene& scene, tinygltf::Model& model, BufferWriter& buffer) {
    tinygltf::Sampler sampler;
    sampler.magFilter = kNearest;
    sampler.minFilter = kNearest;
    sampler.wrapS = kRepeat;
    sampler.wrapT = kRepeat;
    bool samplerAdded = false;

    for (const SceneMaterial& source : scene.materials) {
        tinygltf::Material material;
        material.name = source.name;
        material.pbrMetallicRoughness.metallicFactor = 0.0;
        material.pbrMetallicRoughness.roughnessFactor = 1.0;
        if (!source.rgb.empty()) {
            if (!samplerAdded) {
                model.samplers.push_back(sampler);
                samplerAdded = true;
            }
            const std::vector<uint8_t> png = EncodePng(source.rgb, source.width, source.height);
            if (png.empty()) {
                return false;
            }
            tinygltf::Image image;
            image.name = source.name;
            image.mimeType = kPngMimeType;
            image.bufferView = buffer.AddBytes(png);
            model.images.push_back(image);
            tinygltf::Texture texture;
            texture.source = static_cast<int>(model.images.size() - 1);
            texture.sampler = 0;
            model.textures.push_back(texture);
            material.pbrMetallicRoughness.baseColorTexture.index =
                static_cast<int>(model.textures.size() - 1);
        } else {
            const Float3& c = source.linearColour;
            material.pbrMetallicRoughness.baseColorFactor = {c[0], c[1], c[2], 1.0};
        }
        model.materials.push_back(material);
    }
    return true;
}

int AddMesh(const std::string& name, const SceneMesh& source, tinygltf::Model& model,
            BufferWriter& buffer) {
    tinygltf::Mesh mesh;
    mesh.name = name;
    const int positions =
        buffer.AddFloats<Float3>(source.positions, TINYGLTF_TARGET_ARRAY_BUFFER, true);
    const int normals = source.normals.empty()
                            ? -1
                            : buffer.AddFloats<Float3>(source.normals, TINYGLTF_TARGET_ARRAY_BUFFER, false);
    const int texCoords =
        source.texCoords.empty()
            ? -1
            : buffer.AddFloats<Float2>(source.texCoords, TINYGLTF_TARGET_ARRAY_BUFFER, false);
    for (const ScenePrimitive& part : source.primitives) {
        tinygltf::Primitive primitive;
        primitive.attributes["POSITION"] = positions;
        if (normals >= 0) {
            primitive.attributes["NORMAL"] = normals;
        }
        if (texCoords >= 0) {
            primitive.attributes["TEXCOORD_0"] = texCoords;
        }
        primitive.indices = buffer.AddIndices(part.indices);
        primitive.material = static_cast<int>(part.material);
        primitive.mode = TINYGLTF_MODE_TRIANGLES;
        mesh.primitives.push_back(primitive);
    }
    model.meshes.push_back(mesh);
    return static_cast<int>(model.meshes.size() - 1);
}

void AddNodes(const CharacterScene& scene, tinygltf::Model& model, BufferWriter& buffer) {
    model.nodes.resize(scene.nodes.size());
    for (size_t i = 0; i < scene.nodes.size(); ++i) {
        const SceneNode& source = scene.nodes[i];
        tinygltf::Node& node = model.nodes[i];
        node.name = source.name;
        if (source.parent >= 0) {
            model.nodes[static_cast<size_t>(source.parent)].children.push_back(static_cast<int>(i));
            node.translation.assign(source.translation.begin(), source.translation.end());
            node.rotation.assign(source.rotation.begin(), source.rotation.end());
        }
        if (source.mesh && !source.mesh->primitives.empty()) {
            node.mesh = AddMesh(source.name, *source.mesh, model, buffer);
        }
    }
    tinygltf::Scene root;
    root.nodes = {0};
    model.scenes.push_back(root);
    model.defaultScene = 0;
}

void AddAnimations(const CharacterScene& scene, tinygltf::Model& model, BufferWriter& buffer) {
    if (scene.animations.empty()) {
        return;
    }
    // The joints' fixed translations: one key each, shared by every animation.
    const float startTime = 0.0f;
    const int fixedInput = buffer.AddFloats<float>(std::span(&startTime, 1), 0, true);
    std::array<int, kSkeletonMeshCount> fixedOutputs{};
    for (size_t j = 1; j < kSkeletonMeshCount; ++j) {
        fixedOutputs[j] = buffer.AddFloats<Float3>(std::span(&scene.jointTranslations[j], 1), 0, false);
    }

    for (const SceneAnimation& source : scene.animations) {
        tinygltf::Animation animation;
        animation.name = source.name;
        const auto addChannel = [&](int input, int output, size_t joint, const char* path) {
            tinygltf::AnimationSampler sampler;
            sampler.input = input;
            sampler.output = output;
            sampler.interpolation = kLinear;
            animation.samplers.push_back(sampler);
            tinygltf::AnimationChannel channel;
            channel.sampler = static_cast<int>(animation.samplers.size() - 1);
            channel.target_node = static_cast<int>(scene.jointNodes[joint]);
            channel.target_path = path;
            animation.channels.push_back(channel);
        };
        const int times = buffer.AddFloats<float>(source.times, 0, true);
        addChannel(times, buffer.AddFloats<Float3>(source.rootTranslations, 0, false), 0,
                   "translation");
        for (size_t j = 0; j < kSkeletonMeshCount; ++j) {
            if (j > 0) {
                addChannel(fixedInput, fixedOutputs[j], j, "translation");
            }
            addChannel(times, buffer.AddFloats<Float4>(source.rotations[j], 0, false), j, "rotation");
        }
        model.animations.push_back(animation);
    }
}

} // namespace

std::vector<uint8_t> EncodeGlb(const CharacterScene& scene, const std::string& generator) {
    tinygltf::Model model;
    model.asset.version = "2.0";
    model.asset.generator = generator;
    BufferWriter buffer(model);
    if (!AddMaterials(scene, model, buffer)) {
        return {};
    }
    AddNodes(scene, model, buffer);
    AddAnimations(scene, model, buffer);

    std::ostringstream out;
    tinygltf::TinyGLTF writer;
    if (!writer.WriteGltfSceneToStream(&model, out, false, true)) {
        return {};
    }
    const std::string bytes = std::move(out).str();
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

int WriteFileReplacing(const std::string& path, std::span<const uint8_t> bytes) {
    // A name of our own beside the target; O_EXCL never reuses another file.
    std::string partial;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        partial = path + ".partial-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        fd = open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            return errno;
        }
    }
    if (fd < 0) {
        return EEXIST;
    }
    int error = 0;
    size_t written = 0;
    while (written < bytes.size() && error == 0) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno != EINTR) {
            error = errno;
        } else if (n > 0) {
            written += static_cast<size_t>(n);
        }
    }
    if (close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && std::rename(partial.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        std::remove(partial.c_str());
    }
    return error;
}
