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

// The material as the converter makes it for texture 0x1f.
std::unique_ptr<Material3ds> TextureMaterial() {
    auto material = NewMaterial("Text01f");
    material->ambient = {0.1f, 0.1f, 0.1f};
    material->diffuse = {0.6f, 0.6f, 0.6f};
    material->reflectionBlur = 0.1f;
    material->wireSize = 0;
    material->soften = true;
    material->textureMap.fileName = "Text01f.bmp";
    material->textureMap.strength = 1.0f;
    material->textureMap.ignoreAlpha = true;
    material->textureMap.filter = kMapFilterSummedArea3ds;
    return material;
}

int16_t PercentIn(Chunk3ds* chunk, uint32_t containerTag) {
    return FindRecord<ShortData3ds>(FindChunk(chunk, containerTag), kTagPercentInt3ds)->value;
}

TEST_F(Material, ConverterTextureMaterialHasExactBytes) {
    auto db = MakeDatabase();
    PutMaterial3ds(db.get(), TextureMaterial().get());
    ASSERT_FALSE(ErrorPending3ds);
    EXPECT_EQ(EncodeChunk(MaterialByName(*db, "Text01f")),
              Hex("FFAF F0000000"                                           // material, 240 bytes
                  "00A0 0E000000 54657874303166 00"                         // name "Text01f"
                  "10A0 18000000 1100 09000000 191919 1200 09000000 191919" // ambient 0.1 -> 25
                  "20A0 18000000 1100 09000000 999999 1200 09000000 999999" // diffuse 0.6 -> 153
                  "30A0 18000000 1100 09000000 000000 1200 09000000 000000" // specular
                  "40A0 0E000000 3000 08000000 0000"                        // shininess
                  "41A0 0E000000 3000 08000000 0000"                        // shininess strength
                  "50A0 0E000000 3000 08000000 0000"                        // transparency
                  "52A0 0E000000 3000 08000000 0000"                        // falloff
                  "53A0 0E000000 3000 08000000 0A00"                        // reflection blur 10
                  "00A1 08000000 0300"                                      // shading 3
                  "84A0 0E000000 3000 08000000 0000"                        // self-illumination
                  "87A0 0A000000 00000000"                                  // wire thickness 0
                  "8CA0 06000000"                                           // soften
                  "00A2 28000000"                                           // texture map
                  "3000 08000000 6400"                                      // strength 100
                  "00A3 12000000 546578743031662E626D70 00"                 // "Text01f.bmp"
                  "51A3 08000000 2001"));                                   // tiling flags
}

