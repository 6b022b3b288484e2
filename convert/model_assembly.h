#pragma once
// Model assembly: fills a new mesh database with the whole scene. The scene
// settings and the camera come first, then one mesh object per body part
// (body_parts.h), each built from its level mesh (part_mesh.h) and moved into
// its place in a fixed standing pose, and last the viewport.
//
// The pose is given per level mesh as offsets (in tenths of model units) and
// angles (in degrees) and converted once per run. A vertex is posed in six
// steps, each applied to every vertex of the part before the next one starts
// and each ending in a store to 32-bit floats: rotations about X (by the
// negated x angle), Y and Z, the offsets added, a rotation about Y by
// 3.141592653589 and one about X by -1.5707963267945. Every step is done
// literally, zero angles included, so that signed zeros and last bits are
// reproducible.

#include <array>
#include <cstddef>
#include <span>

#include "convert/geometry.h"
#include "level/level_data.h"
#include "toolkit3ds/chunk_tree.h"
#include "toolkit3ds/file_io.h"

struct ConversionContext;

// One row of the pose table: offsets x, y, z, then angles about x, y and z.
struct PoseRecord {
    double offsetX = 0, offsetY = 0, offsetZ = 0;
    double angleX = 0, angleY = 0, angleZ = 0;
};

// The pose table as given, indexed by level mesh number: offsets in
// hundreds of level units, angles in degrees. Rows 15 to 29 are unused.
extern const std::array<PoseRecord, 36> kPoseTable;

// A pose row in the units the posing uses: offsets x 10.0 (model units);
// angles x 3.141592653589, then x 0.005555555555555556 (radians), the x
// angle with -0.005555555555555556 (so negated).
PoseRecord ConvertPose(const PoseRecord& given);

// Poses the vertices with a converted pose row, in the six steps above.
void PoseVertices(std::span<Point3ds> vertices, const PoseRecord& pose);

// The same pose as one matrix, composed in double (PoseVertices stores
// floats after every step, so its results may differ in the last bits).
AffineMatrix PoseMatrix(const PoseRecord& pose);

// Fills db from the context's level: mesh settings, background and camera;
// for each body part in order, its mesh built, its local axes set by
// CenterMeshMatrix3ds, its vertices posed, its origin set to 0, then put and
// released; last the viewport.
//
// The level must have passed CheckLevelForConversion; the reverse-winding
// marks and split corner numbers are written into its faces. Returns early,
// with the scene partly built and the error pending, after the first toolkit
// Init, Put or Release that leaves ErrorPending3ds set (CenterMeshMatrix3ds
// and the material puts are not checked on their own, so their errors stop
// the run at the next check). Returns early too, with context.failure set,
// when an allocation fails or a bitmap cannot be written; that failure takes
// precedence over any toolkit error left pending.
void ConvertModel(ConversionContext& context, Database3ds* db);
