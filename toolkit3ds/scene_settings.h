#pragma once
// Scene settings of the 3D editor section (0x3D3D): MeshSettings3ds (master
// scale, shadow settings, ambient light, constants point) and Background3ds
// (bitmap, solid-colour and gradient backgrounds and which one is active).
//
// Use: Init…3ds(&record), change values, Put…3ds(db, record.get()),
// Release…3ds(&record). A put resets the chunks it writes that already exist,
// in their places (their old children are freed), and adds the missing ones
// in key order; nothing is duplicated.
//
// Failures follow errors.h: the operation raises a code and returns at once.
// Chunks reset before a failure stay as they are; nothing is rolled back.

#include "toolkit3ds/chunk_data.h"
#include "toolkit3ds/chunk_tree.h"
#include "toolkit3ds/file_io.h"

#include <cstdint>
#include <memory>
#include <string>

// --- Records -------------------------------------------------------------------

// Colours are red, green, blue floats from 0.0 to 1.0 (ColorFloatData3ds).

// The member initialisers are the values InitMeshSettings3ds sets.
struct MeshSettings3ds {
    float masterScale = 1;                                        // 0x0100
    float shadowBias = 1;                                         // 0x1400
    float rayTraceBias = 1;                                       // 0x1460
    int16_t shadowMapSize = 512;                                  // 0x1420
    float shadowFilter = 3;                                       // 0x1450
    ColorFloatData3ds ambientLight{0.39216f, 0.39216f, 0.39216f}; // 0x2100
    Point3ds constPoint;                                          // 0x1500
};

// Background kinds (backgroundType).
inline constexpr uint32_t kBackgroundNone3ds = 0;
inline constexpr uint32_t kBackgroundSolid3ds = 1;
inline constexpr uint32_t kBackgroundGradient3ds = 2;
inline constexpr uint32_t kBackgroundBitmap3ds = 3;

// The member initialisers are the values InitBackground3ds sets.
struct Background3ds {
    std::string bitmapName;        // 0x1100; empty: none
    ColorFloatData3ds solidColor;  // 0x1200
    float gradientMidpoint = 0.5f; // 0x1300
    ColorFloatData3ds gradientTop, gradientMiddle, gradientBottom;
    uint32_t backgroundType = kBackgroundNone3ds; // selects the active background
};

// --- Operations --------------------------------------------------------------------

// Creates a record when *settings holds none, then sets every field to its
// default. ERR_INVALID_ARG for a missing reference, ERR_NO_MEM.
void InitMeshSettings3ds(std::unique_ptr<MeshSettings3ds>* settings);
// Frees the record and empties the reference. ERR_INVALID_ARG for a missing reference.
void ReleaseMeshSettings3ds(std::unique_ptr<MeshSettings3ds>* settings);
// Writes the settings into the 3D editor section (made when absent): resets or
// adds 0x3D3E (a new record; the defaults refresh before a write stores the
// mesh version), 0x0100, 0x1400, 0x1420, 0x1450, 0x1460, 0x2100 (children
// 0x0010 and 0x0013 with the ambient light) and 0x1500. Fails before changing
// anything: ERR_INVALID_ARG for a missing argument, ERR_INVALID_DATABASE
// without a root, ERR_WRONG_DATABASE for a root other than 0x4D4D or 0xC23D.
void PutMeshSettings3ds(Database3ds* db, const MeshSettings3ds* settings);

// Creates a record when *background holds none, then sets every field to its
// default. ERR_INVALID_ARG for a missing reference, ERR_NO_MEM.
void InitBackground3ds(std::unique_ptr<Background3ds>* background);
// Frees the record and empties the reference. A missing or empty reference
// does nothing.
void ReleaseBackground3ds(std::unique_ptr<Background3ds>* background);
// Writes all three backgrounds into the 3D editor section (made when absent),
// whatever the type: 0x1100 with the bitmap name (empty text for none), 0x1200
// with 0x0010 and 0x0013 of the solid colour, 0x1300 with the midpoint and
// 0x0010 and 0x0013 of the top, middle and bottom colours. Then the active
// marker: an old one (0x1101, else 0x1201, else 0x1301) is emptied (tag 0) and,
// unless the type is 0, takes the type's tag (1: 0x1201, 2: 0x1301, 3: 0x1101)
// in its place, or a new bare marker is inserted. Fails before changing
// anything as PutMeshSettings3ds, and with ERR_INVALID_DATA for a type above 3.
void PutBackground3ds(Database3ds* db, const Background3ds* background);
