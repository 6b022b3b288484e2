#include "convert/gltf/gltf_writer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "convert/gltf/png_encoder.h"

namespace {

using Json = nlohmann::ordered_json;

// GLB container: a 12-byte header, then chunks of an 8-byte header and data
// padded to 4 bytes (JSON with spaces, binary with zeros).
inline constexpr uint32_t kGlbMagic = 0x46546C67; // "glTF"
inline constexpr uint32_t kGlbVersion = 2;
inline constexpr uint32_t kJsonChunk = 0x4E4F534A; // "JSON"
inline constexpr uint32_t kBinChunk = 0x004E4942;  // "BIN\0"
inline constexpr size_t kAlignment = 4;            // chunks and buffer views start on 4 bytes
// glTF 2.0 stores lengths in 32 bits.
inline constexpr uint64_t kMaxGlbBytes = 0xFFFFFFFFu;

// glTF enumerations.
inline constexpr int kFloat = 5126;
inline constexpr int kUnsignedShort = 5123;
inline constexpr int kArrayBuffer = 34962;
inline constexpr int kElementArrayBuffer = 34963;
inline constexpr int kTriangles = 4;
inline constexpr int kNearest = 9728;
inline constexpr int kRepeat = 10497;

size_t Aligned(size_t bytes) {
    return (bytes + kAlignment - 1) / kAlignment * kAlignment;
}

const char* TypeName(size_t components) {
    switch (components) {
    case 1:
        return "SCALAR";
    case 2:
        return "VEC2";
    case 3:
        return "VEC3";
    default:
        return "VEC4";
    }
}

std::span<const float> Components(const float& value) {
    return {&value, 1};
}
template <size_t N> std::span<const float> Components(const std::array<float, N>& value) {
    return value;
}

// One piece of the binary chunk: numbers of wordBytes each (1 for bytes
// kept as they are), borrowed from the scene or the encoded textures.
struct BinaryPiece {
    const void* data = nullptr;
    size_t bytes = 0;
    size_t wordBytes = 1;
};

// The JSON document and the layout of the binary chunk, built together: each
// view is a piece of the chunk at the next aligned offset.
class GltfBuilder {
public:
    Json document = Json::object();

    template <typename T> int AddView(std::span<const T> values, size_t wordBytes, int target) {
        offset_ = Aligned(offset_);
        Json view = {{"buffer", 0}, {"byteOffset", offset_}, {"byteLength", values.size_bytes()}};
        if (target != 0) {
            view["target"] = target;
        }
        pieces_.push_back({values.data(), values.size_bytes(), wordBytes});
        offset_ += values.size_bytes();
        return Append("bufferViews", std::move(view));
    }

    // An accessor over a new view of floats or float vectors, with the
    // bounds of each component when asked.
    template <typename T> int AddFloats(std::span<const T> values, int target, bool withBounds) {
        constexpr size_t kComponents = sizeof(T) / sizeof(float);
        Json accessor = {{"bufferView", AddView(values, sizeof(float), target)},
                         {"componentType", kFloat},
                         {"count", values.size()},
                         {"type", TypeName(kComponents)}};
        if (withBounds && !values.empty()) {
            std::array<float, kComponents> low, high;
            for (size_t c = 0; c < kComponents; ++c) {
                low[c] = high[c] = Components(values[0])[c];
            }
            for (const T& value : values) {
                for (size_t c = 0; c < kComponents; ++c) {
                    low[c] = std::min(low[c], Components(value)[c]);
                    high[c] = std::max(high[c], Components(value)[c]);
                }
            }
            accessor["min"] = low;
            accessor["max"] = high;
        }
        return Append("accessors", std::move(accessor));
    }

    int AddIndices(std::span<const uint16_t> indices) {
        return Append("accessors",
                      {{"bufferView", AddView(indices, sizeof(uint16_t), kElementArrayBuffer)},
                       {"componentType", kUnsignedShort},
                       {"count", indices.size()},
                       {"type", "SCALAR"}});
    }

    // Appends to the document's array of that name; returns the index.
    int Append(const char* array, Json value) {
        Json& list = document[array];
        list.push_back(std::move(value));
        return static_cast<int>(list.size() - 1);
    }

