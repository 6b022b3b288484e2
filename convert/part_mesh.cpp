#include "convert/part_mesh.h"

#include <cassert>
#include <cerrno>
#include <cstdio>
#include <new>
#include <span>
#include <vector>

#include "convert/body_parts.h"
#include "convert/conversion_context.h"
#include "convert/geometry.h"
#include "convert/materials.h"
#include "convert/texture_bitmaps.h"
#include "toolkit3ds/errors.h"

namespace {

// Fields InitMeshObj3ds is asked for: vertices, texture vertices and faces.
inline constexpr uint32_t kMeshFields = kMeshVertices3ds | kMeshTexVertices3ds | kMeshFaces3ds;

inline constexpr uint8_t kPaletteIndexMask = 0xFF; // the colour field's low byte

uint16_t VertexOf(uint16_t corner) {
    return corner & kCornerVertexMask;
}

uint8_t PaletteIndexOf(uint16_t colourField) {
    return static_cast<uint8_t>(colourField & kPaletteIndexMask);
}

Point3ds ToModelUnits(const Vertex16& vertex) {
    return {static_cast<float>(vertex.x * kLevelToModelUnits),
            static_cast<float>(vertex.y * kLevelToModelUnits),
            static_cast<float>(vertex.z * kLevelToModelUnits)};
}

// Calls visit(corner) for every face corner in the order textured quads,
// textured triangles, coloured quads, coloured triangles, each face's corners
// in order.
template <typename Visit> void ForEachCorner(MeshRecord& mesh, Visit visit) {
    auto visitFaces = [&](auto& faces) {
        for (auto& face : faces) {
            for (uint16_t& corner : face.corners) {
                visit(corner);
            }
        }
    };
    visitFaces(mesh.texturedQuads);
    visitFaces(mesh.texturedTriangles);
    visitFaces(mesh.colouredQuads);
    visitFaces(mesh.colouredTriangles);
}

// Reads the reverse-winding mark of a face and clears it.
bool TakeMark(uint16_t& firstCorner) {
    const bool marked = (firstCorner & kReverseWindingMark) != 0;
    firstCorner &= kCornerVertexMask;
    return marked;
}

Face3ds MakeFace(uint16_t a, uint16_t b, uint16_t c) {
    return {VertexOf(a), VertexOf(b), VertexOf(c), kFaceFlags};
}

// The two triangles of a quad, at faces[k] and faces[k + 1].
void PutQuadFaces(std::vector<Face3ds>& faces, size_t k, QuadFace& quad) {
    const bool marked = TakeMark(quad.corners[0]);
    const auto& q = quad.corners;
    if (marked) {
        faces[k] = MakeFace(q[2], q[1], q[0]);
        faces[k + 1] = MakeFace(q[0], q[3], q[2]);
    } else {
        faces[k] = MakeFace(q[0], q[1], q[2]);
        faces[k + 1] = MakeFace(q[2], q[3], q[0]);
    }
}

void PutTriangleFace(std::vector<Face3ds>& faces, size_t k, TriangleFace& triangle) {
    const bool marked = TakeMark(triangle.corners[0]);
    const auto& t = triangle.corners;
    faces[k] = marked ? MakeFace(t[2], t[1], t[0]) : MakeFace(t[0], t[1], t[2]);
}

// u and v of a quad corner: both quotients in double, stored as floats.
TexVert3ds QuadTexVert(const TextureVertex& corner, const TextureArea& area) {
    const double u = static_cast<double>(corner.xPixel - area.left) / area.width;
    const double v = 1.0 - static_cast<double>(corner.yPixel - area.top) / area.height;
    return {static_cast<float>(u), static_cast<float>(v)};
}

// As for a quad, except that the row's quotient is stored as a float before
// it is taken from 1.0.
TexVert3ds TriangleTexVert(const TextureVertex& corner, const TextureArea& area) {
    const double u = static_cast<double>(corner.xPixel - area.left) / area.width;
    const float down =
        static_cast<float>(static_cast<double>(corner.yPixel - area.top) / area.height);
    const double v = 1.0 - static_cast<double>(down);
    return {static_cast<float>(u), static_cast<float>(v)};
}

// Replaces out with count copies of value; false, with the failure recorded
// under message, when the array cannot be allocated.
template <typename T>
bool Allocate(ConversionContext& context, std::vector<T>& out, size_t count, const T& value,
              const char* message) {
    try {
        out = std::vector<T>(count, value);
    } catch (const std::bad_alloc&) {
        RecordFailure(context, message, ENOMEM);
        return false;
    }
    return true;
}

// Step 1: the texture materials, in ascending texture number.
void PutTextureMaterials(ConversionContext& context, Database3ds* db, const MeshRecord& mesh) {
    if (db == nullptr) {
        return;
    }
    std::vector<bool> used;
    auto mark = [&](uint16_t texture) {
        if (texture >= used.size()) {
            used.resize(size_t{texture} + 1, false);
        }
        used[texture] = true;
    };
    for (const TriangleFace& face : mesh.texturedTriangles) {
        mark(face.texture);
    }
    for (const QuadFace& face : mesh.texturedQuads) {
        mark(face.texture);
    }
    for (size_t texture = 0; texture < used.size(); ++texture) {
        if (used[texture]) {
            PutTextureMaterial(context, db, static_cast<uint32_t>(texture));
        }
    }
}

// Step 4: marks the faces whose corner order disagrees with their normals.
void TestOrientations(MeshRecord& mesh) {
    const std::span<const Vertex16> vertices = mesh.vertices;
    const std::span<const Vertex16> normals = mesh.normals;
    for (TriangleFace& face : mesh.texturedTriangles) {
        TestFaceOrientation(vertices, normals, face.corners);
    }
    for (TriangleFace& face : mesh.colouredTriangles) {
        TestFaceOrientation(vertices, normals, face.corners);
    }
    for (QuadFace& face : mesh.texturedQuads) {
        TestQuadOrientation(vertices, normals, face.corners);
    }
    for (QuadFace& face : mesh.colouredQuads) {
        TestQuadOrientation(vertices, normals, face.corners);
    }
}

// Steps 8 to 11: gives every corner a vertex of its own and fills the record's
// vertices and (zeroed) texture vertices, and levelVertices when given.
void SplitCorners(MeshRecord& levelMesh, Mesh3ds& mesh, std::vector<uint16_t>* levelVertices) {
    const size_t n = levelMesh.vertices.size();
    std::vector<uint32_t> uses(n + 1, 0);
    size_t cornerCount = 0;
    ForEachCorner(levelMesh, [&](uint16_t& corner) {
        ++uses[VertexOf(corner)];
        ++cornerCount;
    });

    std::vector<Point3ds> vertices(n + cornerCount);
    if (levelVertices != nullptr) {
        levelVertices->resize(n + cornerCount);
        for (size_t i = 0; i < n; ++i) {
            (*levelVertices)[i] = static_cast<uint16_t>(i);
        }
    }
    size_t next = n;
    ForEachCorner(levelMesh, [&](uint16_t& corner) {
        const uint16_t v = VertexOf(corner);
        if (uses[v] > 1) {
            vertices[next] = ToModelUnits(levelMesh.vertices[v]);
            if (levelVertices != nullptr) {
                (*levelVertices)[next] = v;
            }
            // The level checks keep every vertex number, copies included, in 15 bits.
            assert(next <= kCornerVertexMask);
            corner = static_cast<uint16_t>(next | (corner & kReverseWindingMark));
            ++next;
        }
        --uses[v];
    });
    vertices.resize(next);
    if (levelVertices != nullptr) {
        levelVertices->resize(next);
    }

    mesh.vertexCount = static_cast<uint16_t>(next);
    mesh.texVertexCount = static_cast<uint16_t>(next);
    mesh.texVertices.assign(next, TexVert3ds{});
    for (size_t i = 0; i < n; ++i) {
        vertices[i] = ToModelUnits(levelMesh.vertices[i]);
    }
    mesh.vertices = std::move(vertices);
}

// Step 12: the faces in their four runs, the used lists and the texture
// coordinates. False when a texture area cannot be written (the failure is
// in the context).
bool BuildFaces(ConversionContext& context, MeshRecord& levelMesh, Mesh3ds& mesh) {
    const LevelData& level = context.level;
    size_t k = 0;
    for (QuadFace& quad : levelMesh.texturedQuads) {
        AddUsedTexture(context, quad.texture);
        PutQuadFaces(mesh.faces, k, quad);
        const TextureArea* area = GetTextureArea(context, quad.texture, kQuadArea);
        if (area == nullptr) {
            return false;
        }
        k += 2;
        const ObjectTexture& texture = level.objectTextures[quad.texture];
        for (size_t j = 0; j < quad.corners.size(); ++j) {
            mesh.texVertices[VertexOf(quad.corners[j])] = QuadTexVert(texture.vertices[j], *area);
        }
    }
    for (QuadFace& quad : levelMesh.colouredQuads) {
        AddUsedColour(context, PaletteIndexOf(quad.texture));
        PutQuadFaces(mesh.faces, k, quad);
        k += 2;
    }
    for (TriangleFace& triangle : levelMesh.texturedTriangles) {
        AddUsedTexture(context, triangle.texture);
        PutTriangleFace(mesh.faces, k, triangle);
        const TextureArea* area = GetTextureArea(context, triangle.texture, kTriangleArea);
        if (area == nullptr) {
            return false;
        }
        k += 1;
        const ObjectTexture& texture = level.objectTextures[triangle.texture];
        for (size_t j = 0; j < triangle.corners.size(); ++j) {
            mesh.texVertices[VertexOf(triangle.corners[j])] =
                TriangleTexVert(texture.vertices[j], *area);
        }
    }
    for (TriangleFace& triangle : levelMesh.colouredTriangles) {
        AddUsedColour(context, PaletteIndexOf(triangle.texture));
        PutTriangleFace(mesh.faces, k, triangle);
        k += 1;
    }
    assert(k == mesh.faceCount);
    return true;
}

// Step 13: one group per used texture, then one per used colour, each with its
// face numbers in ascending order. False when the groups cannot be allocated.
bool BuildMaterialGroups(ConversionContext& context, const MeshRecord& levelMesh, Mesh3ds& mesh) {
    const size_t texturedQuadFaces = 2 * levelMesh.texturedQuads.size();
    const size_t colouredQuadFaces = 2 * levelMesh.colouredQuads.size();
    const size_t firstTexturedTriangle = texturedQuadFaces + colouredQuadFaces;
    const size_t firstColouredTriangle = firstTexturedTriangle + levelMesh.texturedTriangles.size();

    const std::vector<uint32_t>& textures = context.usedTextures;
    const std::vector<uint32_t>& colours = context.usedColours;
    const size_t groupCount = textures.size() + colours.size();
    if (!Allocate(context, mesh.matGroups, groupCount, MatGroup3ds{},
                  kMatGroupsAllocationMessage)) {
        return false;
    }
    mesh.matGroupCount = static_cast<uint16_t>(groupCount);

    size_t g = 0;
    for (const uint32_t t : textures) {
        MatGroup3ds& group = mesh.matGroups[g++];
        group.name = TextureMaterialName(t);
        for (size_t i = 0; i < levelMesh.texturedQuads.size(); ++i) {
            if (levelMesh.texturedQuads[i].texture == t) {
                group.faces.push_back(static_cast<uint16_t>(2 * i));
                group.faces.push_back(static_cast<uint16_t>(2 * i + 1));
            }
        }
        for (size_t i = 0; i < levelMesh.texturedTriangles.size(); ++i) {
            if (levelMesh.texturedTriangles[i].texture == t) {
                group.faces.push_back(static_cast<uint16_t>(firstTexturedTriangle + i));
            }
        }
        group.faceCount = static_cast<uint16_t>(group.faces.size());
    }
    for (const uint32_t c : colours) {
        MatGroup3ds& group = mesh.matGroups[g++];
        group.name = ColourMaterialName(static_cast<uint8_t>(c));
        for (size_t i = 0; i < levelMesh.colouredQuads.size(); ++i) {
            if (PaletteIndexOf(levelMesh.colouredQuads[i].texture) == c) {
                group.faces.push_back(static_cast<uint16_t>(texturedQuadFaces + 2 * i));
                group.faces.push_back(static_cast<uint16_t>(texturedQuadFaces + 2 * i + 1));
            }
        }
        for (size_t i = 0; i < levelMesh.colouredTriangles.size(); ++i) {
            if (PaletteIndexOf(levelMesh.colouredTriangles[i].texture) == c) {
                group.faces.push_back(static_cast<uint16_t>(firstColouredTriangle + i));
            }
        }
        group.faceCount = static_cast<uint16_t>(group.faces.size());
    }
    return true;
}

bool BuildSteps(ConversionContext& context, Database3ds* db, MeshRecord& levelMesh,
                uint32_t partNumber, std::unique_ptr<Mesh3ds>* meshHandle,
                std::vector<uint16_t>* levelVertices) {
    PutTextureMaterials(context, db, levelMesh);

    const size_t vertexCount = levelMesh.vertices.size();
    const size_t faceCount = levelMesh.colouredTriangles.size() +
                             2 * (levelMesh.texturedQuads.size() + levelMesh.colouredQuads.size()) +
                             levelMesh.texturedTriangles.size();
    InitMeshObj3ds(meshHandle, static_cast<uint16_t>(vertexCount), static_cast<uint16_t>(faceCount),
                   kMeshFields);
    if (ErrorPending3ds) {
        return false;
    }
    Mesh3ds& mesh = **meshHandle;

    mesh.meshColor = static_cast<uint8_t>(partNumber);
    mesh.faceCount = static_cast<uint16_t>(faceCount);
    if (!Allocate(context, mesh.faces, faceCount, Face3ds{0, 0, 0, 0}, kFacesAllocationMessage) ||
        !Allocate(context, mesh.smoothGroups, faceCount, kSmoothingGroup,
                  kSmoothGroupsAllocationMessage)) {
        return false;
    }

    TestOrientations(levelMesh);

    mesh.name = kBodyParts[partNumber].name;

    ClearUsedLists(context);
    if (db != nullptr) {
        for (const QuadFace& quad : levelMesh.colouredQuads) {
            PutColourMaterial(context, db, PaletteIndexOf(quad.texture));
        }
        for (const TriangleFace& triangle : levelMesh.colouredTriangles) {
            PutColourMaterial(context, db, PaletteIndexOf(triangle.texture));
        }
    }

    SplitCorners(levelMesh, mesh, levelVertices);
    return BuildFaces(context, levelMesh, mesh) && BuildMaterialGroups(context, levelMesh, mesh);
}

} // namespace

bool BuildPartMesh(ConversionContext& context, Database3ds* db, MeshRecord& levelMesh,
                   uint32_t partNumber, std::unique_ptr<Mesh3ds>* mesh,
                   std::vector<uint16_t>* levelVertices) {
    assert(partNumber < kBodyParts.size());
    try {
        return BuildSteps(context, db, levelMesh, partNumber, mesh, levelVertices);
    } catch (const std::bad_alloc&) {
        // Fixed buffer: nothing more may be allocated here.
        char what[64];
        std::snprintf(what, sizeof what, "building mesh \"%s\"", kBodyParts[partNumber].name);
        RecordFailure(context, what, ENOMEM);
        return false;
    }
}
