#include "toolkit3ds/mesh_object.h"

#include "toolkit3ds/errors.h"
#include "toolkit3ds/put_support.h"

#include <algorithm>
#include <new>
#include <utility>

namespace {

// A present array (not empty) that holds fewer elements than its count.
template <typename T> bool IsShort(const std::vector<T>& array, size_t count) {
    return !array.empty() && array.size() < count;
}

// The first count elements of an array that holds at least that many.
template <typename T> std::vector<T> Prefix(const std::vector<T>& array, size_t count) {
    return std::vector<T>(array.begin(), array.begin() + static_cast<std::ptrdiff_t>(count));
}

// Sizes an array to its count, or frees it for a count of 0. New elements are
// value-initialised, which gives each element type its default.
template <typename T> bool SizeArray(std::vector<T>& array, size_t count) {
    if (count == 0) {
        std::vector<T>().swap(array);
        return true;
    }
    try {
        array.resize(count);
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
        return false;
    }
    return true;
}

// Checks that the put can write the mesh: every text it writes fits and every
// array it reads holds its count. Raises the error and returns false otherwise.
bool CheckMesh(const Mesh3ds& mesh) {
    bool textsFit = FitsCapacity3ds(mesh.name, kMeshNameCapacity3ds);
    bool arraysHold =
        !(mesh.vertexCount > 0 && IsShort(mesh.vertices, mesh.vertexCount)) &&
        !(mesh.texVertexCount > 0 && IsShort(mesh.texVertices, mesh.texVertexCount)) &&
        !(mesh.vertexFlagCount > 0 && IsShort(mesh.vertexFlags, mesh.vertexFlagCount));
    if (mesh.faceCount > 0) {
        arraysHold = arraysHold && mesh.faces.size() >= mesh.faceCount &&
                     !IsShort(mesh.smoothGroups, mesh.faceCount) &&
                     mesh.matGroups.size() >= mesh.matGroupCount;
        for (size_t i = 0; i < mesh.matGroupCount && i < mesh.matGroups.size(); ++i) {
            const MatGroup3ds& group = mesh.matGroups[i];
            arraysHold = arraysHold && group.faces.size() >= group.faceCount;
            textsFit = textsFit && FitsCapacity3ds(group.name, kMatGroupNameCapacity3ds);
        }
        for (const std::string& name : mesh.boxMapNames) {
            textsFit =
                textsFit && (!mesh.useBoxMap || FitsCapacity3ds(name, kMatGroupNameCapacity3ds));
        }
    }
    if (!mesh.procData.empty()) {
        arraysHold = arraysHold && mesh.procData.size() >= mesh.procSize;
        textsFit = textsFit && FitsCapacity3ds(mesh.procName, kProcNameCapacity3ds);
    }
    if (!textsFit) {
        RaiseError3ds(ERR_STRING_TOO_LONG);
        return false;
    }
    if (!arraysHold) {
        RaiseError3ds(ERR_INVALID_DATA);
        return false;
    }
    return true;
}

// Chunks the mesh put makes: a failure adds ERR_PUT_MESH_FAILED behind its cause.
Chunk3ds* AddMeshChunk(Chunk3ds* parent, ChunkTag3ds tag) {
    return AddChunk3ds(parent, tag, ERR_PUT_MESH_FAILED);
}

template <typename Layout> Layout* AddMeshRecord(Chunk3ds* parent, ChunkTag3ds tag) {
    return AddRecord3ds<Layout>(parent, tag, ERR_PUT_MESH_FAILED);
}

// The object chunk to fill: the object of that name emptied in its place, with
// a copy of its extra-data chunk kept in *extraData, or a new one.
Chunk3ds* ObjectChunk(Database3ds* db, Chunk3ds* section, const Mesh3ds& mesh,
                      std::unique_ptr<Chunk3ds>* extraData) {
    Chunk3ds* existing = nullptr;
    FindNamedObject3ds(db, mesh.name.c_str(), &existing);
    if (ErrorPending3ds) {
        return nullptr;
    }
    if (existing == nullptr) {
        return AddNamedChunk3ds(db, section, kTagNamedObject3ds, ERR_PUT_MESH_FAILED);
    }
    EmptyKeepingExtraData3ds(existing, extraData);
    if (ErrorPending3ds) {
        RaiseError3ds(ERR_PUT_MESH_FAILED);
        return nullptr;
    }
    // The index points at the old object, whose name is gone now.
    existing->tag = kTagNamedObject3ds;
    MarkObjectIndexStale3ds(db);
    NewChunkData3ds(existing);
    if (ErrorPending3ds) {
        RaiseError3ds(ERR_PUT_MESH_FAILED);
        return nullptr;
    }
    return existing;
}

// The face list and what stands under it: material groups, smoothing groups, box map.
void PutFaces(Chunk3ds* meshChunk, const Mesh3ds& mesh) {
    Chunk3ds* faceChunk = AddMeshChunk(meshChunk, kTagFaceList3ds);
    if (ErrorPending3ds) {
        return;
    }
    GetChunkData3ds<FaceListData3ds>(faceChunk)->faces = Prefix(mesh.faces, mesh.faceCount);
    for (size_t i = 0; i < mesh.matGroupCount; ++i) {
        const MatGroup3ds& group = mesh.matGroups[i];
        auto* record = AddMeshRecord<MaterialGroupData3ds>(faceChunk, kTagMaterialGroup3ds);
        if (ErrorPending3ds) {
            return;
        }
        record->name.assign(WrittenText3ds(group.name));
        if (group.faceCount > 0) {
            record->faces = Prefix(group.faces, group.faceCount);
        }
    }
    if (!mesh.smoothGroups.empty()) {
        auto* record = AddMeshRecord<SmoothGroupsData3ds>(faceChunk, kTagSmoothGroups3ds);
        if (ErrorPending3ds) {
            return;
        }
        record->groups = Prefix(mesh.smoothGroups, mesh.faceCount);
    }
    if (mesh.useBoxMap) {
        auto* record = AddMeshRecord<BoxMapData3ds>(faceChunk, kTagBoxMap3ds);
        if (ErrorPending3ds) {
            return;
        }
        for (size_t i = 0; i < record->names.size(); ++i) {
            record->names[i].assign(WrittenText3ds(mesh.boxMapNames[i]));
        }
    }
}

// The triangle mesh's children, in their order.
void PutTriangleMesh(Chunk3ds* meshChunk, const Mesh3ds& mesh) {
    if (mesh.vertexCount > 0 && !mesh.vertices.empty()) {
        auto* record = AddMeshRecord<VertexListData3ds>(meshChunk, kTagVertexList3ds);
        if (ErrorPending3ds) {
            return;
        }
        record->vertices = Prefix(mesh.vertices, mesh.vertexCount);
    }
    if (mesh.texVertexCount > 0 && !mesh.texVertices.empty()) {
        auto* record = AddMeshRecord<TexVertsData3ds>(meshChunk, kTagTexVerts3ds);
        if (ErrorPending3ds) {
            return;
        }
        record->texVerts = Prefix(mesh.texVertices, mesh.texVertexCount);
    }
    if (mesh.useMapInfo) {
        auto* record = AddMeshRecord<MappingIconData3ds>(meshChunk, kTagMappingIcon3ds);
        if (ErrorPending3ds) {
            return;
        }
        record->mapType = mesh.mapType;
        record->tileX = mesh.mapTileX;
        record->tileY = mesh.mapTileY;
        record->iconPosition = mesh.mapIconPosition;
        record->iconScaling = mesh.mapIconScaling;
        record->iconMatrix = mesh.mapIconMatrix;
        record->planarWidth = mesh.mapPlanarWidth;
        record->planarHeight = mesh.mapPlanarHeight;
        record->cylinderHeight = mesh.mapCylinderHeight;
    }
    if (mesh.vertexFlagCount > 0 && !mesh.vertexFlags.empty()) {
        auto* record = AddMeshRecord<VertexFlagsData3ds>(meshChunk, kTagVertexFlags3ds);
        if (ErrorPending3ds) {
            return;
        }
        record->flags = Prefix(mesh.vertexFlags, mesh.vertexFlagCount);
    }
    auto* axes = AddMeshRecord<LocalAxesData3ds>(meshChunk, kTagLocalAxes3ds);
    if (ErrorPending3ds) {
        return;
    }
    axes->matrix = mesh.matrix;
    auto* color = AddMeshRecord<ByteData3ds>(meshChunk, kTagMeshColor3ds);
    if (ErrorPending3ds) {
        return;
    }
    color->value = mesh.meshColor;
    if (mesh.faceCount > 0) {
        PutFaces(meshChunk, mesh);
        if (ErrorPending3ds) {
            return;
        }
    }
    if (!mesh.procData.empty()) {
        auto* name = AddMeshRecord<StringData3ds>(meshChunk, kTagProcedureName3ds);
        if (ErrorPending3ds) {
            return;
        }
        name->text.assign(WrittenText3ds(mesh.procName));
        auto* data = AddMeshRecord<RawData3ds>(meshChunk, kTagProcedureData3ds);
        if (ErrorPending3ds) {
            return;
        }
        data->bytes = Prefix(mesh.procData, mesh.procSize);
    }
}

void PutObjectFlags(Chunk3ds* object, const Mesh3ds& mesh) {
    const std::pair<bool, ChunkTag3ds> flags[] = {
        {mesh.isHidden, kTagObjectHidden3ds},
        {mesh.isVisLofter, kTagObjectVisLofter3ds},
        {mesh.isMatte, kTagObjectMatte3ds},
        {mesh.isNoCast, kTagObjectNoCast3ds},
        {mesh.isFast, kTagObjectFast3ds},
        {mesh.isNoReceiveShadow, kTagObjectNoReceiveShadow3ds},
        {mesh.isFrozen, kTagObjectFrozen3ds},
        {mesh.useProc == 1 && !mesh.procData.empty(), kTagObjectProcedural3ds},
    };
    for (const auto& [set, tag] : flags) {
        if (!set) {
            continue;
        }
        AddMeshChunk(object, tag);
        if (ErrorPending3ds) {
            return;
        }
    }
}

void PutMeshChunks(Database3ds* db, const Mesh3ds& mesh) {
    Chunk3ds* section = FindOrAddEditor3ds(db->root.get(), ERR_PUT_MESH_FAILED);
    if (ErrorPending3ds) {
        return;
    }
    std::unique_ptr<Chunk3ds> extraData;
    Chunk3ds* object = ObjectChunk(db, section, mesh, &extraData);
    if (ErrorPending3ds) {
        return;
    }
    GetChunkData3ds<StringData3ds>(object)->text.assign(WrittenText3ds(mesh.name));
    MarkObjectIndexStale3ds(db);
    if (ErrorPending3ds) {
        return;
    }
    Chunk3ds* meshChunk = AddMeshChunk(object, kTagTriangleMesh3ds);
    if (ErrorPending3ds) {
        return;
    }
    PutTriangleMesh(meshChunk, mesh);
    if (ErrorPending3ds) {
        return;
    }
    PutObjectFlags(object, mesh);
    if (ErrorPending3ds) {
        return;
    }
    if (extraData != nullptr) {
        InsertChildInOrder3ds(meshChunk, std::move(extraData));
        if (ErrorPending3ds) {
            RaiseError3ds(ERR_PUT_MESH_FAILED);
            return;
        }
    }
    IndexPutObject3ds(db, object);
}

} // namespace