TEST_F(Material, AmountsAndColoursAreConverted) {
    auto db = MakeDatabase();
    const float falloffs[] = {-0.25f, 0.25f, 0.0f};
    for (int i = 0; i < 3; ++i) {
        auto material = NewMaterial("Falloff" + std::to_string(i));
        material->transparencyFalloff = falloffs[i];
        PutMaterial3ds(db.get(), material.get());
        Chunk3ds* chunk = MaterialByName(*db, material->name);
        // The amount is the magnitude; a negative one adds the "falloff in" flag.
        EXPECT_EQ(PercentIn(chunk, kTagMatTransparencyFalloff3ds), i == 2 ? 0 : 25);
        EXPECT_EQ(FindChunk(chunk, kTagMatFalloffIn3ds) != nullptr, i == 0);
    }

    // Amounts truncate toward zero, map strengths round; colours clamp to a byte.
    auto material = NewMaterial("Amounts");
    material->shininess = 0.996f;
    material->shininessStrength = -0.5f;
    material->ambient = {1.0f, 1.5f, -0.2f};
    material->specular = {0.999f, 0.5f, 0.004f};
    material->bumpMap.fileName = "bump.bmp";
    material->bumpMap.strength = 0.996f;
    PutMaterial3ds(db.get(), material.get());
    ASSERT_FALSE(ErrorPending3ds);
    Chunk3ds* amounts = MaterialByName(*db, "Amounts");
    EXPECT_EQ(PercentIn(amounts, kTagMatShininess3ds), 99);
    EXPECT_EQ(PercentIn(amounts, kTagMatShininessStrength3ds), -50);
    Chunk3ds* bump = FindChunk(amounts, kTagBumpMap3ds);
    EXPECT_EQ(TreeOutline(bump), "A230(0030 A300 A351 A252)");
    EXPECT_EQ(FindRecord<ShortData3ds>(bump, kTagPercentInt3ds)->value, 100);
    EXPECT_EQ(FindRecord<ShortData3ds>(bump, kTagMatBumpAmount3ds)->value, 99);
    EXPECT_EQ(*FindRecord<ColorByteData3ds>(amounts, kTagColorByte3ds),
              (ColorByteData3ds{255, 255, 0}));
    EXPECT_EQ(
        *FindRecord<ColorByteData3ds>(FindChunk(amounts, kTagMatSpecular3ds), kTagLinColorByte3ds),
        (ColorByteData3ds{254, 127, 1}));
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

TEST_F(Material, FlagsSlotsAndReflectionFollowTheirOrder) {
    auto material = NewMaterial("Everything");
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
    }
    material->textureMap.mapData = {1, 2, 3};
    material->reflectionMask.mapData = {4};
    material->reflectionMap.mapData = {5}; // never written
    material->reflectionMap.strength = 0.996f;
    material->autoReflect = material->autoReflectOptionB = true;
    material->autoReflectSize = 256;
    auto db = MakeDatabase();
    PutMaterial3ds(db.get(), material.get());
    ASSERT_FALSE(ErrorPending3ds);

    Chunk3ds* chunk = MaterialByName(*db, "Everything");
    EXPECT_EQ(ChildOutline(chunk), "A000 A010 A020 A030 A040 A041 A050 A052 A053 A100 A084 A081 "
                                   "A087 A250 A240 A080 A083 A085 A08E A088 A08C "      // flags
                                   "A200 A320 A33E A33A A340 A210 A342 A230 A344 A204 " // maps
                                   "A348 A33C A346 A33D A34A A220 A34C A338 A310");
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

// The checks shared by every put are tested in put_support_test.
TEST_F(Material, RefusedCallsChangeNothing) {
    auto db = MakeDatabase();
    PutMaterial3ds(db.get(), NewMaterial("Skin").get());
    const std::unique_ptr<Chunk3ds> before = CopyTree(db->root.get());
    auto material = NewMaterial("Skin");
    auto longName = NewMaterial("Seventeen chars..");
    auto longMap = NewMaterial("Skin");
    longMap->specularMask.fileName = "seventeen_chars_x";
    std::unique_ptr<Chunk3ds> map;
    NewChunkWithTag3ds(&map, kTagTextureMap3ds);
    ASSERT_FALSE(ErrorPending3ds);

    PutMaterial3ds(db.get(), longName.get());
    PutMaterial3ds(db.get(), longMap.get());
    PutMapChunks3ds(map.get(), &longMap->specularMask);
    PutMapChunks3ds(nullptr, &material->textureMap);
    InitMaterial3ds(nullptr);
    InitMaterialMap3ds(nullptr);
    EXPECT_EQ(RaisedErrors(),
              (std::vector<int32_t>{ERR_STRING_TOO_LONG, ERR_STRING_TOO_LONG, ERR_STRING_TOO_LONG,
                                    ERR_INVALID_ARG, ERR_INVALID_ARG, ERR_INVALID_ARG}));
    EXPECT_TRUE(SameTree(db->root.get(), before.get()));
    EXPECT_EQ(map->child, nullptr);

    // Sixteen characters fit.
    ClearErrors3ds();
    longMap->name = "Sixteen chars...";
    longMap->specularMask.fileName.pop_back();
    PutMaterial3ds(db.get(), longMap.get());
    EXPECT_NE(MaterialByName(*db, "Sixteen chars..."), nullptr);
    EXPECT_FALSE(ErrorPending3ds);
}

} // namespace