    size_t binaryBytes() const { return offset_; }
    const std::vector<BinaryPiece>& pieces() const { return pieces_; }

private:
    size_t offset_ = 0;
    std::vector<BinaryPiece> pieces_;
};

void AddMaterials(const CharacterScene& scene, const std::vector<std::vector<uint8_t>>& pngs,
                  GltfBuilder& gltf) {
    size_t textures = 0;
    for (const SceneMaterial& source : scene.materials) {
        Json pbr = {{"metallicFactor", 0.0}, {"roughnessFactor", 1.0}};
        if (!source.rgb.empty()) {
            if (textures == 0) {
                gltf.Append("samplers", {{"magFilter", kNearest},
                                         {"minFilter", kNearest},
                                         {"wrapS", kRepeat},
                                         {"wrapT", kRepeat}});
            }
            const std::vector<uint8_t>& png = pngs.at(textures++);
            const int view = gltf.AddView(std::span(png), 1, 0);
            const int image = gltf.Append(
                "images", {{"name", source.name}, {"mimeType", "image/png"}, {"bufferView", view}});
            const int texture = gltf.Append("textures", {{"sampler", 0}, {"source", image}});
            pbr["baseColorTexture"] = {{"index", texture}};
        } else {
            const Float3& c = source.linearColour;
            pbr["baseColorFactor"] = {c[0], c[1], c[2], 1.0};
        }
        gltf.Append("materials", {{"name", source.name}, {"pbrMetallicRoughness", std::move(pbr)}});
    }
}

int AddMesh(const std::string& name, const SceneMesh& source, GltfBuilder& gltf) {
    Json attributes = {{"POSITION", gltf.AddFloats<Float3>(source.positions, kArrayBuffer, true)}};
    if (!source.normals.empty()) {
        attributes["NORMAL"] = gltf.AddFloats<Float3>(source.normals, kArrayBuffer, false);
    }
    if (!source.texCoords.empty()) {
        attributes["TEXCOORD_0"] = gltf.AddFloats<Float2>(source.texCoords, kArrayBuffer, false);
    }
    Json primitives = Json::array();
    for (const ScenePrimitive& primitive : source.primitives) {
        primitives.push_back({{"attributes", attributes},
                              {"indices", gltf.AddIndices(primitive.indices)},
                              {"material", primitive.material},
                              {"mode", kTriangles}});
    }
    return gltf.Append("meshes", {{"name", name}, {"primitives", std::move(primitives)}});
}

void AddNodes(const CharacterScene& scene, GltfBuilder& gltf) {
    std::vector<Json> nodes(scene.nodes.size());
    for (size_t i = 0; i < scene.nodes.size(); ++i) {
        const SceneNode& source = scene.nodes[i];
        Json& node = nodes[i];
        node["name"] = source.name;
        if (source.parent >= 0) {
            nodes[static_cast<size_t>(source.parent)]["children"].push_back(i);
            node["translation"] = source.translation;
            node["rotation"] = source.rotation;
        }
        if (source.mesh && !source.mesh->primitives.empty()) {
            node["mesh"] = AddMesh(source.name, *source.mesh, gltf);
        }
    }
    gltf.document["nodes"] = std::move(nodes);
    gltf.document["scenes"] = {{{"nodes", {0}}}};
    gltf.document["scene"] = 0;
}

void AddAnimations(const CharacterScene& scene, GltfBuilder& gltf) {
    if (scene.animations.empty()) {
        return;
    }
    // The joints' fixed translations: one key each, shared by every animation.
    static constexpr float kStart = 0.0f;
    const int fixedInput = gltf.AddFloats<float>(std::span(&kStart, 1), 0, true);
    std::array<int, kSkeletonMeshCount> fixedOutputs{};
    for (size_t j = 1; j < kSkeletonMeshCount; ++j) {
        fixedOutputs[j] =
            gltf.AddFloats<Float3>(std::span(&scene.jointTranslations[j], 1), 0, false);
    }

    for (const SceneAnimation& source : scene.animations) {
        Json samplers = Json::array();
        Json channels = Json::array();
        const auto addChannel = [&](int input, int output, size_t joint, const char* path) {
            channels.push_back({{"sampler", samplers.size()},
                                {"target", {{"node", JointNode(joint)}, {"path", path}}}});
            samplers.push_back({{"input", input}, {"output", output}, {"interpolation", "LINEAR"}});
        };
        const int times = gltf.AddFloats<float>(source.times, 0, true);
        addChannel(times, gltf.AddFloats<Float3>(source.rootTranslations, 0, false), 0,
                   "translation");
        for (size_t j = 0; j < kSkeletonMeshCount; ++j) {
            if (j > 0) {
                addChannel(fixedInput, fixedOutputs[j], j, "translation");
            }
            addChannel(times, gltf.AddFloats<Float4>(source.rotations[j], 0, false), j, "rotation");
        }
        gltf.Append("animations", {{"name", source.name},
                                   {"channels", std::move(channels)},
                                   {"samplers", std::move(samplers)}});
    }
}

// The PNG file of each textured material, in material order; false when one
// cannot be encoded.
bool EncodeTextures(const CharacterScene& scene, std::vector<std::vector<uint8_t>>& pngs) {
    for (const SceneMaterial& material : scene.materials) {
        if (!material.rgb.empty()) {
            pngs.push_back(EncodePng(material.rgb, material.width, material.height));
            if (pngs.back().empty()) {
                return false;
            }
        }
    }
    return true;
}

// Buffered writes to a file descriptor; the first failure's error number is
// kept and later writes do nothing.
class FileOutput {
public:
    explicit FileOutput(int fd) : fd_(fd) {}

