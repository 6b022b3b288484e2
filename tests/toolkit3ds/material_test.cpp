#include "toolkit3ds/material.h"

#include "tests/support/tree_outline.h"
#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

namespace {

class Material : public ToolkitTest {};

std::unique_ptr<Material3ds> NewMaterial(const std::string& name) {
    std::unique_ptr<Material3ds> material;
    InitMaterial3ds(&material);
    material->name = name;
    return material;
}

int16_t PercentIn(Chunk3ds* chunk, uint32_t containerTag) {
    return FindRecord<ShortData3ds>(FindChunk(chunk, containerTag), kTagPercentInt3ds)->value;
}

// The converter's materials are in the golden file; the refusals are in put_support_test.
// Amounts truncate toward zero, map strengths round, colours clamp to a byte.
TEST_F(Material, EveryPropertyFlagAndSlotIsWrittenInItsPlace) {
    auto material = NewMaterial("Everything");
    material->shininess = 0.996f;
    material->shininessStrength = -0.5f;
    material->transparencyFalloff = -0.25f; // its magnitude, and the "falloff in" flag
    material->ambient = {1.0f, 1.5f, -0.2f};
    material->specular = {0.999f, 0.5f, 0.004f};
    material->twoSided = material->useReflectionBlur = material->useTransparencyFalloff = true;
    material->selfIlluminated = material->decal = material->wireframe = true;
    material->wireSizeInUnits = material->faceMapped = material->soften = true;
    for (MaterialMap3ds* map :
         {&material->textureMap, &material->textureMask, &material->texture2Map,
          &material->texture2Mask, &material->opacityMap, &material->opacityMask,
          &material->bumpMap, &material->bumpMask, &material->specularMap, &material->specularMask,
          &material->shininessMap, &material->shininessMask, &material->selfIlluminationMap,
          &material->selfIlluminationMask, &material->reflectionMask}) {
        map->fileName = "m.bmp";
        map->mapData = {4};
    }
    material->textureMap.mapData = {1, 2, 3};
    material->bumpMap.strength = 0.996f;
    material->reflectionMap.mapData = {5}; // never written
    material->reflectionMap.strength = 0.996f;
    material->autoReflect = material->autoReflectOptionB = true;
    material->autoReflectSize = 256;
    auto db = MakeDatabase();
    PutMaterial3ds(db.get(), material.get());
    ASSERT_FALSE(ErrorPending3ds);

    Chunk3ds* chunk = MaterialByName(*db, "Everything");
    EXPECT_EQ(ChildOutline(chunk),
              "A000 A010 A020 A030 A040 A041 A050 A052 A08A A053 A100 A084 A081 A087 A250 A240 "
              "A080 A083 A085 A08E A088 A08C "                               // flags
              "A200 A320 A33E A32A A33A A321 A340 A32C A210 A322 A342 A32E " // maps, each with
              "A230 A324 A344 A330 A204 A325 A348 A332 A33C A326 A346 A334 " // its data
              "A33D A328 A34A A336 A220 A34C A338 A310");
    EXPECT_EQ(PercentIn(chunk, kTagMatShininess3ds), 99);
    EXPECT_EQ(PercentIn(chunk, kTagMatShininessStrength3ds), -50);
    EXPECT_EQ(PercentIn(chunk, kTagMatTransparencyFalloff3ds), 25);
    EXPECT_EQ(*FindRecord<ColorByteData3ds>(chunk, kTagColorByte3ds),
              (ColorByteData3ds{255, 255, 0}));
    EXPECT_EQ(
        *FindRecord<ColorByteData3ds>(FindChunk(chunk, kTagMatSpecular3ds), kTagLinColorByte3ds),
        (ColorByteData3ds{254, 127, 1}));
    Chunk3ds* bump = FindChunk(chunk, kTagBumpMap3ds);
    EXPECT_EQ(TreeOutline(bump), "A230(0030 A300 A351 A252)");
    EXPECT_EQ(FindRecord<ShortData3ds>(bump, kTagPercentInt3ds)->value, 100);
    EXPECT_EQ(FindRecord<ShortData3ds>(bump, kTagMatBumpAmount3ds)->value, 99);
    EXPECT_EQ(FindRecord<RawData3ds>(chunk, kTagTextureMapData3ds)->bytes,
              (std::vector<uint8_t>{1, 2, 3}));
    // The reflection map: a truncated amount and an empty file name.
    Chunk3ds* reflection = FindChunk(chunk, kTagReflectionMap3ds);
    EXPECT_EQ(TreeOutline(reflection), "A220(0030 A300)");
    EXPECT_EQ(FindRecord<ShortData3ds>(reflection, kTagPercentInt3ds)->value, 99);
    EXPECT_EQ(*FindRecord<AutoReflectionData3ds>(chunk, kTagMatAutoReflection3ds),
              (AutoReflectionData3ds{0, 0, 0x0011, 256, 1}));
    material->autoReflectOptionA = true;
    PutMaterial3ds(db.get(), material.get());
    EXPECT_EQ(FindRecord<AutoReflectionData3ds>(chunk, kTagMatAutoReflection3ds)->flags, 0x0019);
    material->autoReflectOptionB = false;
    PutMaterial3ds(db.get(), material.get());
    EXPECT_EQ(FindRecord<AutoReflectionData3ds>(chunk, kTagMatAutoReflection3ds)->flags, 0x0009);
}

TEST_F(Material, MapParametersAppearOnlyWhenNotDefault) {
    MaterialMap3ds maps[5];
    for (MaterialMap3ds& map : std::span(maps, 4)) {
        map.fileName = "m.bmp";
    }
    maps[0].uScale = 2; // writes both scales
    maps[0].vOffset = 0.5f;
    maps[1].rotation = 90;
    maps[1].blur = 0.1f;
    maps[1].tiling = kMapDecal3ds;
    maps[1].mirror = true;
    maps[1].tint = kMapTintAlpha3ds; // a flag, without colours
    maps[2].tint = kMapTintAlphaAndTint3ds;
    maps[2].tint1 = {0.1f, 0.6f, 1.0f};
    maps[2].tiling = kMapTileAndDecal3ds;
    maps[2].negative = true;
    maps[3].tint = kMapTintRgb3ds;
    maps[3].tiling = 7;
    maps[3].filter = 2;
    // maps[4] has no file name, so no parameters.
    const std::pair<const char*, uint16_t> expected[] = {
        {"A200(0030 A300 A351 A354 A356 A358 A35A)", 0x0000},
        {"A200(0030 A300 A351 A35C A353)", 0x0053},
        {"A200(0030 A300 A351 A360 A362)", 0x00C9},
        {"A200(0030 A300 A351 A364 A366 A368)", 0x0200},
        {"A200", 0},
    };
    for (size_t i = 0; i < std::size(maps); ++i) {
        std::unique_ptr<Chunk3ds> chunk = MakeChunk(kTagTextureMap3ds);
        PutMapChunks3ds(chunk.get(), &maps[i]);
        ASSERT_FALSE(ErrorPending3ds);
        EXPECT_EQ(TreeOutline(chunk.get()), expected[i].first);
        if (chunk->child != nullptr) {
            EXPECT_EQ(FindRecord<WordData3ds>(chunk.get(), kTagMapTiling3ds)->value,
                      expected[i].second);
        }
        if (i == 0) {
            EXPECT_EQ(FindRecord<FloatData3ds>(chunk.get(), kTagMapVScale3ds)->value, 1.0f);
        } else if (i == 2) {
            EXPECT_EQ(*FindRecord<ColorByteData3ds>(chunk.get(), kTagMapTint1Color3ds),
                      (ColorByteData3ds{25, 153, 255}));
        }
    }
}

// Replacing by name is tested in put_support_test.
TEST_F(Material, GoesIntoTheEditorSectionOrTheRootOfALibrary) {
    // A mesh file without a 3D editor section gets one.
    std::unique_ptr<Database3ds> bare = EmptyDatabase();
    NewChunkWithTag3ds(&bare->root, kTagMeshFile3ds);
    PutMaterial3ds(bare.get(), NewMaterial("Skin").get());
    EXPECT_EQ(TreeOutline(bare->root.get()).substr(0, 15), "4D4D(3D3D(AFFF(");
    auto library = MakeDatabase(kDatabaseMaterialLibrary3ds);
    PutMaterial3ds(library.get(), NewMaterial("Skin").get());
    PutMaterial3ds(library.get(), NewMaterial("Skin").get());
    EXPECT_EQ(ChildOutline(library->root.get()), "AFFF");
    EXPECT_FALSE(ErrorPending3ds);
}

} // namespace
