#pragma once
// Levels for the converter's tests, described through the level builder.

#include "level/level_data.h"
#include "tools/levelbuilder/level_builder.h"

// 36 meshes with normals; every body-part mesh is one coloured triangle,
// counter-clockwise about its +z normals, of palette colour 1; the other
// meshes are empty. One texture page, three object textures on it, and a
// palette with a few distinct entries.
LevelDescription SmallCharacterLevel();

// The level as the reader loads it from the built bytes (a test failure when
// it does not load).
LevelData LoadDescribedLevel(const LevelDescription& description);