void InitMeshObj3ds(std::unique_ptr<Mesh3ds>* mesh, uint16_t vertexCount, uint16_t faceCount,
                    uint32_t fields) {
    if (mesh == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    try {
        if (*mesh == nullptr) {
            *mesh = std::make_unique<Mesh3ds>();
        }
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
        return;
    }
    // Every field gets its initial value, but the arrays stay to be resized.
    Mesh3ds& record = **mesh;
    Mesh3ds fresh;
    fresh.vertices = std::move(record.vertices);
    fresh.vertexFlags = std::move(record.vertexFlags);
    fresh.texVertices = std::move(record.texVertices);
    fresh.faces = std::move(record.faces);
    fresh.smoothGroups = std::move(record.smoothGroups);
    fresh.matGroups = std::move(record.matGroups);
    fresh.procData = std::move(record.procData);
    record = std::move(fresh);
    record.vertexCount = vertexCount;
    record.faceCount = faceCount;

    InitMeshObjField3ds(&record, kMeshVertices3ds | kMeshFaces3ds);
    if (ErrorPending3ds) {
        return;
    }
    if ((fields & kMeshTexVertices3ds) != 0) {
        record.texVertexCount = vertexCount;
        InitMeshObjField3ds(&record, kMeshTexVertices3ds);
        if (ErrorPending3ds) {
            return;
        }
    }
    if ((fields & kMeshVertexFlags3ds) != 0) {
        record.vertexFlagCount = vertexCount;
        InitMeshObjField3ds(&record, kMeshVertexFlags3ds);
        if (ErrorPending3ds) {
            return;
        }
    }
    if ((fields & kMeshSmoothGroups3ds) != 0) {
        InitMeshObjField3ds(&record, kMeshSmoothGroups3ds);
    }
}

void InitMeshObjField3ds(Mesh3ds* mesh, uint32_t fields) {
    if (mesh == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    if ((fields & kMeshVertices3ds) != 0 && !SizeArray(mesh->vertices, mesh->vertexCount)) {
        return;
    }
    if ((fields & kMeshTexVertices3ds) != 0 &&
        !SizeArray(mesh->texVertices, mesh->texVertexCount)) {
        return;
    }
    if ((fields & kMeshFaces3ds) != 0 && !SizeArray(mesh->faces, mesh->faceCount)) {
        return;
    }
    if ((fields & kMeshMatGroups3ds) != 0 && !SizeArray(mesh->matGroups, mesh->matGroupCount)) {
        return;
    }
    if ((fields & kMeshSmoothGroups3ds) != 0 && !SizeArray(mesh->smoothGroups, mesh->faceCount)) {
        return;
    }
    if ((fields & kMeshProcData3ds) != 0 && !SizeArray(mesh->procData, mesh->procSize)) {
        return;
    }
    if ((fields & kMeshVertexFlags3ds) != 0) {
        SizeArray(mesh->vertexFlags, mesh->vertexCount);
    }
}

void FreeMeshObjField3ds(Mesh3ds* mesh, uint32_t fields) {
    if (mesh == nullptr) {
        return;
    }
    if ((fields & kMeshVertices3ds) != 0) {
        SizeArray(mesh->vertices, 0);
    }
    if ((fields & kMeshTexVertices3ds) != 0) {
        SizeArray(mesh->texVertices, 0);
    }
    if ((fields & kMeshFaces3ds) != 0) {
        SizeArray(mesh->faces, 0);
    }
    if ((fields & kMeshMatGroups3ds) != 0) {
        SizeArray(mesh->matGroups, 0);
    }
    if ((fields & kMeshSmoothGroups3ds) != 0) {
        SizeArray(mesh->smoothGroups, 0);
    }
    if ((fields & kMeshProcData3ds) != 0) {
        SizeArray(mesh->procData, 0);
    }
    if ((fields & kMeshVertexFlags3ds) != 0) {
        SizeArray(mesh->vertexFlags, 0);
    }
}

void ReleaseMeshObj3ds(std::unique_ptr<Mesh3ds>* mesh) {
    ReleaseRecord3ds(mesh);
}

void CenterMeshMatrix3ds(Mesh3ds* mesh) {
    if (mesh == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    if (mesh->vertexCount == 0 || mesh->vertices.size() < mesh->vertexCount) {
        RaiseError3ds(ERR_INVALID_DATA);
        return;
    }
    Point3ds low = mesh->vertices[0];
    Point3ds high = low;
    for (size_t i = 1; i < mesh->vertexCount; ++i) {
        const Point3ds& vertex = mesh->vertices[i];
        low = {std::min(low.x, vertex.x), std::min(low.y, vertex.y), std::min(low.z, vertex.z)};
        high = {std::max(high.x, vertex.x), std::max(high.y, vertex.y), std::max(high.z, vertex.z)};
    }
    // Single precision, like the record: the sum of the float extremes, halved.
    mesh->matrix = {1,
                    0,
                    0,
                    0,
                    1,
                    0,
                    0,
                    0,
                    1,
                    (low.x + high.x) * 0.5f,
                    (low.y + high.y) * 0.5f,
                    (low.z + high.z) * 0.5f};
}

void PutMesh3ds(Database3ds* db, const Mesh3ds* mesh) {
    if (!CheckPutTarget3ds(db, mesh, {kTagMeshFile3ds, kTagProjectFile3ds}) || !CheckMesh(*mesh)) {
        return;
    }
    GuardAllocations3ds([&] { PutMeshChunks(db, *mesh); });
}
