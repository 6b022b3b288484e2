#pragma once
// Viewports: one Viewport3ds record describes a single view (its kind,
// rectangle, zoom and target, or the camera it looks through). PutViewport3ds
// writes from it the viewport layout (0x7001) of the 3D editor section and of
// the keyframer section, and the default view (0x3000) of the 3D editor
// section, replacing what is there.
//
// Use: InitViewport3ds(&viewport), change values, PutViewport3ds(db,
// viewport.get()), ReleaseViewport3ds(&viewport).
//
// Failures follow errors.h: the operation raises a code and returns at once.
// What was built before a failure stays; nothing is rolled back.

#include "toolkit3ds/chunk_tree.h"
#include "toolkit3ds/file_io.h"

#include <cstdint>
#include <memory>
#include <string>

// --- Records -------------------------------------------------------------------

// View kinds (viewType). The ninth kind is known to the layout only: its
// entries hold view code 18 with zoom, centre and angles 0 and no camera, and
// the default view stays empty.
inline constexpr uint32_t kViewTop3ds = 1;
inline constexpr uint32_t kViewBottom3ds = 2;
inline constexpr uint32_t kViewLeft3ds = 3;
inline constexpr uint32_t kViewRight3ds = 4;
inline constexpr uint32_t kViewFront3ds = 5;
inline constexpr uint32_t kViewBack3ds = 6;
inline constexpr uint32_t kViewUser3ds = 7;
inline constexpr uint32_t kViewCamera3ds = 8;
inline constexpr uint32_t kViewNinth3ds = 9;

// View codes of the viewport entries: the view type for types 1..7, then these.
inline constexpr uint16_t kViewCodeCamera3ds = 0xFFFF;
inline constexpr uint16_t kViewCodeNinth3ds = 18;

inline constexpr uint32_t kViewportCameraNameCapacity3ds = 10; // in characters

// The member initialisers are the values InitViewport3ds sets.
struct Viewport3ds {
    uint32_t viewType = kViewTop3ds;                         // 1..9
    uint16_t left = 0, top = 0, width = 1000, height = 1000; // the view's rectangle
    Point3ds orthoTarget;                                    // centre of the six orthographic views
    float orthoZoom = 0.7395f;                               // never 0 for those views
    Point3ds userTarget;
    float userZoom = 0.7395f;                      // never 0 for the user view
    float userHorizAngle = 20, userVertAngle = 30; // degrees
    std::string cameraName; // the camera view's camera, at most 10 characters
};

// --- Operations --------------------------------------------------------------------

// Creates a record when *viewport holds none, then sets every field to its
// initial value. ERR_INVALID_ARG for a missing reference, ERR_NO_MEM.
void InitViewport3ds(std::unique_ptr<Viewport3ds>* viewport);
// Frees the record and empties the reference. A missing or empty reference
// does nothing.
void ReleaseViewport3ds(std::unique_ptr<Viewport3ds>* viewport);

// Writes the layout under the 3D editor section and the default view there,
// then the layout under the keyframer section; either section is made when the
// root has no such direct child. Fails before changing anything:
// ERR_INVALID_ARG for a missing argument, ERR_INVALID_DATABASE without a root,
// ERR_WRONG_DATABASE for a root other than 0x4D4D or 0xC23D, ERR_INVALID_DATA
// for a view type outside 1..9 or a zoom of 0 that the default view divides
// by, ERR_STRING_TOO_LONG for a camera view's name over 10 characters.
void PutViewport3ds(Database3ds* db, const Viewport3ds* viewport);

// The section's layout 0x7001 (emptied in place, or added): the layout shorts
// 0, 0, 1, 0, 0, 0, 0; then 0x7020 with the rectangle, five 0x7012 and five
// 0x7011 entries, all alike: states 1 and 0, the rectangle, the view code
// (1..7 the view type, 0xFFFF camera, 18 the ninth kind), zoom, centre, angles
// and camera name of the view (20 and 30 degrees for the orthographic views).
// ERR_INVALID_ARG for a missing argument; the viewport checks of PutViewport3ds.
void PutViewportLayout3ds(Chunk3ds* section, const Viewport3ds* viewport);
// For a 3D editor section only: the default view 0x3000, emptied in place or
// added, with the view chunk of the type: 0x3010..0x3060 (target, width /
// orthoZoom), 0x3070 (target, width / userZoom, the angles, back angle 0) or
// 0x3080 (camera name); the ninth kind leaves it empty. Widths are divided in
// single precision. Errors as PutViewportLayout3ds.
void PutDefaultView3ds(Chunk3ds* section, const Viewport3ds* viewport);
