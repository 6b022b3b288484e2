#pragma once
// The glTF writer: turns a character scene (character_scene.h) into one
// self-contained binary glTF 2.0 file (GLB), textures inside.
//
// What the file holds: one scene whose root node is the scene's root; a node
// per scene node with its rest translation and rotation; one mesh per node
// that has one, its primitives sharing the mesh's POSITION (with min and
// max), NORMAL and TEXCOORD_0 accessors, one primitive and 16-bit index list
// per material; one material per scene material, not metallic, fully rough,
// "Text" materials with their texture as a PNG in a buffer view (repeating,
// nearest-pixel filtering), "Color" materials with a base colour factor; one
// animation per scene animation with linear samplers: the root joint's
// translation and every joint's rotation per keyframe, and each other joint's
// fixed translation as a one-key sampler shared by all animations. Every
// number goes into the binary chunk little-endian, whatever the host.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "convert/character_scene.h"

// The GLB file's bytes, naming generator as the program that wrote it.
// Throws std::bad_alloc when memory runs out; any other failure (a texture
// that cannot be encoded) gives an empty result.
std::vector<uint8_t> EncodeGlb(const CharacterScene& scene, const std::string& generator);

// Writes the bytes to path: into a new file beside it, renamed over path only
// once complete, so that path never holds a partial file. Returns 0, or the
// error number of the failure (the new file is then removed).
int WriteFileReplacing(const std::string& path, std::span<const uint8_t> bytes);
