#include "toolkit3ds/material.h"

#include "toolkit3ds/errors.h"
#include "toolkit3ds/put_support.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// The tiling-flag words of the tiling modes that are not plain tiling.
constexpr uint16_t kTilingDecalBits = kTilingDecal3ds | kTilingNoTile3ds;
constexpr uint16_t kTilingTileAndDecalBits = kTilingDecal3ds;

// Flag word of the automatic reflection map (0xA310).
constexpr int16_t kAutoReflectOn = 0x0001;
constexpr int16_t kAutoReflectOptionA = 0x0009; // replaces the word
constexpr int16_t kAutoReflectOptionB = 0x0011; // ORed in

struct MapSlot {
    MaterialMap3ds Material3ds::*map;
    ChunkTag3ds mapTag;
    ChunkTag3ds dataTag; // none for the reflection map
};

// The sixteen slots in the order they are put.
constexpr MapSlot kMapSlots[] = {
    {&Material3ds::textureMap, kTagTextureMap3ds, kTagTextureMapData3ds},
    {&Material3ds::textureMask, kTagTextureMask3ds, kTagTextureMaskData3ds},
    {&Material3ds::texture2Map, kTagTexture2Map3ds, kTagTexture2MapData3ds},
    {&Material3ds::texture2Mask, kTagTexture2Mask3ds, kTagTexture2MaskData3ds},
    {&Material3ds::opacityMap, kTagOpacityMap3ds, kTagOpacityMapData3ds},
    {&Material3ds::opacityMask, kTagOpacityMask3ds, kTagOpacityMaskData3ds},
    {&Material3ds::bumpMap, kTagBumpMap3ds, kTagBumpMapData3ds},
    {&Material3ds::bumpMask, kTagBumpMask3ds, kTagBumpMaskData3ds},
    {&Material3ds::specularMap, kTagSpecularMap3ds, kTagSpecularMapData3ds},
    {&Material3ds::specularMask, kTagSpecularMask3ds, kTagSpecularMaskData3ds},
    {&Material3ds::shininessMap, kTagShininessMap3ds, kTagShininessMapData3ds},
    {&Material3ds::shininessMask, kTagShininessMask3ds, kTagShininessMaskData3ds},
    {&Material3ds::selfIlluminationMap, kTagSelfIllumMap3ds, kTagSelfIllumMapData3ds},
    {&Material3ds::selfIlluminationMask, kTagSelfIllumMask3ds, kTagSelfIllumMaskData3ds},
    {&Material3ds::reflectionMap, kTagReflectionMap3ds, kTagNone3ds},
    {&Material3ds::reflectionMask, kTagReflectionMask3ds, kTagReflectionMaskData3ds},
};

// Percentages and colour bytes are computed in double: the product of a float
// and 100 or 255 is exact there, so truncation sees the stored value's true
// product. Truncation is toward zero; beyond a short's range the value
// saturates, and NaN gives 0.
int16_t TruncateToShort(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    return static_cast<int16_t>(std::clamp(value, double{INT16_MIN}, double{INT16_MAX}));
}

int16_t TruncatedPercent(float amount) {
    return TruncateToShort(double{amount} * 100.0);
}

int16_t RoundedPercent(float amount) {
    return TruncateToShort(double{amount} * 100.0 + 0.5);
}

// Rounded away from zero, then its magnitude; the sign goes into flag 0xA08A.
int16_t FalloffPercent(float falloff) {
    const double offset = falloff > 0 ? 0.5 : -0.5;
    const int16_t value = TruncateToShort(double{falloff} * 100.0 + offset);
    if (value == INT16_MIN) {
        return INT16_MAX;
    }
    return static_cast<int16_t>(value < 0 ? -value : value);
}

ColorByteData3ds ColorBytes(const ColorFloatData3ds& color) {
    return {ColorByte3ds(color.red), ColorByte3ds(color.green), ColorByte3ds(color.blue)};
}

void AddText(Chunk3ds* parent, ChunkTag3ds tag, const std::string& text) {
    auto* record = AddRecord3ds<StringData3ds>(parent, tag);
    if (ErrorPending3ds) {
        return;
    }
    record->text = DupString3ds(WrittenText3ds(text));
}

void AddPercent(Chunk3ds* parent, int16_t percent) {
    auto* record = AddRecord3ds<ShortData3ds>(parent, kTagPercentInt3ds);
    if (ErrorPending3ds) {
        return;
    }
    record->value = percent;
}

// A container holding one percentage.
void AddPercentContainer(Chunk3ds* parent, ChunkTag3ds tag, int16_t percent) {
    Chunk3ds* container = AddChunk3ds(parent, tag);
    if (ErrorPending3ds) {
        return;
    }
    AddPercent(container, percent);
}

