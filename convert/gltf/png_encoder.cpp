#include "convert/gltf/png_encoder.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace {

inline constexpr uint32_t kRgbComponents = 3;
// Texture areas are at most one page of 256 x 256; anything far larger is a mistake.
inline constexpr uint32_t kMaxSide = 1 << 14;

void Append(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

} // namespace

std::vector<uint8_t> EncodePng(std::span<const uint8_t> rgb, uint32_t width, uint32_t height) {
    std::vector<uint8_t> png;
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide ||
        rgb.size() != size_t{width} * height * kRgbComponents) {
        return png;
    }
    const int stride = static_cast<int>(width * kRgbComponents);
    if (stbi_write_png_to_func(Append, &png, static_cast<int>(width), static_cast<int>(height),
                               kRgbComponents, rgb.data(), stride) == 0) {
        png.clear();
    }
    return png;
}
