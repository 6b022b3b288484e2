#include "convert/texture_bitmaps.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

#include "convert/conversion_context.h"

namespace {

// BMP layout.
inline constexpr uint8_t kBmpMagic0 = 0x42; // 'B'
inline constexpr uint8_t kBmpMagic1 = 0x4D; // 'M'
inline constexpr uint32_t kBmpFileHeaderSize = 14;
inline constexpr uint32_t kBmpInfoHeaderSize = 40;
inline constexpr uint32_t kBmpPaletteEntries = 256;
inline constexpr uint32_t kBmpPaletteEntrySize = 4;
inline constexpr uint32_t kBmpPixelOffset =
    kBmpFileHeaderSize + kBmpInfoHeaderSize + kBmpPaletteEntries * kBmpPaletteEntrySize; // 1078
inline constexpr uint16_t kBmpPlanes = 1;
inline constexpr uint16_t kBmpBitsPerPixel = 8;
inline constexpr uint32_t kBmpNoCompression = 0;

// A 6-bit palette component becomes component * 255 / 64, truncated.
inline constexpr int kPaletteScaleNumerator = 255;
inline constexpr int kPaletteScaleDenominator = 64;

inline constexpr int kTriangleCorners = 3;
inline constexpr int kQuadCorners = 4;

void PutU8(std::vector<uint8_t>& out, uint8_t value) {
    out.push_back(value);
}

void PutU16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

uint8_t ScalePaletteComponent(uint8_t component) {
    // Components above 63 are not valid; they keep the low byte of the product.
    return static_cast<uint8_t>(component * kPaletteScaleNumerator / kPaletteScaleDenominator);
}

// "Text" + at most eight digits + ".bmp" + NUL
using BitmapName = std::array<char, 17>;

BitmapName FormatBitmapName(uint32_t textureNumber) {
    BitmapName name;
    std::snprintf(name.data(), name.size(), "Text%03x.bmp", static_cast<unsigned>(textureNumber));
    return name;
}

// Removes a file whose write or close failed, so that no partial file stays;
// returns the error number to report.
int FailWrite(const std::string& fileName) {
    const int errorNumber = errno != 0 ? errno : EIO;
    std::remove(fileName.c_str());
    return errorNumber;
}

} // namespace

std::string TextureBitmapName(uint32_t textureNumber) {
    return FormatBitmapName(textureNumber).data();
}

const TextureArea* GetTextureArea(ConversionContext& context, uint32_t textureNumber,
                                  int32_t kind) {
    for (const auto& area : context.textureAreas) {
        if (area->textureNumber == textureNumber) {
            return area.get();
        }
    }
    try {
        context.textureAreas.push_back(
            std::make_unique<TextureArea>(CutTextureArea(context.level, textureNumber, kind)));
    } catch (const std::bad_alloc&) {
        RecordFailure(context, FormatBitmapName(textureNumber).data(), ENOMEM);
        return nullptr;
    }
    const TextureArea& area = *context.textureAreas.back();
    if (!context.writeBitmaps) {
        return &area;
    }
    const int errorNumber = WriteTextureBitmap(area);
    if (errorNumber != 0) {
        RecordFailure(context, area.fileName.c_str(), errorNumber);
        // No file holds this area, so it is not cached.
        context.textureAreas.pop_back();
        return nullptr;
    }
    return &area;
}

TextureArea CutTextureArea(const LevelData& level, uint32_t textureNumber, int32_t kind) {
    assert(textureNumber < level.objectTextures.size());
    const ObjectTexture& texture = level.objectTextures[textureNumber];
    assert(texture.tile < level.numTexturePages());

    TextureArea area;
    area.textureNumber = textureNumber;
    area.kind = kind;
    area.fileName = TextureBitmapName(textureNumber);
    area.pixels = level.texturePages8.data() + size_t{texture.tile} * kPageBytes8;
    area.palette = &level.palette;

    const int corners = kind == kTriangleArea ? kTriangleCorners : kQuadCorners;
    int minColumn = 255, minRow = 255, maxColumn = 0, maxRow = 0;
    for (int i = 0; i < corners; ++i) {
        const TextureVertex& corner = texture.vertices[i];
        minColumn = std::min<int>(minColumn, corner.xPixel);
        maxColumn = std::max<int>(maxColumn, corner.xPixel);
        minRow = std::min<int>(minRow, corner.yPixel);
        maxRow = std::max<int>(maxRow, corner.yPixel);
    }
    area.left = minColumn;
    area.top = minRow;
    area.width = maxColumn - minColumn + 1;
    area.height = maxRow - minRow + 1;
    return area;
}

