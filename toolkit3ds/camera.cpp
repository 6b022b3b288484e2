#include "toolkit3ds/camera.h"

#include "toolkit3ds/errors.h"
#include "toolkit3ds/put_support.h"

#include <utility>

namespace {

// Focal length in millimetres = kLensFactor / field of view in degrees.
constexpr float kLensFactor = 2400.0f;

void PutCameraChunks(Database3ds* db, const Camera3ds& camera) {
    Chunk3ds* section = FindOrAddEditor3ds(db->root.get());
    if (ErrorPending3ds) {
        return;
    }
    // An object of the camera's name is emptied where it stands; the camera
    // is a new object behind the others.
    Chunk3ds* old = nullptr;
    FindNamedObject3ds(db, camera.name.c_str(), &old);
    if (ErrorPending3ds) {
        return;
    }
    std::unique_ptr<Chunk3ds> extraData;
    if (old != nullptr) {
        EmptyKeepingExtraData3ds(old, &extraData);
        if (ErrorPending3ds) {
            return;
        }
        MarkObjectIndexStale3ds(db);
    }
    Chunk3ds* object = AddChunk3ds(section, kTagNamedObject3ds);
    if (ErrorPending3ds) {
        return;
    }
    GetChunkData3ds<StringData3ds>(object)->text.assign(WrittenText3ds(camera.name));
    MarkObjectIndexStale3ds(db);
    if (ErrorPending3ds) {
        return;
    }
    // The camera's chunks all have ordering key 0: inserting in order appends them.
    Chunk3ds* cameraChunk = AddChunk3ds(object, kTagCamera3ds);
    if (ErrorPending3ds) {
        return;
    }
    auto* lens = GetChunkData3ds<CameraData3ds>(cameraChunk);
    lens->position = camera.position;
    lens->target = camera.target;
    lens->roll = camera.roll;
    lens->focalLength = kLensFactor / camera.fov; // single-precision division
    if (camera.showCone) {
        AddChunk3ds(cameraChunk, kTagCameraCone3ds);
        if (ErrorPending3ds) {
            return;
        }
    }
    auto* ranges = AddRecord3ds<CameraRangesData3ds>(cameraChunk, kTagCameraRanges3ds);
    if (ErrorPending3ds) {
        return;
    }
    ranges->nearRange = camera.nearRange;
    ranges->farRange = camera.farRange;
    if (extraData != nullptr) {
        AppendChild3ds(cameraChunk, std::move(extraData));
    }
}

} // namespace

void InitCamera3ds(std::unique_ptr<Camera3ds>* camera) {
    InitRecord3ds(camera);
}

void ReleaseCamera3ds(std::unique_ptr<Camera3ds>* camera) {
    ReleaseRecord3ds(camera);
}

void PutCamera3ds(Database3ds* db, const Camera3ds* camera) {
    // Cameras go into mesh files only.
    if (!CheckPutTarget3ds(db, camera, {kTagMeshFile3ds})) {
        return;
    }
    if (!FitsCapacity3ds(camera->name, kCameraNameCapacity3ds)) {
        RaiseError3ds(ERR_STRING_TOO_LONG);
        return;
    }
    // The focal length would be a division by zero.
    if (camera->fov == 0.0f) {
        RaiseError3ds(ERR_INVALID_DATA);
        return;
    }
    GuardAllocations3ds([&] { PutCameraChunks(db, *camera); });
}
