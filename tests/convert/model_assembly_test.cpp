#include "convert/model_assembly.h"

#include <bit>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::vector<uint32_t> Bits(const Point3ds& point) {
    return {std::bit_cast<uint32_t>(point.x), std::bit_cast<uint32_t>(point.y),
            std::bit_cast<uint32_t>(point.z)};
}

// A level vertex in model units, as the mesh building stores it.
Point3ds ModelUnits(double x, double y, double z) {
    return {static_cast<float>(x * 0.1), static_cast<float>(y * 0.1), static_cast<float>(z * 0.1)};
}

Point3ds Posed(Point3ds vertex, uint32_t meshNumber) {
    std::vector<Point3ds> vertices = {vertex};
    PoseVertices(vertices, ConvertPose(kPoseTable[meshNumber]));
    return vertices[0];
}

} // namespace

// Expected bits computed separately, step by step as documented. The end-to-end
// test poses every part; these pin the steps' rounding where it shows. A part
// without vertices is run through the run sequence's test.
TEST(Pose, PosesInSixStepsEachStoredAsFloats) {
    // The origin of the hips: the offset (0, -2, 0), turned about Y by
    // 3.141592653589 and about X by -1.5707963267945, ends near (0, 0, -2),
    // with the two constants' rounding left in y and x a positive zero.
    EXPECT_EQ(Bits(Posed({0, 0, 0}, 0)),
              (std::vector<uint32_t>{0x00000000, 0xAB5F48D3, 0xC0000000}));
    EXPECT_EQ(Bits(Posed({0, 0, 0}, 5)),
              (std::vector<uint32_t>{0xC0F00000, 0xBF800000, 0xC1B00000}));
    // A forearm vertex goes through all three part rotations.
    EXPECT_EQ(Bits(Posed(ModelUnits(123, -456, 789), 9)),
              (std::vector<uint32_t>{0xC24991F5, 0xC27DA33A, 0x427CEA44}));
    // A ponytail piece turns about X only.
    EXPECT_EQ(Bits(Posed(ModelUnits(-50, 20, -7), 35)),
              (std::vector<uint32_t>{0x40A00000, 0x412D4D56, 0x4037C914}));
}