std::vector<uint8_t> EncodeTextureBitmap(const TextureArea& area) {
    assert(area.pixels != nullptr && area.palette != nullptr);
    assert(area.width >= 1 && area.left + area.width <= static_cast<int32_t>(kPageSide));
    assert(area.height >= 1 && area.top + area.height <= static_cast<int32_t>(kPageSide));
    const uint32_t width = static_cast<uint32_t>(area.width);
    const uint32_t height = static_cast<uint32_t>(area.height);
    const uint32_t rowBytes = (width + 3) / 4 * 4; // width rounded up to a multiple of four
    const uint32_t imageSize = rowBytes * height;

    std::vector<uint8_t> out;
    out.reserve(kBmpPixelOffset + imageSize);

    // file header
    PutU8(out, kBmpMagic0);
    PutU8(out, kBmpMagic1);
    PutU32(out, kBmpPixelOffset + imageSize);
    PutU16(out, 0);
    PutU16(out, 0);
    PutU32(out, kBmpPixelOffset);

    // information header; a positive height means the rows are stored bottom-up
    PutU32(out, kBmpInfoHeaderSize);
    PutU32(out, width);
    PutU32(out, height);
    PutU16(out, kBmpPlanes);
    PutU16(out, kBmpBitsPerPixel);
    PutU32(out, kBmpNoCompression);
    PutU32(out, imageSize);
    PutU32(out, 0); // horizontal resolution
    PutU32(out, 0); // vertical resolution
    PutU32(out, kBmpPaletteEntries);
    PutU32(out, 0); // important colours

    // palette
    for (const PaletteEntry& entry : *area.palette) {
        PutU8(out, ScalePaletteComponent(entry.blue));
        PutU8(out, ScalePaletteComponent(entry.green));
        PutU8(out, ScalePaletteComponent(entry.red));
        PutU8(out, 0);
    }

    // pixel rows, bottom row first; padding bytes are zero
    for (uint32_t r = height; r-- > 0;) {
        const uint8_t* row =
            area.pixels + (static_cast<size_t>(area.top) + r) * kPageSide + area.left;
        out.insert(out.end(), row, row + width);
        out.insert(out.end(), rowBytes - width, 0);
    }
    return out;
}

int WriteTextureBitmap(const TextureArea& area) {
    std::vector<uint8_t> bytes;
    try {
        bytes = EncodeTextureBitmap(area);
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
    std::FILE* file = std::fopen(area.fileName.c_str(), "wb");
    if (file == nullptr) {
        return errno;
    }
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        const int errorNumber = errno;
        std::fclose(file);
        errno = errorNumber;
        return FailWrite(area.fileName);
    }
    errno = 0;
    if (std::fclose(file) != 0) {
        return FailWrite(area.fileName);
    }
    return 0;
}

std::vector<uint8_t> TextureAreaRgb(const TextureArea& area) {
    std::vector<uint8_t> rgb;
    rgb.reserve(size_t(area.width) * size_t(area.height) * 3);
    for (int32_t y = 0; y < area.height; ++y) {
        const uint8_t* row = area.pixels + size_t(area.top + y) * kPageSide + size_t(area.left);
        for (int32_t x = 0; x < area.width; ++x) {
            const PaletteEntry& entry = (*area.palette)[row[x]];
            rgb.push_back(ScalePaletteComponent(entry.red));
            rgb.push_back(ScalePaletteComponent(entry.green));
            rgb.push_back(ScalePaletteComponent(entry.blue));
        }
    }
    return rgb;
}
