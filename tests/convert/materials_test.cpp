#include "convert/materials.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/current_level.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree_outline.h"
#include "toolkit3ds/chunk_tags.h"
#include "toolkit3ds/errors.h"

namespace {

Chunk3ds* FindMaterial(Database3ds& db, const std::string& name) {
    Chunk3ds* found = nullptr;
    FindMaterialByName3ds(&db, name.c_str(), &found);
    return found;
}

size_t MaterialCount(Database3ds& db) {
    size_t count = 0;
    for (Chunk3ds* child : Children(FindChunk(db.root.get(), kTagEditor3ds))) {
        count += child->tag == kTagMaterial3ds ? 1 : 0;
    }
    return count;
}

// Everything but the name and the diffuse colour, which both kinds share.
const char* const kCommonAfterDiffuse =
    "30A0 18000000 1100 09000000 000000 1200 09000000 000000" // specular
    "40A0 0E000000 3000 08000000 0000"                        // shininess
    "41A0 0E000000 3000 08000000 0000"                        // shininess strength
    "50A0 0E000000 3000 08000000 0000"                        // transparency
    "52A0 0E000000 3000 08000000 0000"                        // falloff
    "53A0 0E000000 3000 08000000 0A00"                        // reflection blur 10
    "00A1 08000000 0300"                                      // shading 3
    "84A0 0E000000 3000 08000000 0000"                        // self-illumination
    "87A0 0A000000 00000000"                                  // wire thickness 0
    "8CA0 06000000";                                          // soften

class Materials : public ToolkitTest {
protected:
    void SetUp() override {
        ToolkitTest::SetUp();
        ClearUsedLists();
        level.palette[10] = {63, 32, 0};
        SetCurrentLevel(level);
    }
    void TearDown() override {
        ClearUsedLists();
        ClearCurrentLevel();
        ToolkitTest::TearDown();
    }

    ScopedTempDir dir;
    LevelData level;
    std::unique_ptr<Database3ds> db = MakeDatabase();
};

} // namespace

TEST(MaterialNames, UseLowerCaseHexDigits) {
    EXPECT_EQ(TextureMaterialName(10), "Text00a");
    EXPECT_EQ(TextureMaterialName(31), "Text01f");
    EXPECT_EQ(TextureMaterialName(4096), "Text1000");
    EXPECT_EQ(ColourMaterialName(15), "Color0f");
    EXPECT_EQ(ColourMaterialName(255), "Colorff");
}

TEST_F(Materials, UsedListsKeepTheOrderOfFirstAdditionWithoutRepeats) {
    for (const uint32_t texture : {5, 7, 5}) {
        AddUsedTexture(texture);
    }
    AddUsedColour(9);
    AddUsedColour(9);
    EXPECT_EQ(UsedTextures(), (std::vector<uint32_t>{5, 7}));
    EXPECT_EQ(UsedColours(), std::vector<uint32_t>{9});

    // No fixed capacity.
    for (uint32_t texture = 1000; texture > 0; --texture) {
        AddUsedTexture(texture);
    }
    ASSERT_EQ(UsedTextures().size(), 1000u);
    EXPECT_EQ(UsedTextures()[2], 1000u);
    EXPECT_EQ(UsedTextures().back(), 1u);

    ClearUsedLists();
    EXPECT_TRUE(UsedTextures().empty());
    EXPECT_TRUE(UsedColours().empty());
}

TEST_F(Materials, TextureMaterialMapsItsBitmap) {
    PutTextureMaterial(db.get(), 31);
    ASSERT_FALSE(ErrorPending3ds);
    const std::string expected =
        std::string("FFAF F0000000"                                           // material
                    "00A0 0E000000 54657874303166 00"                         // "Text01f"
                    "10A0 18000000 1100 09000000 191919 1200 09000000 191919" // ambient 25
                    "20A0 18000000 1100 09000000 999999 1200 09000000 999999" // diffuse 153
                    ) +
        kCommonAfterDiffuse +
        "00A2 28000000"                           // texture map
        "3000 08000000 6400"                      // strength 100
        "00A3 12000000 546578743031662E626D70 00" // "Text01f.bmp"
        "51A3 08000000 2001";                     // tiled, alpha ignored, summed area
    EXPECT_EQ(EncodeChunk(FindMaterial(*db, "Text01f")), Hex(expected.c_str()));
}

TEST_F(Materials, ColourMaterialTakesTheLowByteAndThePaletteEntry) {
    // Index 0x10A names palette entry 10, (63, 32, 0): the diffuse colour
    // (0.984375, 0.5, 0) becomes the bytes 251, 127, 0.
    PutColourMaterial(db.get(), 0x10A);
    PutColourMaterial(db.get(), 10);
    ASSERT_FALSE(ErrorPending3ds);
    EXPECT_EQ(MaterialCount(*db), 1u);
    const std::string expected =
        std::string("FFAF C8000000"                                           // material
                    "00A0 0E000000 436F6C6F723061 00"                         // "Color0a"
                    "10A0 18000000 1100 09000000 191919 1200 09000000 191919" // ambient 25
                    "20A0 18000000 1100 09000000 FB7F00 1200 09000000 FB7F00" // diffuse
                    ) +
        kCommonAfterDiffuse; // and no map
    EXPECT_EQ(EncodeChunk(FindMaterial(*db, "Color0a")), Hex(expected.c_str()));
}
