// The bundled sample level: it loads, its faces agree with their normals, and
// the converter's fixed pose puts its body parts together as one figure.

#include "tools/levelbuilder/sample_level.h"

#include <array>
#include <cmath>
#include <gtest/gtest.h>

#include "level/level_reader.h"

namespace {

constexpr std::array<int, 21> kBodyMeshes = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9, 10,
                                             11, 12, 13, 14, 30, 31, 32, 33, 34, 35};

const LevelData& Sample() {
    static const LevelLoadResult loaded = ReadLevel(BuildLevel(DescribeSampleLevel()).bytes);
    EXPECT_EQ(loaded.status, LevelLoadStatus::Loaded) << loaded.problem;
    return loaded.level;
}

struct Point {
    float x = 0, y = 0, z = 0;
};

// The converter's pose of one mesh: offsets in hundreds of level units,
// angles in degrees.
struct Pose {
    double offset[3];
    double angle[3];
};

Pose PoseOf(int mesh) {
    switch (mesh) {
    case 0:
        return {{0.0, -0.2, 0.0}, {180, 0, 0}};
    case 1:
        return {{-0.4, -0.48, 0.0}, {185, 0, 15}};
    case 2:
        return {{-0.75, -2.2, -0.2}, {175, 0, 14}};
    case 3:
        return {{1.25, -3.99999999, 0.05}, {180, 0, 0}};
    case 4:
        return {{0.4, -0.48, 0.0}, {185, 0, -15}};
    case 5:
        return {{0.75, -2.2, -0.1}, {175, 0, -14}};
    case 6:
        return {{-1.18, -3.99999999, 0.05}, {180, 0, 0}};
    case 7:
        return {{0.0, 0.3, -0.1}, {180, 0, 0}};
    case 8:
        return {{0.5, 1.7, 0.0}, {175, 0, -35}};
    case 9:
        return {{1.2, 1.0, 0.1}, {195, 0, 25}};
    case 10:
        return {{0.78, 0.12, -0.18}, {180, 0, 0}};
    case 11:
        return {{-0.5, 1.7, 0.0}, {175, 0, 35}};
    case 12:
        return {{-1.2, 1.0, 0.1}, {195, 0, -25}};
    case 13:
        return {{-0.78, 0.12, -0.18}, {180, 0, 0}};
    case 14:
        return {{0.05, 2.29, 0.2}, {180, 0, 0}};
    case 30:
        return {{0.0, 2.35, 0.72}, {70, 0, 0}};
    case 31:
        return {{0.0, 1.9, 0.89}, {90, 0, 0}};
    case 32:
        return {{0.0, 1.4, 0.89}, {90, 0, 0}};
    case 33:
        return {{0.0, 0.9, 0.89}, {90, 0, 0}};
    case 34:
        return {{0.0, 0.5, 0.89}, {90, 0, 0}};
    default:
        return {{0.0, 0.2, 0.89}, {85, 0, 0}};
    }
}

// One rotation step, computed in double and stored as floats.
Point Rotate(Point p, int axis, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    const double x = p.x, y = p.y, z = p.z;
    switch (axis) {
    case 0:
        return {float(x), float(c * y + s * z), float(-s * y + c * z)};
    case 1:
        return {float(c * x - s * z), float(y), float(s * x + c * z)};
    default:
        return {float(c * x + s * y), float(-s * x + c * y), float(z)};
    }
}

// A level vertex as the converter poses it: model units (x 0.1), rotations
// about x (negated angle), y and z, the offset (x 10), then the turn into the
// scene's z-up frame.
Point Posed(int mesh, const Vertex16& v) {
    const Pose pose = PoseOf(mesh);
    const double kToRadians = 3.141592653589 * 0.005555555555555556;
    Point p{float(v.x * 0.1), float(v.y * 0.1), float(v.z * 0.1)};
    p = Rotate(p, 0, -pose.angle[0] * kToRadians);
    p = Rotate(p, 1, pose.angle[1] * kToRadians);
    p = Rotate(p, 2, pose.angle[2] * kToRadians);
    p = {float(p.x + pose.offset[0] * 10.0), float(p.y + pose.offset[1] * 10.0),
         float(p.z + pose.offset[2] * 10.0)};
    p = Rotate(p, 1, 3.141592653589);
    return Rotate(p, 0, -1.5707963267945);
}

struct Box {
    double low[3];
    double high[3];
};

Box PosedBox(int mesh) {
    Box box{{1e9, 1e9, 1e9}, {-1e9, -1e9, -1e9}};
    for (const Vertex16& v : Sample().meshes[mesh].vertices) {
        const Point p = Posed(mesh, v);
        const double c[3] = {p.x, p.y, p.z};
        for (int i = 0; i < 3; ++i) {
            box.low[i] = std::min(box.low[i], c[i]);
            box.high[i] = std::max(box.high[i], c[i]);
        }
    }
    return box;
}

