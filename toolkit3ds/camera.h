#pragma once
// Cameras: a plain Camera3ds record that PutCamera3ds turns into a named
// object (0x4000) holding a camera chunk (0x4700) in the 3D editor section.
// The record holds the lens as a field of view; the file holds a focal length.
//
// Use: InitCamera3ds(&camera), fill the record, PutCamera3ds(db, camera.get()),
// ReleaseCamera3ds(&camera). The put copies what it needs.
//
// Failures follow errors.h: the operation raises a code and returns at once.
// Nothing is rolled back.

#include "toolkit3ds/chunk_tree.h"
#include "toolkit3ds/file_io.h"

#include <cstdint>
#include <memory>
#include <string>

// --- Records -------------------------------------------------------------------

inline constexpr uint32_t kCameraNameCapacity3ds = 10; // longest name, in characters

// The member initialisers are the values InitCamera3ds sets.
struct Camera3ds {
    std::string name; // at most 10 characters
    Point3ds position;
    Point3ds target{1, 1, 1};
    float roll = 0;        // degrees
    float fov = 45;        // field of view, degrees; never 0
    bool showCone = false; // writes the cone flag 0x4710
    float nearRange = 10;
    float farRange = 1000;
};

// --- Operations --------------------------------------------------------------------

// Creates a record when *camera holds none, then sets every field to its
// initial value. ERR_INVALID_ARG for a missing reference, ERR_NO_MEM.
void InitCamera3ds(std::unique_ptr<Camera3ds>* camera);
// Frees the record and empties the reference. A missing or empty reference
// does nothing.
void ReleaseCamera3ds(std::unique_ptr<Camera3ds>* camera);

// Puts the camera into the 3D editor section (made when absent) as a new named
// object, inserted after the objects already there. An object of the same
// name, of any kind, is emptied (tag 0, no longer written) and left in its
// place; an extra-data chunk (0x8000) it held becomes the camera chunk's last
// child. The camera chunk holds position, target, roll and the focal length
// 2400 / fov (single precision); its children are the cone flag (when
// showCone), the ranges 0x4720 and the kept extra data.
// Fails before changing anything: ERR_INVALID_ARG for a missing argument,
// ERR_INVALID_DATABASE without a root, ERR_WRONG_DATABASE for a root other than
// 0x4D4D (cameras go into mesh files only), ERR_STRING_TOO_LONG for a name over
// 10 characters, ERR_INVALID_DATA for a fov of 0. Later, what the tree
// operations raise (the old object may then already be emptied).
void PutCamera3ds(Database3ds* db, const Camera3ds* camera);
