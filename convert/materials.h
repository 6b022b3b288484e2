#pragma once
// Texture and colour materials. Textured faces use one material per object
// texture, "Text%03x", mapped with the bitmap "Text%03x.bmp"; flat-coloured
// faces use one material per palette index, "Color%02x", whose diffuse colour
// is the palette entry of the level being converted. Putting a
// material whose name is already in the database replaces it, so a material
// may be requested any number of times; the file keeps the order of the first
// requests.
//
// Also fills the two used lists of the conversion context
// (conversion_context.h): the texture numbers and palette indices the body
// part being built uses, each in order of first addition and without repeats.
// They grow as needed.

#include <cstdint>
#include <string>

#include "level/level_data.h"
#include "toolkit3ds/chunk_data.h"
#include "toolkit3ds/chunk_tree.h"

struct ConversionContext;

// "Text%03x": the texture number in lower-case hexadecimal, at least three digits.
std::string TextureMaterialName(uint32_t textureNumber);
// "Color%02x": the palette index (0..255) in lower-case hexadecimal, two digits.
std::string ColourMaterialName(uint8_t paletteIndex);

// Empties both used lists of the context.
void ClearUsedLists(ConversionContext& context);
// Appends the texture number to the used-texture list unless it is there already.
// Throws std::bad_alloc when the list cannot grow.
void AddUsedTexture(ConversionContext& context, uint32_t textureNumber);
// Appends the palette index to the used-colour list unless it is there already.
// Throws std::bad_alloc when the list cannot grow.
void AddUsedColour(ConversionContext& context, uint32_t paletteIndex);

// Puts the material "Text%03x" of a texture number: ambient 0.1 and diffuse
// 0.6 grey, no specular, reflection blur 0.1, wire size 0, soften, and a
// texture map of "Text%03x.bmp" at full strength, tiled, alpha ignored,
// summed-area filtered. Returns quietly when a toolkit error is pending after
// the record's initialisation or the put; the caller looks at ErrorPending3ds
// later. A material already put in this run is not put again: it would be
// the same record.
void PutTextureMaterial(ConversionContext& context, Database3ds* db, uint32_t textureNumber);

// Puts the material "Color%02x" of the low byte of paletteIndex: ambient 0.1
// grey, diffuse the palette entry of the context's level (each 6-bit
// component x 1/64), otherwise as PutTextureMaterial but without a map.
// Errors and repeats as PutTextureMaterial.
void PutColourMaterial(ConversionContext& context, Database3ds* db, uint32_t paletteIndex);

// The diffuse colour of a "Color%02x" material: each 6-bit component x 1/64.
ColorFloatData3ds ColourMaterialDiffuse(const PaletteEntry& entry);
