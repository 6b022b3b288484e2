#include "convert/materials.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "convert/conversion_context.h"
#include "toolkit3ds/errors.h"
#include "toolkit3ds/material.h"

namespace {

inline constexpr float kAmbientGrey = 0.1f;
inline constexpr float kTextureDiffuseGrey = 0.6f;
inline constexpr float kReflectionBlur = 0.1f;
inline constexpr float kWireSize = 0.0f;
inline constexpr uint32_t kShading = 3;
inline constexpr float kMapStrength = 1.0f;
inline constexpr double kPaletteComponentScale = 0.015625; // 1 / 64: 6-bit component to 0..1

inline constexpr const char* kBitmapExtension = ".bmp";

void AddOnce(std::vector<uint32_t>& list, uint32_t value) {
    if (std::find(list.begin(), list.end(), value) == list.end()) {
        list.push_back(value);
    }
}

// The values both kinds of material share.
void SetCommonValues(Material3ds& material, const std::string& name) {
    material.name = name;
    material.ambient = {kAmbientGrey, kAmbientGrey, kAmbientGrey};
    material.specular = {0, 0, 0};
    material.shininess = 0;
    material.shininessStrength = 0;
    material.reflectionBlur = kReflectionBlur;
    material.transparency = 0;
    material.transparencyFalloff = 0;
    material.selfIllumination = 0;
    material.wireSize = kWireSize;
    material.shading = kShading;
    material.soften = true;
    material.useReflectionBlur = false;
    material.twoSided = false;
    material.faceMapped = false;
}

} // namespace

std::string TextureMaterialName(uint32_t textureNumber) {
    char name[16]; // "Text" + at most eight digits + NUL
    std::snprintf(name, sizeof name, "Text%03x", static_cast<unsigned>(textureNumber));
    return name;
}

std::string ColourMaterialName(uint8_t paletteIndex) {
    char name[8];
    std::snprintf(name, sizeof name, "Color%02x", static_cast<unsigned>(paletteIndex));
    return name;
}

void ClearUsedLists(ConversionContext& context) {
    context.usedTextures.clear();
    context.usedColours.clear();
}

void AddUsedTexture(ConversionContext& context, uint32_t textureNumber) {
    AddOnce(context.usedTextures, textureNumber);
}

void AddUsedColour(ConversionContext& context, uint32_t paletteIndex) {
    AddOnce(context.usedColours, paletteIndex);
}

void PutTextureMaterial(ConversionContext& context, Database3ds* db, uint32_t textureNumber) {
    std::vector<bool>& put = context.textureMaterialsPut;
    if (textureNumber < put.size() && put[textureNumber]) {
        return;
    }
    std::unique_ptr<Material3ds> material;
    InitMaterial3ds(&material);
    if (ErrorPending3ds) {
        return;
    }
    const std::string name = TextureMaterialName(textureNumber);
    SetCommonValues(*material, name);
    material->diffuse = {kTextureDiffuseGrey, kTextureDiffuseGrey, kTextureDiffuseGrey};

    MaterialMap3ds& map = material->textureMap;
    map.fileName = name + kBitmapExtension;
    map.strength = kMapStrength;
    map.tiling = kMapTile3ds;
    map.ignoreAlpha = true;
    map.filter = kMapFilterSummedArea3ds;
    map.mirror = false;
    map.uScale = 1;
    map.vScale = 1;
    map.uOffset = 0;
    map.vOffset = 0;
    map.rotation = 0;
    map.tint = kMapTintNone3ds;

    PutMaterial3ds(db, material.get());
    if (ErrorPending3ds) {
        return;
    }
    ReleaseMaterial3ds(&material);
    if (textureNumber >= put.size()) {
        put.resize(size_t{textureNumber} + 1, false);
    }
    put[textureNumber] = true;
}

void PutColourMaterial(ConversionContext& context, Database3ds* db, uint32_t paletteIndex) {
    const uint8_t index = static_cast<uint8_t>(paletteIndex);
    if (context.colourMaterialsPut[index]) {
        return;
    }
    std::unique_ptr<Material3ds> material;
    InitMaterial3ds(&material);
    if (ErrorPending3ds) {
        return;
    }
    SetCommonValues(*material, ColourMaterialName(index));
    material->diffuse = ColourMaterialDiffuse(context.level.palette[index]);

    PutMaterial3ds(db, material.get());
    if (ErrorPending3ds) {
        return;
    }
    ReleaseMaterial3ds(&material);
    context.colourMaterialsPut[index] = true;
}

ColorFloatData3ds ColourMaterialDiffuse(const PaletteEntry& entry) {
    return {static_cast<float>(entry.red * kPaletteComponentScale),
            static_cast<float>(entry.green * kPaletteComponentScale),
            static_cast<float>(entry.blue * kPaletteComponentScale)};
}
