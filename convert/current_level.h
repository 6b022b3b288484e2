#pragma once
// The level being converted: one process-wide reference that model assembly
// sets first thing and that the material and bitmap operations read (the
// palette, the texture pages and the object textures).

#include "level/level_data.h"

// Makes level the current level. The level is borrowed: it must outlive every
// later use of CurrentLevel (the converter's level lives until the process ends).
void SetCurrentLevel(const LevelData& level);

// The current level. Calling it before SetCurrentLevel is a programming error.
const LevelData& CurrentLevel();

// True once a level has been set and not cleared since.
bool HasCurrentLevel();

// Forgets the current level (tests).
void ClearCurrentLevel();
