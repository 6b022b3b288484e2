#pragma once
// A level with entries in every block, for the reader's tests and the fuzz seeds.

#include <cstddef>

#include "tools/levelbuilder/level_builder.h"

// A level in which every block holds entries, including the blocks the
// reader skips: `pages` texture pages, two rooms (one with every per-room
// list, one empty), and three meshes (normals and all four face lists; light
// values with negative counts at an odd offset; an empty one).
LevelDescription EveryBlockLevel(size_t pages);
