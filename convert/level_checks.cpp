#include "convert/level_checks.h"

#include <cstdio>
#include <span>
#include <vector>

#include "convert/geometry.h"

namespace {

// Corners the orientation test reads, as whole 16-bit numbers.
inline constexpr size_t kOrientationCorners = 3;

std::string Where(uint32_t meshNumber, const char* faceKind, size_t faceNumber) {
    return "mesh " + std::to_string(meshNumber) + ", " + faceKind + " " +
           std::to_string(faceNumber);
}

std::string CheckCorner(const MeshRecord& mesh, uint16_t corner, size_t cornerNumber) {
    const size_t vertexCount = mesh.vertices.size();
    const size_t vertex = corner & kCornerVertexMask;
    const std::string where = ", corner " + std::to_string(cornerNumber) + ": ";
    if (vertex >= vertexCount) {
        return where + "vertex " + std::to_string(vertex) + " is out of range (the mesh has " +
               std::to_string(vertexCount) + " vertices)";
    }
    if (cornerNumber >= kOrientationCorners) {
        return {};
    }
    if (corner >= vertexCount) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%04x", static_cast<unsigned>(corner));
        return where + "vertex number " + hex + " has bit 15 set";
    }
    if (corner >= mesh.normals.size()) {
        return where + "vertex " + std::to_string(vertex) + " has no normal (the mesh has " +
               std::to_string(mesh.normals.size()) + " normals)";
    }
    return {};
}

std::string CheckTexture(const LevelData& level, uint16_t texture) {
    const size_t textureCount = level.objectTextures.size();
    if (texture >= textureCount) {
        return ": object texture " + std::to_string(texture) + " is out of range (the level has " +
               std::to_string(textureCount) + " object textures)";
    }
    const uint16_t page = level.objectTextures[texture].tile;
    if (page >= level.numTexturePages()) {
        return ": object texture " + std::to_string(texture) + " lies on texture page " +
               std::to_string(page) + " (the level has " + std::to_string(level.numTexturePages()) +
               " texture pages)";
    }
    return {};
}

template <typename Face>
std::string CheckFaces(const LevelData& level, uint32_t meshNumber, const MeshRecord& mesh,
                       const std::vector<Face>& faces, const char* faceKind, bool textured) {
    for (size_t f = 0; f < faces.size(); ++f) {
        const Face& face = faces[f];
        for (size_t c = 0; c < face.corners.size(); ++c) {
            std::string problem = CheckCorner(mesh, face.corners[c], c);
            if (!problem.empty()) {
                return Where(meshNumber, faceKind, f) + problem;
            }
        }
        if (textured) {
            std::string problem = CheckTexture(level, face.texture);
            if (!problem.empty()) {
                return Where(meshNumber, faceKind, f) + problem;
            }
        }
    }
    return {};
}

// Vertices after every corner has been given a vertex of its own: each vertex
// used by k > 1 corners gets k - 1 copies. Corners are known to be in range.
size_t SplitVertexCount(const MeshRecord& mesh) {
    std::vector<uint8_t> used(mesh.vertices.size(), 0);
    size_t corners = 0;
    size_t distinct = 0;
    auto count = [&](std::span<const uint16_t> faceCorners) {
        for (const uint16_t corner : faceCorners) {
            uint8_t& seen = used[corner & kCornerVertexMask];
            distinct += seen == 0 ? 1 : 0;
            seen = 1;
            ++corners;
        }
    };
    for (const QuadFace& face : mesh.texturedQuads) {
        count(face.corners);
    }
    for (const TriangleFace& face : mesh.texturedTriangles) {
        count(face.corners);
    }
    for (const QuadFace& face : mesh.colouredQuads) {
        count(face.corners);
    }
    for (const TriangleFace& face : mesh.colouredTriangles) {
        count(face.corners);
    }
    return mesh.vertices.size() + (corners - distinct);
}

std::string CheckMesh(const LevelData& level, uint32_t meshNumber) {
    const MeshRecord& mesh = level.meshes[meshNumber];
    const std::string where = "mesh " + std::to_string(meshNumber) + ": ";

    const size_t faceCount = mesh.colouredTriangles.size() +
                             2 * (mesh.texturedQuads.size() + mesh.colouredQuads.size()) +
                             mesh.texturedTriangles.size();
    if (faceCount > kMaxPartFaces) {
        return where + std::to_string(faceCount) + " faces, more than " +
               std::to_string(kMaxPartFaces);
    }

    std::string problem =
        CheckFaces(level, meshNumber, mesh, mesh.texturedQuads, "textured quad", true);
    if (problem.empty()) {
        problem =
            CheckFaces(level, meshNumber, mesh, mesh.texturedTriangles, "textured triangle", true);
    }
    if (problem.empty()) {
        problem = CheckFaces(level, meshNumber, mesh, mesh.colouredQuads, "coloured quad", false);
    }
    if (problem.empty()) {
        problem =
            CheckFaces(level, meshNumber, mesh, mesh.colouredTriangles, "coloured triangle", false);
    }
    if (!problem.empty()) {
        return problem;
    }

    const size_t vertexCount = SplitVertexCount(mesh);
    if (vertexCount > kMaxPartVertices) {
        return where + std::to_string(vertexCount) +
               " vertices once shared corners are split, more than " +
               std::to_string(kMaxPartVertices);
    }
    return {};
}

} // namespace

std::string CheckLevelForConversion(const LevelData& level) {
    if (level.meshes.size() < kRequiredMeshCount) {
        return "the level holds " + std::to_string(level.meshes.size()) +
               " meshes, the character needs " + std::to_string(kRequiredMeshCount);
    }
    // Decoding stopped there and left that mesh and every later one empty; a
    // stop after the last body-part mesh touches nothing the conversion reads.
    if (level.meshDecodingStop.has_value() && *level.meshDecodingStop < kRequiredMeshCount) {
        return "mesh " + std::to_string(*level.meshDecodingStop) +
               ": its data runs past the end of the mesh words";
    }
    for (const BodyPart& part : kBodyParts) {
        std::string problem = CheckMesh(level, part.meshNumber);
        if (!problem.empty()) {
            return problem;
        }
    }
    return {};
}
