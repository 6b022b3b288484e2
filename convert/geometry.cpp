#include "convert/geometry.h"

#include <cassert>
#include <cmath>

namespace {

inline constexpr double kLevelToTestUnits = 0.01;      // vertex coordinate scale of the test
inline constexpr double kNormalUnit = 6.103515625e-05; // 1 / 16384: a normal of length 1
inline constexpr double kTinyComponent = 1e-12;        // below this a coordinate is zero
inline constexpr int kOrientationPoints = 6;           // P0, P1, P2, N0, N1, N2

void TransformInPlace(std::span<Vec3d> points, const AffineMatrix& matrix) {
    for (Vec3d& point : points) {
        Vec3d moved;
        TransformPoint(point, matrix, moved);
        point = moved;
    }
}

} // namespace

double Square(double x) {
    return x * x;
}

double PlaneDistance(const Vec3d& a, const Vec3d& b, Plane plane) {
    switch (plane) {
    case Plane::kXZ:
        return std::sqrt(Square(a.x - b.x) + Square(a.z - b.z));
    case Plane::kXY:
        return std::sqrt(Square(a.x - b.x) + Square(a.y - b.y));
    case Plane::kYZ:
        return std::sqrt(Square(a.y - b.y) + Square(a.z - b.z));
    }
    return 0.0;
}

double PlaneAngle(const Vec3d& origin, const Vec3d& first, const Vec3d& second, Axis axis) {
    switch (axis) {
    case Axis::kZ: {
        const double d = PlaneDistance(origin, first, Plane::kXY);
        if (d == 0.0) {
            return 0.0;
        }
        const double a = std::fabs(std::asin(first.y / d));
        const bool sameSign = (first.x > 0 && first.y > 0) || (first.x < 0 && first.y < 0);
        return sameSign ? a : -a;
    }
    case Axis::kY: {
        const double d = PlaneDistance(origin, first, Plane::kXZ);
        if (d == 0.0) {
            return 0.0;
        }
        const double a = std::fabs(std::asin(first.z / d));
        const bool oppositeSigns = (first.x > 0 && first.z < 0) || (first.x < 0 && first.z > 0);
        return oppositeSigns ? a : -a;
    }
    case Axis::kX: {
        const double d = PlaneDistance(origin, second, Plane::kYZ);
        if (d == 0.0) {
            return 0.0;
        }
        const double a = std::fabs(std::asin(second.z / d));
        const bool oppositeSigns = (second.y < 0 && second.z > 0) || (second.y > 0 && second.z < 0);
        return oppositeSigns ? -a : a;
    }
    }
    return 0.0;
}

void SetIdentity(AffineMatrix& matrix) {
    matrix.m.fill(0.0);
    matrix.m[0] = 1.0;
    matrix.m[4] = 1.0;
    matrix.m[8] = 1.0;
}

AffineMatrix Compose(const AffineMatrix& second, const AffineMatrix& first) {
    const auto& a = second.m;
    const auto& b = first.m;
    AffineMatrix out;
    for (size_t row = 0; row < 3; ++row) {
        for (size_t column = 0; column < 3; ++column) {
            out.m[row * 3 + column] = a[row * 3] * b[column] + a[row * 3 + 1] * b[3 + column] +
                                      a[row * 3 + 2] * b[6 + column];
        }
        out.m[9 + row] =
            a[row * 3] * b[9] + a[row * 3 + 1] * b[10] + a[row * 3 + 2] * b[11] + a[9 + row];
    }
    return out;
}

void SetRotation(AffineMatrix& matrix, Axis axis, double angle) {
    SetIdentity(matrix);
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    auto& m = matrix.m;
    switch (axis) {
    case Axis::kX:
        m[4] = c;
        m[5] = s;
        m[7] = -s;
        m[8] = c;
        break;
    case Axis::kY:
        m[0] = c;
        m[2] = -s;
        m[6] = s;
        m[8] = c;
        break;
    case Axis::kZ:
        m[0] = c;
        m[1] = s;
        m[3] = -s;
        m[4] = c;
        break;
    }
}

void TransformPoint(const Vec3d& point, const AffineMatrix& matrix, Vec3d& out) {
    assert(&point != &out);
    const auto& m = matrix.m;
    out.x = m[0] * point.x + m[1] * point.y + m[2] * point.z + m[9];
    out.y = m[3] * point.x + m[4] * point.y + m[5] * point.z + m[10];
    out.z = m[6] * point.x + m[7] * point.y + m[8] * point.z + m[11];
}

void SnapTinyToZero(std::span<Vec3d> points) {
    for (Vec3d& point : points) {
        for (double* value : {&point.x, &point.y, &point.z}) {
            // Written so that not-a-number counts as tiny.
            if (!(std::fabs(*value) >= kTinyComponent)) {
                *value = 0.0;
            }
        }
    }
}

void TestFaceOrientation(std::span<const Vertex16> vertices, std::span<const Vertex16> normals,
                         std::span<uint16_t> corners) {
    assert(corners.size() >= 3);
    // points[0..2]: the corners P0..P2; points[3..5]: the normal tips N0..N2.
    std::array<Vec3d, kOrientationPoints> points;
    for (int i = 0; i < 3; ++i) {
        const uint16_t k = corners[i];
        assert(k < vertices.size() && k < normals.size());
        const Vertex16& v = vertices[k];
        const Vertex16& n = normals[k];
        Vec3d& p = points[i];
        p.x = v.x * kLevelToTestUnits;
        p.y = v.y * kLevelToTestUnits;
        p.z = v.z * kLevelToTestUnits;
        Vec3d& tip = points[3 + i];
        tip.x = p.x + n.x * kNormalUnit;
        tip.y = p.y + n.y * kNormalUnit;
        tip.z = p.z + n.z * kNormalUnit;
    }
    const Vec3d& p0 = points[0];
    const Vec3d& p1 = points[1];
    const Vec3d& p2 = points[2];
    const Vec3d& n0 = points[3];

    AffineMatrix matrix;
    SetIdentity(matrix);
    matrix.m[9] = -p0.x;
    matrix.m[10] = -p0.y;
    matrix.m[11] = -p0.z;
    TransformInPlace(points, matrix);

    // Each angle is taken from the points as the previous rotation left them.
    SetRotation(matrix, Axis::kY, PlaneAngle(p0, p1, p2, Axis::kY));
    TransformInPlace(points, matrix);
    SetRotation(matrix, Axis::kZ, PlaneAngle(p0, p1, p2, Axis::kZ));
    TransformInPlace(points, matrix);
    SetRotation(matrix, Axis::kX, PlaneAngle(p0, p1, p2, Axis::kX));
    TransformInPlace(points, matrix);

    SnapTinyToZero(std::span(points).first(3));
    SnapTinyToZero(std::span(points).last(3));

    // The face lies in the X-Y plane now with the winding normal (0, 0, P1.x * P2.y).
    const bool windingUp = (p1.x > 0 && p2.y > 0) || (p1.x < 0 && p2.y < 0);
    const bool windingDown = (p1.x > 0 && p2.y < 0) || (p1.x < 0 && p2.y > 0);
    const bool agrees = (n0.z > 0 && windingUp) || (n0.z < 0 && windingDown);
    if (!agrees) {
        corners[0] |= kReverseWindingMark;
    }
}

void TestQuadOrientation(std::span<const Vertex16> vertices, std::span<const Vertex16> normals,
                         std::span<uint16_t> corners) {
    TestFaceOrientation(vertices, normals, corners);
}
