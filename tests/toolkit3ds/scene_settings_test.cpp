#include "toolkit3ds/scene_settings.h"

#include "tests/support/tree_outline.h"
#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class SceneSettings : public ToolkitTest {};

// What the converter's settings and background write is in the golden file;
// the refusals are in put_support_test.
TEST_F(SceneSettings, SettingsFillTheSectionInKeyOrderAndResetInPlace) {
    auto db = MakeDatabase();
    Chunk3ds* section = Editor(*db);
    Chunk3ds* meshVersion = FindChunk(section, kTagMeshVersion3ds);
    std::unique_ptr<MeshSettings3ds> settings;
    InitMeshSettings3ds(&settings);
    PutMeshSettings3ds(db.get(), settings.get());
    ASSERT_FALSE(ErrorPending3ds);
    EXPECT_EQ(TreeOutline(section), "3D3D(3D3E 0100 1400 1420 1450 1460 1500 2100(0010 0013))");

    // A second put resets every chunk in its place, the mesh version included.
    const std::vector<Chunk3ds*> first = Children(section);
    settings->ambientLight = {0.1f, 0.2f, 0.3f};
    settings->constPoint = {1, 2, 3};
    PutMeshSettings3ds(db.get(), settings.get());
    ASSERT_FALSE(ErrorPending3ds);
    EXPECT_EQ(Children(section), first);
    EXPECT_EQ(first[0], meshVersion);
    EXPECT_EQ(TreeOutline(FindChunk(section, kTagAmbientLight3ds)), "2100(0010 0013)");
    EXPECT_EQ(*FindRecord<ColorFloatData3ds>(section, kTagLinColorFloat3ds),
              (ColorFloatData3ds{0.1f, 0.2f, 0.3f}));
    EXPECT_EQ(FindRecord<PointData3ds>(section, kTagConstantsPoint3ds)->point, (Point3ds{1, 2, 3}));
}

TEST_F(SceneSettings, BackgroundPutsReuseTheirChunksAndMarker) {
    auto db = MakeDatabase();
    Chunk3ds* section = Editor(*db);
    std::unique_ptr<Background3ds> background;
    InitBackground3ds(&background);
    background->backgroundType = kBackgroundGradient3ds;
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

} // namespace
