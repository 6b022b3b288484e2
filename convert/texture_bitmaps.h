#pragma once
// Texture bitmaps: for every object texture that the model uses, the
// smallest rectangle of its 256 x 256 page that holds the texture's corners,
// written once as an uncompressed 8-bit palettised BMP "Text%03x.bmp" in the
// current directory. Areas are cut and written on first request and cached
// for the rest of the run (conversion_context.h).
//
// Texture and page numbers are not checked here: the level has passed
// CheckLevelForConversion (level_checks.h) before anything is cut.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "level/level_data.h"

struct ConversionContext;

// The kind of face an area is first requested for.
inline constexpr int32_t kQuadArea = 0;     // all four corners count
inline constexpr int32_t kTriangleArea = 1; // only the first three corners count

// The pixel rectangle of one object texture within its page.
struct TextureArea {
    uint32_t textureNumber = 0;      // index into objectTextures
    int32_t kind = kQuadArea;        // kTriangleArea, or any other value: quad
    std::string fileName;            // "Text%03x.bmp"
    const uint8_t* pixels = nullptr; // borrowed: first byte of the page
    int32_t left = 0;                // smallest corner column
    int32_t top = 0;                 // smallest corner row
    int32_t width = 1;               // columns, 1..256
    int32_t height = 1;              // rows, 1..256
    const std::array<PaletteEntry, 256>* palette = nullptr; // borrowed: the level's palette
};

// "Text%03x.bmp": the texture number in lower-case hexadecimal, at least three digits.
std::string TextureBitmapName(uint32_t textureNumber);

// The area of textureNumber cached in the context, or a new one: cut from the
// context's level, written to its bitmap file at once (unless the context's
// writeBitmaps is off) and cached. The kind of
// the first request decides the area; later requests get that same area
// whatever their kind. The area belongs to the context. Returns none when the
// area cannot be made or its file cannot be created, written or closed; the
// failure (the file name and the error) is then recorded in the context and
// no partly written file is left.
const TextureArea* GetTextureArea(ConversionContext& context, uint32_t textureNumber, int32_t kind);

// Builds the area of objectTextures[textureNumber] of level, file name
// included, from its first three corners when kind is kTriangleArea and from
// all four otherwise. Writes nothing. pixels and palette point into level.
TextureArea CutTextureArea(const LevelData& level, uint32_t textureNumber, int32_t kind);

// The complete BMP file of an area: 14-byte file header, 40-byte information
// header, 256 palette entries (blue, green, red, 0; each 6-bit component
// scaled by 255 / 64 and truncated), then the rows bottom-up, each padded
// with zero bytes to a multiple of four.
std::vector<uint8_t> EncodeTextureBitmap(const TextureArea& area);

// Writes EncodeTextureBitmap(area) to area.fileName, replacing any file of
// that name. Returns 0, or the error number of the failure (ENOMEM when the
// bytes cannot be held); a file that cannot be written or closed is removed.
int WriteTextureBitmap(const TextureArea& area);

// The area's pixels as 8-bit red, green, blue triples, top row first, in
// the colours its bitmap holds.
std::vector<uint8_t> TextureAreaRgb(const TextureArea& area);
