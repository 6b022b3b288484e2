#include "convert/scene_setup.h"

#include <memory>

#include "toolkit3ds/camera.h"
#include "toolkit3ds/errors.h"
#include "toolkit3ds/scene_settings.h"
#include "toolkit3ds/viewport.h"

namespace {

inline constexpr float kAmbientLight = 0.7f;
inline constexpr float kGradientTop = 0.7f;
inline constexpr float kGradientMiddle = 0.5f;
inline constexpr float kGradientBottom = 0.0f;
inline constexpr float kGradientMidpoint = 0.5f;

// Camera, in model units and degrees.
inline constexpr Point3ds kCameraPosition = {-38.0f, -80.0f, 25.0f};
inline constexpr Point3ds kCameraTarget = {0.0f, 0.0f, 0.0f};
inline constexpr float kCameraRoll = 0.0f;
inline constexpr float kCameraFieldOfView = 60.0f;
inline constexpr float kCameraNearRange = 40.0f;
inline constexpr float kCameraFarRange = 90.0f;

} // namespace

void PutSceneSettings(Database3ds* db) {
    std::unique_ptr<MeshSettings3ds> settings;
    InitMeshSettings3ds(&settings);
    if (ErrorPending3ds) {
        return;
    }
    settings->ambientLight = {kAmbientLight, kAmbientLight, kAmbientLight};
    PutMeshSettings3ds(db, settings.get());
    if (ErrorPending3ds) {
        return;
    }
    ReleaseMeshSettings3ds(&settings);
    if (ErrorPending3ds) {
        return;
    }

    std::unique_ptr<Background3ds> background;
    InitBackground3ds(&background);
    if (ErrorPending3ds) {
        return;
    }
    background->gradientTop = {kGradientTop, kGradientTop, kGradientTop};
    background->gradientMiddle = {kGradientMiddle, kGradientMiddle, kGradientMiddle};
    background->gradientBottom = {kGradientBottom, kGradientBottom, kGradientBottom};
    background->gradientMidpoint = kGradientMidpoint;
    background->backgroundType = kBackgroundGradient3ds;
    PutBackground3ds(db, background.get());
    if (ErrorPending3ds) {
        return;
    }
    ReleaseBackground3ds(&background);
    if (ErrorPending3ds) {
        return;
    }

    std::unique_ptr<Camera3ds> camera;
    InitCamera3ds(&camera);
    if (ErrorPending3ds) {
        return;
    }
    camera->name = kCameraName;
    camera->position = kCameraPosition;
    camera->target = kCameraTarget;
    camera->roll = kCameraRoll;
    camera->fov = kCameraFieldOfView;
    camera->showCone = true;
    camera->nearRange = kCameraNearRange;
    camera->farRange = kCameraFarRange;
    PutCamera3ds(db, camera.get());
    if (ErrorPending3ds) {
        return;
    }
    ReleaseCamera3ds(&camera);
}

void PutCameraViewport(Database3ds* db) {
    std::unique_ptr<Viewport3ds> viewport;
    InitViewport3ds(&viewport);
    if (ErrorPending3ds) {
        return;
    }
    viewport->viewType = kViewCamera3ds;
    viewport->cameraName = kCameraName;
    PutViewport3ds(db, viewport.get());
    if (ErrorPending3ds) {
        return;
    }
    ReleaseViewport3ds(&viewport);
}