// A container holding the colour as bytes twice: 0x0011, then 0x0012.
void AddColorContainer(Chunk3ds* parent, ChunkTag3ds tag, const ColorFloatData3ds& color) {
    Chunk3ds* container = AddChunk3ds(parent, tag);
    if (ErrorPending3ds) {
        return;
    }
    for (ChunkTag3ds byteTag : {kTagColorByte3ds, kTagLinColorByte3ds}) {
        auto* record = AddRecord3ds<ColorByteData3ds>(container, byteTag);
        if (ErrorPending3ds) {
            return;
        }
        *record = ColorBytes(color);
    }
}

template <typename Layout> void AddValue(Chunk3ds* parent, ChunkTag3ds tag, const Layout& value) {
    auto* record = AddRecord3ds<Layout>(parent, tag);
    if (ErrorPending3ds) {
        return;
    }
    *record = value;
}

uint16_t TilingFlags(const MaterialMap3ds& map) {
    uint16_t flags = 0;
    if (map.tiling == kMapDecal3ds) {
        flags = kTilingDecalBits;
    } else if (map.tiling == kMapTileAndDecal3ds) {
        flags = kTilingTileAndDecalBits;
    }
    if (map.ignoreAlpha) {
        flags |= kTilingIgnoreAlpha3ds;
    }
    if (map.filter == kMapFilterSummedArea3ds) {
        flags |= kTilingSummedArea3ds;
    }
    if (map.mirror) {
        flags |= kTilingMirror3ds;
    }
    if (map.negative) {
        flags |= kTilingNegative3ds;
    }
    switch (map.tint) {
    case kMapTintAlpha3ds:
        flags |= kTilingAlphaTint3ds;
        break;
    case kMapTint3ds:
        flags |= kTilingTint3ds;
        break;
    case kMapTintAlphaAndTint3ds:
        flags |= kTilingAlphaTint3ds | kTilingTint3ds;
        break;
    case kMapTintRgb3ds:
        flags |= kTilingRgbTint3ds;
        break;
    default:
        break;
    }
    return flags;
}

void PutMapParameters(Chunk3ds* mapChunk, const MaterialMap3ds& map) {
    AddPercent(mapChunk, RoundedPercent(map.strength));
    if (ErrorPending3ds) {
        return;
    }
    AddText(mapChunk, kTagMapFileName3ds, map.fileName);
    if (ErrorPending3ds) {
        return;
    }
    AddValue(mapChunk, kTagMapTiling3ds, WordData3ds{TilingFlags(map)});
    if (ErrorPending3ds) {
        return;
    }
    // Optional parameters, each left out while it holds its default.
    struct Optional {
        bool present;
        ChunkTag3ds tag;
        float value;
    };
    const bool scaled = map.uScale != 1.0f || map.vScale != 1.0f;
    const bool offset = map.uOffset != 0.0f || map.vOffset != 0.0f;
    const Optional optionals[] = {
        {scaled, kTagMapUScale3ds, map.uScale},
        {scaled, kTagMapVScale3ds, map.vScale},
        {offset, kTagMapUOffset3ds, map.uOffset},
        {offset, kTagMapVOffset3ds, map.vOffset},
        {map.rotation != 0.0f, kTagMapRotation3ds, map.rotation},
        {map.blur != 0.0f, kTagMapBlur3ds, map.blur},
    };
    for (const Optional& optional : optionals) {
        if (!optional.present) {
            continue;
        }
        AddValue(mapChunk, optional.tag, FloatData3ds{optional.value});
        if (ErrorPending3ds) {
            return;
        }
    }
    struct Tint {
        ChunkTag3ds tag;
        const ColorFloatData3ds* color;
    };
    std::vector<Tint> tints;
    if (map.tint == kMapTint3ds || map.tint == kMapTintAlphaAndTint3ds) {
        tints = {{kTagMapTint1Color3ds, &map.tint1}, {kTagMapTint2Color3ds, &map.tint2}};
    } else if (map.tint == kMapTintRgb3ds) {
        tints = {{kTagMapRedTint3ds, &map.redTint},
                 {kTagMapGreenTint3ds, &map.greenTint},
                 {kTagMapBlueTint3ds, &map.blueTint}};
    }
    for (const Tint& tint : tints) {
        AddValue(mapChunk, tint.tag, ColorBytes(*tint.color));
        if (ErrorPending3ds) {
            return;
        }
    }
}

// Every text the put would write fits its capacity; raises ERR_STRING_TOO_LONG otherwise.
bool CheckTexts(const Material3ds& material) {
    bool fits = FitsCapacity3ds(material.name, kMaterialNameCapacity3ds);
    for (const MapSlot& slot : kMapSlots) {
        fits = fits && FitsCapacity3ds((material.*slot.map).fileName, kMapFileNameCapacity3ds);
    }
    if (!fits) {
        RaiseError3ds(ERR_STRING_TOO_LONG);
    }
    return fits;
}

