// The library's implementation, compiled once.
#define TINYGLTF_IMPLEMENTATION
#include "convert/gltf/tinygltf.h"
