#include "toolkit3ds/material.h"

#include "tests/support/tree_outline.h"
#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

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
    struct Case {
        void (*set)(MaterialMap3ds&);
        const char* outline;
        uint16_t tiling;
    };
    const Case cases[] = {
        {[](MaterialMap3ds& m) {
             m.uScale = 2.0f;
             m.vOffset = 0.5f;
         },
         "A200(0030 A300 A351 A354 A356 A358 A35A)", 0x0000},
        {[](MaterialMap3ds& m) {
             m.rotation = 90;
             m.blur = 0.1f;
             m.tiling = kMapDecal3ds;
             m.mirror = true;
             m.tint = kMapTintAlpha3ds; // a flag, without colours
         },
         "A200(0030 A300 A351 A35C A353)", 0x0053},
        {[](MaterialMap3ds& m) {
             m.tint = kMapTintAlphaAndTint3ds;
             m.tiling = kMapTileAndDecal3ds;
             m.negative = true;
         },
         "A200(0030 A300 A351 A360 A362)", 0x00C9},
        {[](MaterialMap3ds& m) {
             m.tint = kMapTintRgb3ds;
             m.tiling = 7;
             m.filter = 2;
         },
         "A200(0030 A300 A351 A364 A366 A368)", 0x0200},
        {[](MaterialMap3ds& m) { m.fileName.clear(); }, "A200", 0},
    };
    for (const Case& c : cases) {
        std::unique_ptr<Chunk3ds> map;
        NewChunkWithTag3ds(&map, kTagTextureMap3ds);
        MaterialMap3ds parameters;
        parameters.fileName = "map.bmp";
        parameters.uScale = 1.0f;
        parameters.tint1 = {0.1f, 0.6f, 1.0f};
        c.set(parameters);
        PutMapChunks3ds(map.get(), &parameters);
        ASSERT_FALSE(ErrorPending3ds);
        EXPECT_EQ(TreeOutline(map.get()), c.outline);
        if (map->child != nullptr) {
            EXPECT_EQ(FindRecord<WordData3ds>(map.get(), kTagMapTiling3ds)->value, c.tiling);
        }
        if (parameters.uScale == 2.0f) {
            EXPECT_EQ(FindRecord<FloatData3ds>(map.get(), kTagMapVScale3ds)->value, 1.0f);
        }
        if (parameters.tint == kMapTintAlphaAndTint3ds) {
            EXPECT_EQ(*FindRecord<ColorByteData3ds>(map.get(), kTagMapTint1Color3ds),
                      (ColorByteData3ds{25, 153, 255}));
        }
    }
}

TEST_F(Material, ReplacesByNameInPlaceKeepingExtraData) {
    auto db = MakeDatabase();
    PutMaterial3ds(db.get(), NewMaterial("Skin").get());
    PutMaterial3ds(db.get(), NewMaterial("Hair").get());
    Chunk3ds* first = MaterialByName(*db, "Skin");
    AppendChunk(FindChunk(first, kTagMatAmbient3ds), kTagExtraData3ds);

    auto second = NewMaterial("Skin");
    second->twoSided = true;
    PutMaterial3ds(db.get(), second.get());
    PutMaterial3ds(db.get(), NewMaterial("skin").get()); // names are case-sensitive
    ASSERT_FALSE(ErrorPending3ds);
    Chunk3ds* section = Editor(*db);
    EXPECT_EQ(ChildOutline(section), "3D3E AFFF AFFF AFFF");
    EXPECT_EQ(Children(section)[1], first);
    EXPECT_EQ(MaterialByName(*db, "Skin"), first);
    EXPECT_NE(FindChunk(first, kTagMatTwoSided3ds), nullptr);
    EXPECT_EQ(Children(first).back()->tag, kTagExtraData3ds);
    EXPECT_EQ(TreeOutline(FindChunk(first, kTagMatAmbient3ds)), "A010(0011 0012)");

    // A mesh file without a 3D editor section gets one; a library keeps materials at its root.
    std::unique_ptr<Database3ds> bare;
    InitDatabase3ds(bare);
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
