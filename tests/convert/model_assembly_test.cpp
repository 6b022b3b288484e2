#include "convert/model_assembly.h"

#include <bit>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/body_parts.h"
#include "convert/current_level.h"
#include "convert/texture_bitmaps.h"
#include "tests/support/character_levels.h"
#include "tests/support/temp_dir.h"
#include "tests/support/toolkit_state.h"
#include "tests/support/tree_outline.h"
#include "toolkit3ds/chunk_tags.h"
#include "toolkit3ds/errors.h"

namespace {

std::vector<uint64_t> Bits(const PoseRecord& pose) {
    return {std::bit_cast<uint64_t>(pose.offsetX), std::bit_cast<uint64_t>(pose.offsetY),
            std::bit_cast<uint64_t>(pose.offsetZ), std::bit_cast<uint64_t>(pose.angleX),
            std::bit_cast<uint64_t>(pose.angleY),  std::bit_cast<uint64_t>(pose.angleZ)};
}

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

// The names of the named objects under the 3D editor section, in order.
std::vector<std::string> ObjectNames(Database3ds& db) {
    std::vector<std::string> names;
    for (Chunk3ds* child : Children(FindChunk(db.root.get(), kTagEditor3ds))) {
        if (child->tag == kTagNamedObject3ds) {
            names.push_back(GetChunkData3ds<StringData3ds>(child)->text);
        }
    }
    return names;
}

class ModelAssembly : public ToolkitTest {
protected:
    void SetUp() override {
        ToolkitTest::SetUp();
        ResetTextureAreaCache();
    }
    void TearDown() override {
        ResetTextureAreaCache();
        ClearCurrentLevel();
        ToolkitTest::TearDown();
    }

    ScopedTempDir dir;
    std::unique_ptr<Database3ds> db = MakeDatabase();
};

} // namespace

// Expected bits computed separately, step by step as documented.
TEST(Pose, ConvertsTheTableWithTheConstantsAsWritten) {
    // Offsets x 10; angles x 3.141592653589 x 0.005555555555555556, x negated.
    EXPECT_EQ(Bits(ConvertPose(kPoseTable[0])),
              (std::vector<uint64_t>{0x0000000000000000, 0xC000000000000000, 0x0000000000000000,
                                     0xC00921FB5444261E, 0x0000000000000000, 0x0000000000000000}));
    // -3.99999999, not -4.
    EXPECT_EQ(Bits(ConvertPose(kPoseTable[3])),
              (std::vector<uint64_t>{0x4029000000000000, 0xC043FFFFFF29406B, 0x3FE0000000000000,
                                     0xC00921FB5444261E, 0x0000000000000000, 0x0000000000000000}));
    EXPECT_EQ(Bits(ConvertPose(kPoseTable[9])),
              (std::vector<uint64_t>{0x4028000000000000, 0x4024000000000000, 0x3FF0000000000000,
                                     0xC00B3A259B49D3F6, 0x0000000000000000, 0x3FDBECDE5DA10DE8}));
    EXPECT_EQ(Bits(ConvertPose(kPoseTable[35])),
              (std::vector<uint64_t>{0x0000000000000000, 0x4000000000000000, 0x4021CCCCCCCCCCCD,
                                     0xBFF7BC89CF95B239, 0x0000000000000000, 0x0000000000000000}));
}

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

TEST_F(ModelAssembly, PutsThePartsInOrderBetweenTheCameraAndTheViewport) {
    LevelData level = LoadDescribedLevel(SmallCharacterLevel());
    ConvertModel(db.get(), level);
    ASSERT_FALSE(ErrorPending3ds);

    std::vector<std::string> expected = {"Camera1"};
    for (const BodyPart& part : kBodyParts) {
        expected.push_back(part.name);
    }
    EXPECT_EQ(ObjectNames(*db), expected);

    Chunk3ds* editor = FindChunk(db->root.get(), kTagEditor3ds);
    std::vector<Chunk3ds*> objects;
    for (Chunk3ds* child : Children(editor)) {
        if (child->tag == kTagNamedObject3ds) {
            objects.push_back(child);
        }
    }
    ASSERT_EQ(objects.size(), 22u);
    for (size_t part = 0; part < kBodyParts.size(); ++part) {
        Chunk3ds* object = objects[part + 1];
        EXPECT_EQ(FindRecord<ByteData3ds>(object, kTagMeshColor3ds)->value, part);
        // Identity axes; the origin is set to 0 after the centring.
        EXPECT_EQ(FindRecord<LocalAxesData3ds>(object, kTagLocalAxes3ds)->matrix,
                  (std::array<float, 12>{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));
    }
    // The hips' triangle, posed: (0, 0, 0) as above, (40, 0, 0) and (0, 30, 0).
    const std::vector<Point3ds>& hips =
        FindRecord<VertexListData3ds>(objects[1], kTagVertexList3ds)->vertices;
    ASSERT_EQ(hips.size(), 3u);
    EXPECT_EQ(Bits(hips[0]), Bits(Posed({0, 0, 0}, 0)));
    EXPECT_EQ(Bits(hips[1]), Bits(Posed(ModelUnits(40, 0, 0), 0)));
    EXPECT_EQ(Bits(hips[2]), Bits(Posed(ModelUnits(0, 30, 0), 0)));

    // The viewport comes last: its default view follows the objects' settings
    // and looks through the camera.
    EXPECT_EQ(TreeOutline(FindChunk(editor, kTagDefaultView3ds)), "3000(3080)");
    EXPECT_EQ(FindRecord<StringData3ds>(editor, kTagCameraView3ds)->text, "Camera1");
    EXPECT_NE(FindChunk(FindChunk(db->root.get(), kTagKeyframer3ds), kTagViewportLayout3ds),
              nullptr);
}

TEST_F(ModelAssembly, PartWithoutVerticesStopsTheRunAtItsPut) {
    LevelDescription description = SmallCharacterLevel();
    description.meshes[3] = BuilderMesh{}; // "L Foot"
    LevelData level = LoadDescribedLevel(description);
    ConvertModel(db.get(), level);

    // The centring raises the error; the put after it finds it pending.
    EXPECT_TRUE(ErrorPending3ds);
    EXPECT_EQ(RaisedErrors(), std::vector<int32_t>{ERR_INVALID_DATA});
    EXPECT_EQ(ObjectNames(*db), (std::vector<std::string>{"Camera1", "Hips", "L Thigh", "L Calf"}));
    EXPECT_EQ(FindChunk(db->root.get(), kTagDefaultView3ds), nullptr);
}
