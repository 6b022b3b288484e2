#pragma once
// The scene records around the mesh objects: the mesh settings with the
// ambient light, a gradient background and the camera "Camera1" looking at
// the model origin, put before the first mesh object; and a viewport looking
// through that camera, put after the last one. Every field not set here keeps
// the toolkit's default.
//
// Both operations stop at the first toolkit error and leave it pending; the
// record in hand is then not released and later records are not made.

#include "toolkit3ds/chunk_tree.h"

inline constexpr const char* kCameraName = "Camera1";

// Mesh settings (ambient light 0.7 grey), background (gradient from 0.7 grey
// at the top through 0.5 grey at the midpoint 0.5 to black, active) and camera
// (position (-38, -80, 25), target (0, 0, 0), roll 0, field of view 60
// degrees, cone shown, ranges 40 and 90), each initialised, put and released
// in that order.
void PutSceneSettings(Database3ds* db);

// The viewport: a camera view through "Camera1". Initialised, put and released.
void PutCameraViewport(Database3ds* db);
