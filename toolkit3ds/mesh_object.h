#pragma once
// Mesh objects: a plain Mesh3ds record (name, vertices, texture vertices,
// faces, material groups, smoothing groups, local axes, display flags) that
// PutMesh3ds turns into a named object (0x4000) holding a triangle mesh
// (0x4100) in the 3D editor section.
//
// Use: InitMeshObj3ds(&mesh, vertexCount, faceCount, fields), fill the record,
// PutMesh3ds(db, mesh.get()), ReleaseMeshObj3ds(&mesh). The put copies
// everything it needs; the database never shares memory with the record.
//
// Counts and arrays: each array has a count field (the table of MeshField3ds
// names it). The counts say how many elements the put writes; the vectors
// hold them. InitMeshObjField3ds sizes the vectors to their counts. An empty
// vector is an absent array. A present array must hold at least its count's
// elements; the put refuses a record where it does not (ERR_INVALID_DATA) and
// writes only the first count elements of a longer one.
//
// Failures follow errors.h: the operation raises a code and returns at once.
// Nothing is rolled back.

#include "toolkit3ds/chunk_tree.h"
#include "toolkit3ds/file_io.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// --- Records -------------------------------------------------------------------

// Longest texts, in characters.
inline constexpr uint32_t kMeshNameCapacity3ds = 10;
inline constexpr uint32_t kMatGroupNameCapacity3ds = 16; // also the box-map names
inline constexpr uint32_t kProcNameCapacity3ds = 15;

// The bits that name the arrays of a Mesh3ds, with the count that sizes each.
enum MeshField3ds : uint32_t {
    kMeshVertices3ds = 1,      // vertices, vertexCount
    kMeshTexVertices3ds = 2,   // texVertices, texVertexCount
    kMeshFaces3ds = 4,         // faces, faceCount
    kMeshMatGroups3ds = 8,     // matGroups, matGroupCount
    kMeshSmoothGroups3ds = 16, // smoothGroups, faceCount
    kMeshProcData3ds = 32,     // procData, procSize
    kMeshVertexFlags3ds = 64,  // vertexFlags, vertexCount (vertexFlagCount of them written)
};
inline constexpr uint32_t kMeshAllFields3ds = 127;

// Face3ds (file_io.h): three vertex indices and a flags word, stored as given.

struct MatGroup3ds {
    std::string name;            // material name, at most 16 characters
    uint16_t faceCount = 0;      // face indices written
    std::vector<uint16_t> faces; // indices into the mesh's face list
};

// The member initialisers are the values InitMeshObj3ds sets.
struct Mesh3ds {
    std::string name; // at most 10 characters
    bool isHidden = false;
    bool isVisLofter = false; // shown in the lofter
    bool isMatte = false;
    bool isNoCast = false; // casts no shadows
    bool isFast = false;   // fast display
    bool isNoReceiveShadow = false;
    bool isFrozen = false;
    uint16_t vertexCount = 0;
    std::vector<Point3ds> vertices;
    uint16_t vertexFlagCount = 0;
    std::vector<uint16_t> vertexFlags;
    uint16_t texVertexCount = 0;
    std::vector<TexVert3ds> texVertices;
    bool useMapInfo = false; // writes the mapping icon
    uint16_t mapType = 0;
    float mapTileX = 1, mapTileY = 1;
    Point3ds mapIconPosition;
    float mapIconScaling = 1;
    std::array<float, 12> mapIconMatrix{1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    float mapPlanarWidth = 1, mapPlanarHeight = 1, mapCylinderHeight = 1;
    std::array<float, 12> matrix{}; // x, y, z axis rows, then the origin; all 0 at first
    uint16_t faceCount = 0;
    std::vector<Face3ds> faces;
    std::vector<uint32_t> smoothGroups;     // one bit mask per face, or none
    bool useBoxMap = false;                 // writes the box map
    std::array<std::string, 6> boxMapNames; // material names, at most 16 characters
    uint8_t meshColor = 0;
    uint16_t matGroupCount = 0;
    std::vector<MatGroup3ds> matGroups;
    uint8_t useProc = 0; // 1 (with procedure data): writes the object flag 0x4015
    uint32_t procSize = 0;
    std::string procName; // at most 15 characters
    std::vector<uint8_t> procData;
};

// --- Operations --------------------------------------------------------------------

// Creates a record when *mesh holds none (an existing one is set again in place
// and keeps its arrays), sets every field to its initial value with the given
// vertex and face counts, and sizes vertices and faces. fields may ask for more
// arrays: kMeshTexVertices3ds (texVertexCount = vertexCount), kMeshVertexFlags3ds
// (vertexFlagCount = vertexCount), kMeshSmoothGroups3ds; other bits are ignored.
// ERR_INVALID_ARG for a missing reference, ERR_NO_MEM.
void InitMeshObj3ds(std::unique_ptr<Mesh3ds>* mesh, uint16_t vertexCount, uint16_t faceCount,
                    uint32_t fields);
// For each array named in fields, in bit order: sizes it to its count, or frees
// it when the count is 0. Kept elements stay; new ones, whether the array grew
// or was made, get their defaults (0; faces 0, 1, 2 with flags 0; groups
// empty). ERR_INVALID_ARG for a missing mesh; ERR_NO_MEM leaves that array as it was.
void InitMeshObjField3ds(Mesh3ds* mesh, uint32_t fields);
// Frees each array named in fields; counts are left as they are. A missing mesh
// does nothing.
void FreeMeshObjField3ds(Mesh3ds* mesh, uint32_t fields);
// Frees the record with all its arrays and empties the reference. A missing or
// empty reference does nothing.
void ReleaseMeshObj3ds(std::unique_ptr<Mesh3ds>* mesh);

// Sets matrix to the identity axes with the origin at the centre of the
// vertices' bounding box (computed in single precision); nothing else changes.
// ERR_INVALID_ARG for a missing mesh; ERR_INVALID_DATA without vertices (a
// vertexCount of 0, or fewer vertices than vertexCount); the matrix is then unchanged.
void CenterMeshMatrix3ds(Mesh3ds* mesh);

// Puts the mesh into the 3D editor section (made when absent) as a named
// object; an object of the same name, of any kind, is emptied and rebuilt in
// its place, and an extra-data chunk (0x8000) it held becomes the last child
// of the new triangle mesh. Under 0x4100, in order: vertices, texture vertices,
// mapping icon, vertex flags, local axes, mesh colour, face list (with the
// material groups, smoothing groups and box map under it; only with faces),
// procedure name and data. Under the object, after 0x4100: the flags that are
// set (0x4010, 0x4011, 0x4013, 0x4012, 0x4014, 0x4017, 0x4016, then 0x4015).
// Fails before changing anything: ERR_INVALID_ARG for a missing argument,
// ERR_INVALID_DATABASE without a root, ERR_WRONG_DATABASE for a root other than
// 0x4D4D or 0xC23D, ERR_STRING_TOO_LONG for a text it would write over its
// capacity, ERR_INVALID_DATA for an array shorter than its count. A failed
// lookup of the name returns with its error; a chunk or record that cannot be
// made adds ERR_PUT_MESH_FAILED (21) behind its error; ERR_NO_MEM for a copy.
void PutMesh3ds(Database3ds* db, const Mesh3ds* mesh);
