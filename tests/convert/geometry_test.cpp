#include "convert/geometry.h"

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Runs the orientation test on a lone triangle with corner-0 normal n0 and
// reports whether it was marked; the corner numbers must stay untouched.
bool IsMarked(Vertex16 a, Vertex16 b, Vertex16 c, Vertex16 n0) {
    const std::vector<Vertex16> vertices = {a, b, c};
    const std::vector<Vertex16> normals = {n0, {}, {}};
    std::array<uint16_t, 3> corners{0, 1, 2};
    TestFaceOrientation(vertices, normals, corners);
    EXPECT_EQ(corners[0] & kCornerVertexMask, 0);
    EXPECT_EQ(corners[1], 1);
    EXPECT_EQ(corners[2], 2);
    return (corners[0] & kReverseWindingMark) != 0;
}

} // namespace

// The orientation test's marks come out the same for either sign of these
// quarter turns, so the generated triangles below cannot tell them apart.
TEST(Geometry, PlaneAngleOfAPointOnAnAxisHasTheStatedSign) {
    constexpr double kHalfPi = std::numbers::pi / 2;
    EXPECT_DOUBLE_EQ(PlaneAngle({}, {0, 5, 9}, {}, Axis::kZ), -kHalfPi);
    EXPECT_DOUBLE_EQ(PlaneAngle({}, {0, 9, 5}, {}, Axis::kY), -kHalfPi);
    EXPECT_DOUBLE_EQ(PlaneAngle({}, {}, {9, 0, 5}, Axis::kX), kHalfPi);
    EXPECT_DOUBLE_EQ(PlaneAngle({}, {}, {9, 0, -5}, Axis::kX), kHalfPi);
    EXPECT_EQ(PlaneAngle({}, {0, 0, 7}, {}, Axis::kZ), 0.0);
    // The arcsine takes the point's own coordinate: 5 / 5 here, not (5 - 1) / 5.
    EXPECT_EQ(PlaneAngle({0, 1, 0}, {3, 5, 0}, {}, Axis::kZ), kHalfPi);
}

TEST(Geometry, TransformPointSumsInStatedOrderWithoutFusing) {
    AffineMatrix m;
    m.m = {1e16, 1, -1e16, 0, 1, 0, 0, 0, 1, 1, 0.5, -0.25};
    Vec3d out;
    // ((1e16 + 1) - 1e16) + 1: the first 1 is lost.
    TransformPoint({1, 1, 1}, m, out);
    EXPECT_EQ(out.x, 1.0);
    EXPECT_EQ(out.y, 1.5);
    EXPECT_EQ(out.z, 0.75);

    // A fused multiply-add would keep the 2^-60 that the rounded product drops.
    const double e = std::ldexp(1.0, -30);
    SetIdentity(m);
    m.m[0] = 1 + e;
    m.m[9] = -(1 + 2 * e);
    TransformPoint({1 + e, 0, 0}, m, out);
    EXPECT_EQ(out.x, 0.0);
}

TEST(Geometry, SnapTinyToZeroClearsBelowTheThresholdAndNotANumber) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<Vec3d> points = {{9.9e-13, -9.9e-13, 1e-12}, {-1e-12, nan, -0.0}, {1e-300, 0, 0}};
    SnapTinyToZero(std::span(points).first(2));
    EXPECT_EQ(
        (std::vector<double>{points[0].x, points[0].y, points[0].z, points[1].x, points[1].y}),
        (std::vector<double>{0, 0, 1e-12, -1e-12, 0}));
    EXPECT_FALSE(std::signbit(points[1].z));
    EXPECT_EQ(points[2].x, 1e-300); // beyond the span
}

TEST(Geometry, OrientationOfManyGeneratedTrianglesFollowsTheNormal) {
    std::mt19937 random(20240611);
    auto next = [&](int limit) {
        return static_cast<int16_t>(static_cast<int>(random() % (2 * limit + 1)) - limit);
    };
    int kept = 0, reversed = 0, degenerate = 0;
    for (int i = 0; i < 6000; ++i) {
        const int limit = i % 2 == 0 ? 32767 : 300;
        Vertex16 v[3];
        for (Vertex16& p : v) {
            p = {next(limit), next(limit), next(limit)};
        }
        Vertex16 n{next(16384), next(16384), next(16384)};
        if (i % 10 == 0) { // coinciding corners: 0 and 1, 0 and 2, or 1 and 2
            v[i / 10 % 3 == 0 ? 1 : 2] = v[i / 10 % 3 == 2 ? 1 : 0];
        } else if (i % 10 == 1) { // collinear corners: v0, v0 + d, v0 + 3d
            for (int16_t Vertex16::*c : {&Vertex16::x, &Vertex16::y, &Vertex16::z}) {
                const int16_t d = next(100);
                v[0].*c = static_cast<int16_t>(v[0].*c / 2);
                v[1].*c = static_cast<int16_t>(v[0].*c + d);
                v[2].*c = static_cast<int16_t>(v[0].*c + 3 * d);
            }
        } else if (i % 10 == 2) {
            n = {};
        }

        // The exact sign of (winding normal . normal), in integers.
        const int64_t ax = v[1].x - v[0].x, ay = v[1].y - v[0].y, az = v[1].z - v[0].z;
        const int64_t bx = v[2].x - v[0].x, by = v[2].y - v[0].y, bz = v[2].z - v[0].z;
        const int64_t cx = ay * bz - az * by, cy = az * bx - ax * bz, cz = ax * by - ay * bx;
        const int64_t dot = cx * n.x + cy * n.y + cz * n.z;
        const double crossLength = std::hypot(double(cx), double(cy), double(cz));
        const double normalLength = std::hypot(double(n.x), double(n.y), double(n.z));

        const bool marked = IsMarked(v[0], v[1], v[2], n);
        if (crossLength == 0 || normalLength == 0) {
            EXPECT_TRUE(marked) << "degenerate triangle " << i;
            ++degenerate;
        } else if (std::fabs(double(dot)) > 1e-6 * crossLength * normalLength) {
            EXPECT_EQ(marked, dot < 0) << "triangle " << i;
            ++(dot < 0 ? reversed : kept);
        }
    }
    EXPECT_GT(kept, 1500);
    EXPECT_GT(reversed, 1500);
    EXPECT_GT(degenerate, 1000);
}
