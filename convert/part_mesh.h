#pragma once
// Part mesh building: turns one level mesh into one unposed 3DS mesh object
// record. Decides the winding of every face, splits quads into two
// triangles, gives every face corner a vertex of its own so that texture
// coordinates can differ per face, computes the texture coordinates from the
// level's object textures, and groups the faces by material. On the way it
// puts the part's materials (materials.h) and has the bitmaps of its
// textures written (texture_bitmaps.h).
//
// Faces are laid out in four runs: the two triangles of every textured quad,
// the two of every coloured quad, then every textured triangle, then every
// coloured triangle, each run in the level's order. Vertices keep their level
// numbers (x 0.1, as floats); a vertex used by several corners is copied for
// every corner but the last one visited, in the order textured quads,
// textured triangles, coloured quads, coloured triangles, the copies numbered
// from the level's vertex count upwards.

#include <cstdint>
#include <memory>
#include <vector>

#include "level/level_data.h"
#include "toolkit3ds/chunk_tree.h"
#include "toolkit3ds/mesh_object.h"

struct ConversionContext;

inline constexpr uint16_t kFaceFlags = 7;         // all three edges visible
inline constexpr uint32_t kSmoothingGroup = 1;    // every face in smoothing group 1
inline constexpr double kLevelToModelUnits = 0.1; // a level coordinate in model units

// Reported with the system's text for ENOMEM when an array of the record
// cannot be allocated.
inline constexpr const char* kFacesAllocationMessage = "[err 1009] calloc() returned NULL";
inline constexpr const char* kMatGroupsAllocationMessage = "[err 1010] calloc() returned NULL";
inline constexpr const char* kSmoothGroupsAllocationMessage = "[err 1011] calloc() returned NULL";

// Builds the record of body part partNumber (its name from kBodyParts, its
// mesh colour the part number) from levelMesh, a mesh of the context's level
// (conversion_context.h), which must have passed CheckLevelForConversion.
// The record is created in *mesh by InitMeshObj3ds; the caller poses, puts
// and releases it.
//
// Requests the texture materials in ascending texture number before the
// record is made, then the colour materials of every coloured quad and
// triangle in order (repeats included), and the texture areas of the textured
// faces (the first request of a texture writes its bitmap). Uses and then
// clears the reverse-winding marks it sets on the level's faces; their other
// corner indices are left rewritten to the split vertex numbers.
//
// Without a database (db null) no material is put; whether the bitmaps are
// written is the context's choice (ConversionContext::writeBitmaps). When
// levelVertices is given it receives, for every vertex of the record, the
// number of the level vertex it was made from.
//
// Returns false, with the record partly made, when a toolkit error is pending
// after InitMeshObj3ds, or after a failure recorded in the context: a bitmap
// that cannot be written (its file name), or a failed allocation (ENOMEM) of
// the faces, smoothing groups or material groups (with the messages above) or
// of anything else ("building mesh \"<name>\""). Toolkit errors of the
// material puts are left pending for the caller.
bool BuildPartMesh(ConversionContext& context, Database3ds* db, MeshRecord& levelMesh,
                   uint32_t partNumber, std::unique_ptr<Mesh3ds>* mesh,
                   std::vector<uint16_t>* levelVertices = nullptr);
