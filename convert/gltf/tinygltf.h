#pragma once
// tinygltf as the whole program uses it: no image decoding or encoding of
// its own (images are PNG bytes the converter makes, in a buffer view) and
// no image files. Every file that uses the library includes it through here,
// so that all of them see the same configuration.

#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <tiny_gltf.h>