TEST(SampleLevel, HoldsEveryKindOfFaceOnTwoPages) {
    const LevelData& level = Sample();
    EXPECT_LT(BuildLevel(DescribeSampleLevel()).bytes.size(), 1u << 20);
    ASSERT_EQ(level.meshes.size(), kSampleMeshCount);
    EXPECT_EQ(level.numTexturePages(), 2u);
    size_t quads = 0, triangles = 0, colouredQuads = 0, colouredTriangles = 0;
    for (int number : kBodyMeshes) {
        const MeshRecord& mesh = level.meshes[number];
        EXPECT_EQ(mesh.normals.size(), mesh.vertices.size());
        quads += mesh.texturedQuads.size();
        triangles += mesh.texturedTriangles.size();
        colouredQuads += mesh.colouredQuads.size();
        colouredTriangles += mesh.colouredTriangles.size();
    }
    EXPECT_GT(quads * triangles * colouredQuads * colouredTriangles, 0u);
    for (size_t number = 36; number < kSampleMeshCount; ++number) {
        EXPECT_TRUE(level.meshes[number].normalsAreLightValues);
    }
}

TEST(SampleLevel, EveryFaceAgreesWithItsFirstCornersNormal) {
    const LevelData& level = Sample();
    for (int number : kBodyMeshes) {
        const MeshRecord& mesh = level.meshes[number];
        const auto check = [&](const auto& face) {
            const Vertex16& a = mesh.vertices[face.corners[0]];
            const Vertex16& b = mesh.vertices[face.corners[1]];
            const Vertex16& c = mesh.vertices[face.corners[2]];
            const double u[3] = {double(b.x - a.x), double(b.y - a.y), double(b.z - a.z)};
            const double v[3] = {double(c.x - a.x), double(c.y - a.y), double(c.z - a.z)};
            const double winding[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                                       u[0] * v[1] - u[1] * v[0]};
            const Vertex16& n = mesh.normals[face.corners[0]];
            EXPECT_GT(winding[0] * n.x + winding[1] * n.y + winding[2] * n.z, 0)
                << "mesh " << number;
        };
        std::for_each(mesh.texturedQuads.begin(), mesh.texturedQuads.end(), check);
        std::for_each(mesh.texturedTriangles.begin(), mesh.texturedTriangles.end(), check);
        std::for_each(mesh.colouredQuads.begin(), mesh.colouredQuads.end(), check);
        std::for_each(mesh.colouredTriangles.begin(), mesh.colouredTriangles.end(), check);
    }
}

TEST(SampleLevel, PosedPartsStandTogetherAsOneFigure) {
    // Expected boxes in the scene (model units, z up, her left at +x, facing -y).
    struct Expected {
        int mesh;
        Box box;
    };
    const Expected expected[] = {
        {0, {{-7.5, -4.5, -6.0}, {7.5, 4.5, 3.0}}},      // hips
        {1, {{0.5, -3.3, -23.0}, {7.1, 3.3, -3.0}}},     // left thigh
        {2, {{1.9, -2.4, -40.0}, {6.9, 2.6, -22.0}}},    // left calf
        {3, {{2.7, -7.5, -44.0}, {6.5, 2.5, -40.0}}},    // left foot
        {4, {{-7.1, -3.3, -23.0}, {-0.5, 3.3, -3.0}}},   // right thigh
        {5, {{-6.9, -2.4, -40.0}, {-1.9, 2.6, -22.0}}},  // right calf
        {6, {{-6.5, -7.5, -44.0}, {-2.7, 2.5, -40.0}}},  // right foot
        {7, {{-9.0, -4.8, 2.0}, {9.0, 4.2, 20.0}}},      // torso
        {8, {{-12.8, -2.1, 8.0}, {-8.2, 2.1, 19.5}}},    // right upper arm
        {9, {{-13.1, -1.6, -3.0}, {-9.7, 1.6, 8.5}}},    // right forearm
        {10, {{-12.9, -1.8, -9.5}, {-11.1, 1.6, -2.5}}}, // right hand
        {11, {{8.2, -2.1, 8.0}, {12.8, 2.1, 19.5}}},     // left upper arm
        {12, {{9.7, -1.6, -3.0}, {13.1, 1.6, 8.5}}},     // left forearm
        {13, {{11.1, -1.8, -9.5}, {12.9, 1.6, -2.5}}},   // left hand
        {14, {{-4.2, -4.4, 19.5}, {4.2, 4.4, 31.5}}},    // head
        {30, {{-1.8, 3.4, 23.0}, {1.8, 7.8, 28.5}}},     // ponytail, top to bottom
        {31, {{-1.6, 4.6, 18.5}, {1.6, 8.1, 23.5}}},
        {32, {{-1.5, 5.1, 14.0}, {1.5, 8.3, 19.0}}},
        {33, {{-1.4, 5.5, 9.5}, {1.4, 8.3, 14.5}}},
        {34, {{-1.3, 5.8, 5.5}, {1.3, 8.3, 10.0}}},
        {35, {{-1.1, 5.9, 2.0}, {1.1, 8.1, 6.0}}},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE("mesh " + std::to_string(e.mesh));
        const Box box = PosedBox(e.mesh);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(box.low[i], e.box.low[i], 0.1);
            EXPECT_NEAR(box.high[i], e.box.high[i], 0.1);
        }
    }
}

} // namespace
