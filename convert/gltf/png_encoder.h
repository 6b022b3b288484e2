#pragma once
// PNG encoding of the texture images embedded in glTF files.

#include <cstdint>
#include <span>
#include <vector>

// The PNG file of an 8-bit RGB image of width x height pixels, rows top
// first. Empty when the image cannot be encoded (a zero or huge size, or
// memory that runs out).
std::vector<uint8_t> EncodePng(std::span<const uint8_t> rgb, uint32_t width, uint32_t height);