// The section that holds the materials: the root of a library, otherwise the
// 3D editor section, made when absent.
Chunk3ds* MaterialParent(Chunk3ds* root) {
    if (root->tag == kTagMaterialLibrary3ds) {
        return root;
    }
    return FindOrAddEditor3ds(root);
}

// The material chunk to fill: the one of that name emptied in its place, with
// a copy of its extra-data chunk kept in *extraData, or a new one.
Chunk3ds* MaterialChunk(Database3ds* db, Chunk3ds* parent, const Material3ds& material,
                        std::unique_ptr<Chunk3ds>* extraData) {
    Chunk3ds* existing = nullptr;
    FindMaterialByName3ds(db, material.name.c_str(), &existing);
    if (ErrorPending3ds) {
        return nullptr;
    }
    if (existing == nullptr) {
        return AddNamedChunk3ds(db, parent, kTagMaterial3ds);
    }
    EmptyKeepingExtraData3ds(existing, extraData);
    if (ErrorPending3ds) {
        return nullptr;
    }
    existing->tag = kTagMaterial3ds;
    return existing;
}

// Steps of the material itself, from its name to its flags.
void PutProperties(Chunk3ds* chunk, const Material3ds& material) {
    AddText(chunk, kTagMaterialName3ds, material.name);
    if (ErrorPending3ds) {
        return;
    }
    AddColorContainer(chunk, kTagMatAmbient3ds, material.ambient);
    if (ErrorPending3ds) {
        return;
    }
    AddColorContainer(chunk, kTagMatDiffuse3ds, material.diffuse);
    if (ErrorPending3ds) {
        return;
    }
    AddColorContainer(chunk, kTagMatSpecular3ds, material.specular);
    if (ErrorPending3ds) {
        return;
    }
    AddPercentContainer(chunk, kTagMatShininess3ds, TruncatedPercent(material.shininess));
    if (ErrorPending3ds) {
        return;
    }
    AddPercentContainer(chunk, kTagMatShininessStrength3ds,
                        TruncatedPercent(material.shininessStrength));
    if (ErrorPending3ds) {
        return;
    }
    AddPercentContainer(chunk, kTagMatTransparency3ds, TruncatedPercent(material.transparency));
    if (ErrorPending3ds) {
        return;
    }
    AddPercentContainer(chunk, kTagMatTransparencyFalloff3ds,
                        FalloffPercent(material.transparencyFalloff));
    if (ErrorPending3ds) {
        return;
    }
    if (material.transparencyFalloff < 0) {
        AddChunk3ds(chunk, kTagMatFalloffIn3ds);
        if (ErrorPending3ds) {
            return;
        }
    }
    AddPercentContainer(chunk, kTagMatReflectionBlur3ds, TruncatedPercent(material.reflectionBlur));
    if (ErrorPending3ds) {
        return;
    }
    AddValue(chunk, kTagMatShading3ds,
             ShortData3ds{static_cast<int16_t>(static_cast<uint16_t>(material.shading))});
    if (ErrorPending3ds) {
        return;
    }
    AddPercentContainer(chunk, kTagMatSelfIllumination3ds,
                        TruncatedPercent(material.selfIllumination));
    if (ErrorPending3ds) {
        return;
    }
    if (material.twoSided) {
        AddChunk3ds(chunk, kTagMatTwoSided3ds);
        if (ErrorPending3ds) {
            return;
        }
    }
    AddValue(chunk, kTagMatWireThickness3ds, FloatData3ds{material.wireSize});
    if (ErrorPending3ds) {
        return;
    }
    const std::pair<bool, ChunkTag3ds> flags[] = {
        {material.useReflectionBlur, kTagMatUseReflectionBlur3ds},
        {material.useTransparencyFalloff, kTagMatUseTransparencyFalloff3ds},
        {material.selfIlluminated, kTagMatSelfIlluminated3ds},
        {material.decal, kTagMatDecal3ds},
        {material.wireframe, kTagMatWireframe3ds},
        {material.wireSizeInUnits, kTagMatWireInUnits3ds},
        {material.faceMapped, kTagMatFaceMapped3ds},
        {material.soften, kTagMatSoften3ds},
    };
    for (const auto& [set, tag] : flags) {
        if (!set) {
            continue;
        }
        AddChunk3ds(chunk, tag);
        if (ErrorPending3ds) {
            return;
        }
    }
}

