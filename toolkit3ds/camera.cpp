#include "toolkit3ds/camera.h"

#include "toolkit3ds/errors.h"

#include <new>
#include <string_view>
#include <utility>

namespace {

// Focal length in millimetres = kLensFactor / field of view in degrees.
constexpr float kLensFactor = 2400.0f;

// A text as it is written: up to its first zero byte.
std::string_view Text(const std::string& text) {
    return text.c_str();
}

// The 3D editor section, made when absent.
Chunk3ds* EditorSection(Chunk3ds* root) {
    Chunk3ds* section = nullptr;
    SearchChunk3ds(root, kTagEditor3ds, &section);
    if (ErrorPending3ds || section != nullptr) {
        return section;
    }
    std::unique_ptr<Chunk3ds> added;
    NewChunkWithTag3ds(&added, kTagEditor3ds);
    if (ErrorPending3ds) {
        return nullptr;
    }
    return InsertChildInOrder3ds(root, std::move(added));
}

// Empties the object of the camera's name, if there is one, keeping a copy of
// its extra-data chunk in *extraData. The emptied chunk stays where it is.
void EmptyOldObject(Database3ds* db, const Camera3ds& camera,
                    std::unique_ptr<Chunk3ds>* extraData) {
    Chunk3ds* existing = nullptr;
    FindNamedObject3ds(db, camera.name.c_str(), &existing);
    if (ErrorPending3ds || existing == nullptr) {
        return;
    }
    Chunk3ds* extra = nullptr;
    SearchChunk3ds(existing, kTagExtraData3ds, &extra);
    if (ErrorPending3ds) {
        return;
    }
    if (extra != nullptr) {
        DuplicateChunk3ds(extra, extraData);
        if (ErrorPending3ds) {
            return;
        }
    }
    EmptyChunk3ds(existing);
    MarkObjectIndexStale3ds(db);
}

// Appends a new chunk with its record (none for a flag) to the parent's children.
Chunk3ds* AppendNew(Chunk3ds* parent, ChunkTag3ds tag) {
    std::unique_ptr<Chunk3ds> chunk;
    NewChunkAndData3ds(&chunk, tag);
    if (ErrorPending3ds) {
        return nullptr;
    }
    return AppendChild3ds(parent, std::move(chunk));
}

void PutCameraChunks(Database3ds* db, const Camera3ds& camera) {
    Chunk3ds* section = EditorSection(db->root.get());
    if (ErrorPending3ds) {
        return;
    }
    std::unique_ptr<Chunk3ds> extraData;
    EmptyOldObject(db, camera, &extraData);
    if (ErrorPending3ds) {
        return;
    }
    std::unique_ptr<Chunk3ds> newObject;
    auto* name = GetChunkData3ds<StringData3ds>(NewChunkAndData3ds(&newObject, kTagNamedObject3ds));
    if (ErrorPending3ds) {
        return;
    }
    name->text.assign(Text(camera.name));
    Chunk3ds* object = InsertChildInOrder3ds(section, std::move(newObject));
    if (ErrorPending3ds) {
        return;
    }
    MarkObjectIndexStale3ds(db);
    if (ErrorPending3ds) {
        return;
    }
    Chunk3ds* cameraChunk = AppendNew(object, kTagCamera3ds);
    if (ErrorPending3ds) {
        return;
    }
    auto* lens = GetChunkData3ds<CameraData3ds>(cameraChunk);
    lens->position = camera.position;
    lens->target = camera.target;
    lens->roll = camera.roll;
    lens->focalLength = kLensFactor / camera.fov; // single-precision division
    if (camera.showCone) {
        AppendNew(cameraChunk, kTagCameraCone3ds);
        if (ErrorPending3ds) {
            return;
        }
    }
    Chunk3ds* rangesChunk = AppendNew(cameraChunk, kTagCameraRanges3ds);
    if (ErrorPending3ds) {
        return;
    }
    auto* ranges = GetChunkData3ds<CameraRangesData3ds>(rangesChunk);
    ranges->nearRange = camera.nearRange;
    ranges->farRange = camera.farRange;
    if (extraData != nullptr) {
        AppendChild3ds(cameraChunk, std::move(extraData));
    }
}

} // namespace

void InitCamera3ds(std::unique_ptr<Camera3ds>* camera) {
    if (camera == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    try {
        if (*camera == nullptr) {
            *camera = std::make_unique<Camera3ds>();
        } else {
            **camera = Camera3ds{};
        }
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
    }
}

void ReleaseCamera3ds(std::unique_ptr<Camera3ds>* camera) {
    if (camera != nullptr) {
        camera->reset();
    }
}

void PutCamera3ds(Database3ds* db, const Camera3ds* camera) {
    if (db == nullptr || camera == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    if (db->root == nullptr) {
        RaiseError3ds(ERR_INVALID_DATABASE);
        return;
    }
    if (db->root->tag != kTagMeshFile3ds) {
        RaiseError3ds(ERR_WRONG_DATABASE);
        return;
    }
    if (Text(camera->name).size() > kCameraNameCapacity3ds) {
        RaiseError3ds(ERR_STRING_TOO_LONG);
        return;
    }
    // The focal length would be a division by zero.
    if (camera->fov == 0.0f) {
        RaiseError3ds(ERR_INVALID_DATA);
        return;
    }
    try {
        PutCameraChunks(db, *camera);
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
    }
}
