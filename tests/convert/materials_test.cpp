// What the converter chooses for its materials; the whole record of a
// converter material is pinned by the toolkit's material test and by the
// end-to-end test.

#include "convert/materials.h"

#include <gtest/gtest.h>

#include "convert/conversion_context.h"
#include "tests/support/tree_outline.h"
#include "toolkit3ds/chunk_tags.h"
#include "toolkit3ds/errors.h"

namespace {

class Materials : public ToolkitTest {
protected:
    void SetUp() override {
        ToolkitTest::SetUp();
        level.palette[10] = {63, 32, 0};
    }

    LevelData level;
    ConversionContext context{level};
    std::unique_ptr<Database3ds> db = MakeDatabase();
};

} // namespace

TEST(MaterialNames, UseLowerCaseHexDigits) {
    EXPECT_EQ(TextureMaterialName(31), "Text01f");
    EXPECT_EQ(TextureMaterialName(4096), "Text1000");
    EXPECT_EQ(ColourMaterialName(15), "Color0f");
    EXPECT_EQ(ColourMaterialName(255), "Colorff");
}

TEST_F(Materials, ColourMaterialTakesTheLowByteAndThePaletteEntry) {
    // Index 0x10A names palette entry 10, (63, 32, 0): the diffuse colour
    // (0.984375, 0.5, 0) becomes the bytes 251, 127, 0.
    PutColourMaterial(context, db.get(), 0x10A);
    PutColourMaterial(context, db.get(), 10);
    ASSERT_FALSE(ErrorPending3ds);
    EXPECT_EQ(ChildOutline(Editor(*db)), "3D3E AFFF");
    Chunk3ds* material = MaterialByName(*db, "Color0a");
    EXPECT_EQ(EncodeChunk(FindChunk(material, kTagMatDiffuse3ds)),
              Hex("20A0 18000000 1100 09000000 FB7F00 1200 09000000 FB7F00"));
    EXPECT_EQ(FindChunk(material, kTagTextureMap3ds), nullptr);
}
