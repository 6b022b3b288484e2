#include "level/mesh_decoder.h"

#include "level/little_endian.h"

namespace {

constexpr uint64_t kCentreBytes = 6;
constexpr uint64_t kMeshHeadBytes = 10; // centre and collision radius
constexpr uint64_t kCountBytes = 2;
constexpr uint64_t kVertexBytes = 6;
constexpr uint64_t kNormalBytes = 6;
constexpr uint64_t kLightValueBytes = 2;
constexpr uint64_t kQuadBytes = 10;
constexpr uint64_t kTriangleBytes = 8;

// Where one list of a mesh lies: the first entry's byte position and the
// number of entries.
struct ListPlace {
    uint64_t start = 0;
    uint32_t count = 0;
};

struct MeshPlace {
    uint64_t head = 0;
    ListPlace vertices;
    ListPlace normals;
    bool lightValues = false;
    ListPlace texturedQuads;
    ListPlace texturedTriangles;
    ListPlace colouredQuads;
    ListPlace colouredTriangles;
};

uint16_t ReadU16(std::span<const uint8_t> bytes, uint64_t at) {
    return ReadU16Le(bytes.data() + at);
}

int16_t ReadI16(std::span<const uint8_t> bytes, uint64_t at) {
    return static_cast<int16_t>(ReadU16(bytes, at));
}

int32_t ReadI32(std::span<const uint8_t> bytes, uint64_t at) {
    return ReadI32Le(bytes.data() + at);
}

// -32768 has no 16-bit magnitude; it stands for 32768 entries.
uint32_t Magnitude(int16_t count) {
    return count < 0 ? static_cast<uint32_t>(-static_cast<int32_t>(count))
                     : static_cast<uint32_t>(count);
}

// Reads a count at position and places its entries after it; false when the
// count or its entries would run past the limit. Advances position past them.
bool LocateList(std::span<const uint8_t> words, uint64_t& position, uint64_t entryBytes,
                ListPlace& list) {
    const uint64_t limit = words.size();
    if (position + kCountBytes > limit) {
        return false;
    }
    list.count = Magnitude(ReadI16(words, position));
    list.start = position + kCountBytes;
    const uint64_t end = list.start + list.count * entryBytes;
    if (end > limit) {
        return false;
    }
    position = end;
    return true;
}

bool LocateMesh(std::span<const uint8_t> words, uint64_t position, MeshPlace& place) {
    if (position + kMeshHeadBytes > words.size()) {
        return false;
    }
    place.head = position;
    position += kMeshHeadBytes;
    if (!LocateList(words, position, kVertexBytes, place.vertices)) {
        return false;
    }
    // The sign of the normal count chooses between normals and light values.
    place.lightValues = position + kCountBytes <= words.size() && ReadI16(words, position) < 0;
    if (!LocateList(words, position, place.lightValues ? kLightValueBytes : kNormalBytes,
                    place.normals)) {
        return false;
    }
    return LocateList(words, position, kQuadBytes, place.texturedQuads) &&
           LocateList(words, position, kTriangleBytes, place.texturedTriangles) &&
           LocateList(words, position, kQuadBytes, place.colouredQuads) &&
           LocateList(words, position, kTriangleBytes, place.colouredTriangles);
}

uint64_t PlaceBytes(const MeshPlace& place) {
    return place.vertices.count * sizeof(Vertex16) + place.normals.count * sizeof(Vertex16) +
           place.texturedQuads.count * sizeof(QuadFace) +
           place.texturedTriangles.count * sizeof(TriangleFace) +
           place.colouredQuads.count * sizeof(QuadFace) +
           place.colouredTriangles.count * sizeof(TriangleFace);
}

Vertex16 ReadVertex(std::span<const uint8_t> words, uint64_t at) {
    return Vertex16{ReadI16(words, at), ReadI16(words, at + 2), ReadI16(words, at + 4)};
}

// Quads and triangles alike: the corners' vertex indices, then the texture field.
template <typename Face>
std::vector<Face> ReadFaces(std::span<const uint8_t> words, const ListPlace& list) {
    std::vector<Face> faces(list.count);
    uint64_t at = list.start;
    for (Face& face : faces) {
        for (uint16_t& corner : face.corners) {
            corner = ReadU16(words, at);
            at += 2;
        }
        face.texture = ReadU16(words, at);
        at += 2;
    }
    return faces;
}

void FillMesh(std::span<const uint8_t> words, const MeshPlace& place, MeshRecord& mesh) {
    mesh.centre = ReadVertex(words, place.head);
    mesh.collisionRadius = ReadI32(words, place.head + kCentreBytes);

    mesh.vertices.resize(place.vertices.count);
    for (uint32_t i = 0; i < place.vertices.count; ++i) {
        mesh.vertices[i] = ReadVertex(words, place.vertices.start + i * kVertexBytes);
    }

    mesh.normals.resize(place.normals.count);
    mesh.normalsAreLightValues = place.lightValues;
    if (place.lightValues) {
        // Light values fill the first components in x, y, z order; the rest stay zero.
        for (uint32_t i = 0; i < place.normals.count; ++i) {
            const int16_t value = ReadI16(words, place.normals.start + i * kLightValueBytes);
            Vertex16& normal = mesh.normals[i / 3];
            (i % 3 == 0 ? normal.x : i % 3 == 1 ? normal.y : normal.z) = value;
        }
    } else {
        for (uint32_t i = 0; i < place.normals.count; ++i) {
            mesh.normals[i] = ReadVertex(words, place.normals.start + i * kNormalBytes);
        }
    }

    mesh.texturedQuads = ReadFaces<QuadFace>(words, place.texturedQuads);
    mesh.texturedTriangles = ReadFaces<TriangleFace>(words, place.texturedTriangles);
    mesh.colouredQuads = ReadFaces<QuadFace>(words, place.colouredQuads);
    mesh.colouredTriangles = ReadFaces<TriangleFace>(words, place.colouredTriangles);
}

} // namespace

void DecodeMeshes(std::span<const uint8_t> meshWords, std::span<const uint32_t> meshPointers,
                  LevelData& level) {
    level.meshes.assign(meshPointers.size(), MeshRecord{});
    level.meshDecodingStop.reset();
    for (size_t i = 0; i < meshPointers.size(); ++i) {
        MeshPlace place;
        if (!LocateMesh(meshWords, meshPointers[i], place)) {
            level.meshDecodingStop = i;
            return;
        }
        FillMesh(meshWords, place, level.meshes[i]);
    }
}

uint64_t DecodedMeshBytes(std::span<const uint8_t> meshWords,
                          std::span<const uint32_t> meshPointers) {
    uint64_t total = meshPointers.size() * sizeof(MeshRecord);
    for (uint32_t pointer : meshPointers) {
        MeshPlace place;
        if (!LocateMesh(meshWords, pointer, place)) {
            break;
        }
        total += PlaceBytes(place);
    }
    return total;
}
