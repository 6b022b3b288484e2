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
#include <functional>
#include <string>
#include <vector>

#include "convert/character_scene.h"

// Writes the scene as one GLB file at path, naming generator as the program
// that wrote it, through WriteFileReplacing. Returns 0, or the error number
// of the failure: EINVAL when a texture cannot be encoded, otherwise the
// file system's. Throws std::bad_alloc when memory runs out.
int WriteGlbFile(const CharacterScene& scene, const std::string& generator,
                 const std::string& path);

// Creates a new file beside path, has fill(fd) write it (returning 0 or an
// error number) and renames it over path only once it is complete and
// closed, so that path never holds a partial file. Returns 0, or the error
// number of the failure (the new file is then removed).
int WriteFileReplacing(const std::string& path, const std::function<int(int fd)>& fill);