    void Write(const void* data, size_t size) {
        if (size > buffer_.size() - used_) {
            Flush();
            if (size > buffer_.size()) {
                WriteAll(static_cast<const unsigned char*>(data), size);
                return;
            }
        }
        std::memcpy(buffer_.data() + used_, data, size);
        used_ += size;
    }

    void WriteU32(uint32_t value) {
        const unsigned char bytes[4] = {
            static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
            static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
        Write(bytes, sizeof bytes);
    }

    void Pad(size_t count, unsigned char filler) {
        const unsigned char fillers[kAlignment] = {filler, filler, filler, filler};
        Write(fillers, count);
    }

    // Numbers of wordBytes each, least-significant byte first whatever the host.
    void WriteLittleEndian(const BinaryPiece& piece) {
        if (std::endian::native == std::endian::little || piece.wordBytes == 1) {
            Write(piece.data, piece.bytes);
            return;
        }
        const auto* bytes = static_cast<const unsigned char*>(piece.data);
        for (size_t at = 0; at < piece.bytes; at += piece.wordBytes) {
            unsigned char word[sizeof(uint32_t)];
            std::reverse_copy(bytes + at, bytes + at + piece.wordBytes, word);
            Write(word, piece.wordBytes);
        }
    }

    int Finish() {
        Flush();
        return error_;
    }

private:
    void Flush() {
        WriteAll(buffer_.data(), used_);
        used_ = 0;
    }

    void WriteAll(const unsigned char* data, size_t size) {
        while (size > 0 && error_ == 0) {
            const ssize_t n = write(fd_, data, size);
            if (n < 0 && errno != EINTR) {
                error_ = errno;
            } else if (n > 0) {
                data += n;
                size -= static_cast<size_t>(n);
            }
        }
    }

    int fd_;
    std::array<unsigned char, 1 << 16> buffer_{};
    size_t used_ = 0;
    int error_ = 0;
};

} // namespace

int WriteGlbFile(const CharacterScene& scene, const std::string& generator,
                 const std::string& path) {
    std::vector<std::vector<uint8_t>> pngs;
    if (!EncodeTextures(scene, pngs)) {
        return EINVAL;
    }
    GltfBuilder gltf;
    gltf.document["asset"] = {{"version", "2.0"}, {"generator", generator}};
    AddMaterials(scene, pngs, gltf);
    AddNodes(scene, gltf);
    AddAnimations(scene, gltf);
    // Without any number to hold (parts without faces, no animation) there is
    // no buffer and no binary chunk: a buffer may not be empty.
    const size_t binaryBytes = Aligned(gltf.binaryBytes());
    if (binaryBytes > 0) {
        gltf.document["buffers"] = {{{"byteLength", binaryBytes}}};
    }

    const std::string json = gltf.document.dump();
    const size_t jsonBytes = Aligned(json.size());
    const uint64_t total = 12 + 8 + uint64_t{jsonBytes} + (binaryBytes > 0 ? 8 + binaryBytes : 0);
    if (total > kMaxGlbBytes) {
        return EFBIG;
    }
    return WriteFileReplacing(path, [&](int fd) {
        FileOutput out(fd);
        out.WriteU32(kGlbMagic);
        out.WriteU32(kGlbVersion);
        out.WriteU32(static_cast<uint32_t>(total));
        out.WriteU32(static_cast<uint32_t>(jsonBytes));
        out.WriteU32(kJsonChunk);
        out.Write(json.data(), json.size());
        out.Pad(jsonBytes - json.size(), ' ');
        if (binaryBytes == 0) {
            return out.Finish();
        }
        out.WriteU32(static_cast<uint32_t>(binaryBytes));
        out.WriteU32(kBinChunk);
        size_t written = 0;
        for (const BinaryPiece& piece : gltf.pieces()) {
            out.Pad(Aligned(written) - written, 0);
            out.WriteLittleEndian(piece);
            written = Aligned(written) + piece.bytes;
        }
        out.Pad(binaryBytes - written, 0);
        return out.Finish();
    });
}

int WriteFileReplacing(const std::string& path, const std::function<int(int fd)>& fill) {
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
    int error = fill(fd);
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