// The reflection map has only an amount (truncated) and a file name, possibly empty.
void PutReflectionMap(Chunk3ds* chunk, const Material3ds& material) {
    const MaterialMap3ds& map = material.reflectionMap;
    if (WrittenText3ds(map.fileName).empty() && !material.autoReflect) {
        return;
    }
    Chunk3ds* mapChunk = AddChunk3ds(chunk, kTagReflectionMap3ds);
    if (ErrorPending3ds) {
        return;
    }
    AddPercent(mapChunk, TruncatedPercent(map.strength));
    if (ErrorPending3ds) {
        return;
    }
    AddText(mapChunk, kTagMapFileName3ds, map.fileName);
}

void PutMaps(Chunk3ds* chunk, const Material3ds& material) {
    for (const MapSlot& slot : kMapSlots) {
        if (slot.mapTag == kTagReflectionMap3ds) {
            PutReflectionMap(chunk, material);
            if (ErrorPending3ds) {
                return;
            }
            continue;
        }
        const MaterialMap3ds& map = material.*slot.map;
        if (WrittenText3ds(map.fileName).empty()) {
            continue;
        }
        std::unique_ptr<Chunk3ds> mapChunk;
        NewChunkWithTag3ds(&mapChunk, slot.mapTag);
        if (ErrorPending3ds) {
            return;
        }
        PutMapChunks3ds(mapChunk.get(), &map);
        if (ErrorPending3ds) {
            return;
        }
        if (slot.mapTag == kTagBumpMap3ds) {
            AddValue(mapChunk.get(), kTagMatBumpAmount3ds,
                     ShortData3ds{TruncatedPercent(map.strength)});
            if (ErrorPending3ds) {
                return;
            }
        }
        InsertChildInOrder3ds(chunk, std::move(mapChunk));
        if (ErrorPending3ds) {
            return;
        }
        if (!map.mapData.empty()) {
            auto* record = AddRecord3ds<RawData3ds>(chunk, slot.dataTag);
            if (ErrorPending3ds) {
                return;
            }
            record->bytes = map.mapData;
        }
    }
    if (material.autoReflect) {
        int16_t flags = material.autoReflectOptionA ? kAutoReflectOptionA : kAutoReflectOn;
        if (material.autoReflectOptionB) {
            flags |= kAutoReflectOptionB;
        }
        // The two leading bytes keep the 0 of a new record.
        auto* record = AddRecord3ds<AutoReflectionData3ds>(chunk, kTagMatAutoReflection3ds);
        if (ErrorPending3ds) {
            return;
        }
        record->flags = flags;
        record->size = material.autoReflectSize;
        record->frameStep = material.autoReflectFrameStep;
    }
}

void PutMaterialChunks(Database3ds* db, const Material3ds& material) {
    Chunk3ds* parent = MaterialParent(db->root.get());
    if (ErrorPending3ds) {
        return;
    }
    std::unique_ptr<Chunk3ds> extraData;
    Chunk3ds* chunk = MaterialChunk(db, parent, material, &extraData);
    if (ErrorPending3ds) {
        return;
    }
    MarkMaterialIndexStale3ds(db);
    if (ErrorPending3ds) {
        return;
    }
    PutProperties(chunk, material);
    if (ErrorPending3ds) {
        return;
    }
    PutMaps(chunk, material);
    if (ErrorPending3ds) {
        return;
    }
    if (extraData != nullptr) {
        InsertChildInOrder3ds(chunk, std::move(extraData));
        if (ErrorPending3ds) {
            return;
        }
    }
    IndexPutMaterial3ds(db, chunk);
}

} // namespace

void InitMaterial3ds(std::unique_ptr<Material3ds>* handle) {
    InitRecord3ds(handle);
}

void InitMaterialMap3ds(MaterialMap3ds* map) {
    if (map == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    *map = MaterialMap3ds{};
}

void ReleaseMaterial3ds(std::unique_ptr<Material3ds>* handle) {
    ReleaseRecord3ds(handle);
}

void PutMaterial3ds(Database3ds* db, const Material3ds* material) {
    if (!CheckPutTarget3ds(db, material,
                           {kTagMeshFile3ds, kTagProjectFile3ds, kTagMaterialLibrary3ds}) ||
        !CheckTexts(*material)) {
        return;
    }
    GuardAllocations3ds([&] { PutMaterialChunks(db, *material); });
}

void PutMapChunks3ds(Chunk3ds* mapChunk, const MaterialMap3ds* map) {
    if (mapChunk == nullptr || map == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    if (WrittenText3ds(map->fileName).empty()) {
        return;
    }
    if (!FitsCapacity3ds(map->fileName, kMapFileNameCapacity3ds)) {
        RaiseError3ds(ERR_STRING_TOO_LONG);
        return;
    }
    GuardAllocations3ds([&] { PutMapParameters(mapChunk, *map); });
}

uint8_t ColorByte3ds(float component) {
    const double value = double{component} * 255.0;
    if (std::isnan(value)) {
        return 0;
    }
    return static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
}
