#pragma once
// Double-precision geometry for model conversion: squares, distances and
// angles in one coordinate plane, a 3x4 affine matrix, the clearing of tiny
// components, and the face orientation test that decides which level faces
// have their corner order reversed. Nothing here allocates, keeps state or
// reports errors.
//
// The results feed byte-exact output, so every operation keeps the order of
// its floating-point operations as documented; the build must not fuse
// multiply-adds.

#include <array>
#include <cstdint>
#include <span>

#include "level/level_data.h"

// A point or direction, in double precision.
struct Vec3d {
    double x = 0.0, y = 0.0, z = 0.0;
};

// m[0..8]: a 3x3 matrix, row by row; m[9..11]: a translation. Maps (x, y, z)
// to (m0*x + m1*y + m2*z + m9, m3*x + m4*y + m5*z + m10, m6*x + m7*y + m8*z + m11).
struct AffineMatrix {
    std::array<double, 12> m{};
};

// The coordinate plane PlaneDistance measures in; the named coordinate is dropped.
enum class Plane {
    kXZ = 0, // y ignored
    kXY = 1, // z ignored
    kYZ = 2, // x ignored
};

// The axis of a rotation (PlaneAngle, SetRotation).
enum class Axis {
    kX = 0,
    kY = 1,
    kZ = 2,
};

// Bit 15 of a face's first corner: the face's corner order is to be reversed.
inline constexpr uint16_t kReverseWindingMark = 0x8000;
// The corner bits that hold the vertex number.
inline constexpr uint16_t kCornerVertexMask = 0x7FFF;

// x * x.
double Square(double x);

// Euclidean distance between a and b with one coordinate dropped:
// sqrt(Square(da) + Square(db)) over the two kept coordinates, in x, y, z order.
double PlaneDistance(const Vec3d& a, const Vec3d& b, Plane plane);

// The angle in radians (-pi/2..pi/2) of the rotation about axis that brings a
// point onto a coordinate axis or plane: about Y it brings first into the X-Y
// plane, about Z first onto the X axis, about X second into the X-Y plane.
// The arcsine takes the point's own coordinate over its distance from origin
// in the plane, so origin is expected at (0, 0, 0). A zero distance gives 0.0.
double PlaneAngle(const Vec3d& origin, const Vec3d& first, const Vec3d& second, Axis axis);

// All twelve elements to 0.0, then m0, m4 and m8 to 1.0.
void SetIdentity(AffineMatrix& matrix);

// SetIdentity, then the rotation by angle (radians) about axis, with
// c = cos(angle) and s = sin(angle):
//   about X: m4 = c, m5 = s, m7 = -s, m8 = c;
//   about Y: m0 = c, m2 = -s, m6 = s, m8 = c;
//   about Z: m0 = c, m1 = s, m3 = -s, m4 = c.
void SetRotation(AffineMatrix& matrix, Axis axis, double angle);

// out = the image of point under matrix, each coordinate summed as
// m0*x + m1*y + m2*z + m9 in that order. out must not alias point.
void TransformPoint(const Vec3d& point, const AffineMatrix& matrix, Vec3d& out);

// The matrix that maps a point as `first` and then `second` do.
AffineMatrix Compose(const AffineMatrix& second, const AffineMatrix& first);

// Sets to +0.0 every coordinate whose magnitude is not at least 1e-12,
// not-a-number included.
void SnapTinyToZero(std::span<Vec3d> points);

// Decides whether a face's corner order disagrees with its vertex normals and
// if so sets kReverseWindingMark on corners[0]; the mark is never cleared.
// Reads the first three corners (each taken as a whole 16-bit number) as
// indexes into vertices and normals, which the caller has checked to be in
// range. The face is moved so that corner 0 lies at the origin, corner 1 on
// the X axis and corner 2 in the X-Y plane; it keeps its order only when the
// normal at corner 0 and the winding normal (0, 0, P1.x * P2.y) both have a
// non-zero z of the same sign. Coinciding or collinear corners and a normal
// in the face's plane are marked. normals may hold packed light values
// instead (MeshRecord::normalsAreLightValues); they are read as triples the
// same way.
void TestFaceOrientation(std::span<const Vertex16> vertices, std::span<const Vertex16> normals,
                         std::span<uint16_t> corners);

// The same test for a quad: only its first three corners take part.
void TestQuadOrientation(std::span<const Vertex16> vertices, std::span<const Vertex16> normals,
                         std::span<uint16_t> corners);
