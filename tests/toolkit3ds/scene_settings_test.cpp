#include "toolkit3ds/scene_settings.h"

#include "tests/support/tree_outline.h"
#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class SceneSettings : public ToolkitTest {};

// The settings and background as the converter puts them.
std::unique_ptr<MeshSettings3ds> ConverterSettings() {
    std::unique_ptr<MeshSettings3ds> settings;
    InitMeshSettings3ds(&settings);
    settings->ambientLight = {0.7f, 0.7f, 0.7f};
    return settings;
}

std::unique_ptr<Background3ds> ConverterBackground() {
    std::unique_ptr<Background3ds> background;
    InitBackground3ds(&background);
    background->gradientTop = {0.7f, 0.7f, 0.7f};
    background->gradientMiddle = {0.5f, 0.5f, 0.5f};
    background->backgroundType = kBackgroundGradient3ds;
    return background;
}

TEST_F(SceneSettings, SettingsFillTheSectionInKeyOrderAndResetInPlace) {
    auto db = MakeDatabase();
    Chunk3ds* section = Editor(*db);
    Chunk3ds* meshVersion = FindChunk(section, kTagMeshVersion3ds);
    PutMeshSettings3ds(db.get(), ConverterSettings().get());
    ASSERT_FALSE(ErrorPending3ds);
    EXPECT_EQ(TreeOutline(section), "3D3D(3D3E 0100 1400 1420 1450 1460 1500 2100(0010 0013))");
    EXPECT_EQ(EncodeChunk(FindChunk(section, kTagAmbientLight3ds)),
              Hex("0021 2A000000"                               // ambient light
                  "1000 12000000 3333333F 3333333F 3333333F"    // 0.7 as colour floats
                  "1300 12000000 3333333F 3333333F 3333333F")); // and as linear floats

    // A second put resets every chunk in its place, the mesh version included.
    const std::vector<Chunk3ds*> first = Children(section);
    auto changed = ConverterSettings();
    changed->ambientLight = {0.1f, 0.2f, 0.3f};
    changed->constPoint = {1, 2, 3};
    PutMeshSettings3ds(db.get(), changed.get());
    ASSERT_FALSE(ErrorPending3ds);

    EXPECT_EQ(Children(section), first);
    EXPECT_EQ(first[0], meshVersion);
    EXPECT_EQ(TreeOutline(FindChunk(section, kTagAmbientLight3ds)), "2100(0010 0013)");
    EXPECT_EQ(*FindRecord<ColorFloatData3ds>(section, kTagLinColorFloat3ds),
              (ColorFloatData3ds{0.1f, 0.2f, 0.3f}));
    EXPECT_EQ(FindRecord<PointData3ds>(section, kTagConstantsPoint3ds)->point, (Point3ds{1, 2, 3}));
}

// A solid black background and an empty bitmap name come before the gradient.
TEST_F(SceneSettings, ConverterBackgroundHasExactBytes) {
    auto db = MakeDatabase();
    PutMeshSettings3ds(db.get(), ConverterSettings().get());
    PutBackground3ds(db.get(), ConverterBackground().get());
    ASSERT_FALSE(ErrorPending3ds);
    Chunk3ds* section = Editor(*db);
    EXPECT_EQ(TreeOutline(section), "3D3D(3D3E 0100 1400 1420 1450 1460 1500 2100(0010 0013) "
                                    "1200(0010 0013) 1100 1300(0010 0013 0010 0013 0010 0013) "
                                    "1301)");
    EXPECT_EQ(EncodeChunk(FindChunk(section, kTagGradientBackground3ds)),
              Hex("0013 76000000 0000003F"                   // gradient, midpoint 0.5
                  "1000 12000000 3333333F 3333333F 3333333F" // top 0.7
                  "1300 12000000 3333333F 3333333F 3333333F" //
                  "1000 12000000 0000003F 0000003F 0000003F" // middle 0.5
                  "1300 12000000 0000003F 0000003F 0000003F" //
                  "1000 12000000 00000000 00000000 00000000" // bottom black
                  "1300 12000000 00000000 00000000 00000000"));
}

TEST_F(SceneSettings, BackgroundPutsReuseTheirChunksAndMarker) {
    auto db = MakeDatabase();
    Chunk3ds* section = Editor(*db);
    auto background = ConverterBackground();
    PutBackground3ds(db.get(), background.get());
    const std::vector<Chunk3ds*> first = Children(section);
    ASSERT_EQ(first.size(), 5u);
    Chunk3ds* marker = first[4];

    background->gradientTop = {1, 0, 0};
    PutBackground3ds(db.get(), background.get());
    EXPECT_EQ(Children(section), first);
    EXPECT_EQ(TreeOutline(section),
              "3D3D(3D3E 1200(0010 0013) 1100 1300(0010 0013 0010 0013 0010 0013) 1301)");
    EXPECT_EQ(*FindRecord<ColorFloatData3ds>(FindChunk(section, kTagGradientBackground3ds),
                                             kTagLinColorFloat3ds),
              (ColorFloatData3ds{1, 0, 0}));

    // Another type turns the marker in place.
    background->backgroundType = kBackgroundBitmap3ds;
    background->bitmapName = "sky.bmp";
    PutBackground3ds(db.get(), background.get());
    EXPECT_EQ(marker->tag, kTagUseBackgroundBitmap3ds);
    EXPECT_EQ(FindRecord<StringData3ds>(section, kTagBackgroundBitmap3ds)->text, "sky.bmp");
    background->backgroundType = kBackgroundSolid3ds;
    PutBackground3ds(db.get(), background.get());
    EXPECT_EQ(marker->tag, kTagUseSolidBackground3ds);

    // Type 0 leaves the old marker emptied; a later type makes a new one.
    background->backgroundType = kBackgroundNone3ds;
    PutBackground3ds(db.get(), background.get());
    EXPECT_EQ(marker->tag, kTagNone3ds);
    EXPECT_EQ(Children(section), first);
    background->backgroundType = kBackgroundGradient3ds;
    PutBackground3ds(db.get(), background.get());
    EXPECT_EQ(marker->tag, kTagNone3ds);
    EXPECT_EQ(Children(section).back()->tag, kTagUseGradientBackground3ds);
    EXPECT_FALSE(ErrorPending3ds);
}

// The checks shared by every put are tested in put_support_test.
TEST_F(SceneSettings, RefusedCallsChangeNothing) {
    auto db = MakeDatabase();
    const std::unique_ptr<Chunk3ds> before = CopyTree(db->root.get());
    auto unknownType = ConverterBackground();
    unknownType->backgroundType = 4;
    PutBackground3ds(db.get(), unknownType.get());
    InitMeshSettings3ds(nullptr);
    InitBackground3ds(nullptr);
    ReleaseMeshSettings3ds(nullptr);
    ReleaseBackground3ds(nullptr); // raises nothing, unlike the settings
    EXPECT_EQ(RaisedErrors(), (std::vector<int32_t>{ERR_INVALID_DATA, ERR_INVALID_ARG,
                                                    ERR_INVALID_ARG, ERR_INVALID_ARG}));
    EXPECT_TRUE(SameTree(db->root.get(), before.get()));
}

} // namespace
