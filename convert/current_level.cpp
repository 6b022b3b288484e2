#include "convert/current_level.h"

#include <cassert>

namespace {

const LevelData* gCurrentLevel = nullptr;

} // namespace

void SetCurrentLevel(const LevelData& level) {
    gCurrentLevel = &level;
}

const LevelData& CurrentLevel() {
    assert(gCurrentLevel != nullptr);
    return *gCurrentLevel;
}

bool HasCurrentLevel() {
    return gCurrentLevel != nullptr;
}

void ClearCurrentLevel() {
    gCurrentLevel = nullptr;
}
