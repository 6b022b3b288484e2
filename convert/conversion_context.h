#pragma once
// One conversion's state: the level being converted, the used lists of the
// part being built, the texture areas cut and written so far and the failure
// that ended the run. The run sequence creates one per run and hands it down
// to every converter operation that needs it, so nothing of one run is seen
// by the next, even in the same process.

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "convert/texture_bitmaps.h"
#include "level/level_data.h"

// A converter failure that ends the run with exit code 1: a bitmap that
// cannot be written or memory that runs out. Recording one allocates nothing,
// so exhausted memory is reported like any other failure.
struct ConversionFailure {
    bool happened = false;
    std::array<char, 64> what{}; // file name or allocation message, NUL-terminated
    int errorNumber = 0;         // errno value whose description follows what
};

struct ConversionContext {
    explicit ConversionContext(LevelData& levelToConvert) : level(levelToConvert) {}
    ConversionContext(const ConversionContext&) = delete;
    ConversionContext& operator=(const ConversionContext&) = delete;

    // Borrowed; must have passed CheckLevelForConversion. The conversion marks
    // and renumbers the corners of its faces.
    LevelData& level;
    std::vector<uint32_t> usedTextures; // the part's texture numbers, in order of first use
    std::vector<uint32_t> usedColours;  // the part's palette indexes, in order of first use
    // Every area cut and written in this run, each allocated on its own so
    // that references handed out stay valid while the list grows.
    std::vector<std::unique_ptr<TextureArea>> textureAreas;
    // Materials already put in this run's database, by texture number and by
    // palette index. A repeated put would only replace a material with the
    // same record, so it is skipped.
    std::vector<bool> textureMaterialsPut;
    std::array<bool, 256> colourMaterialsPut{};
    ConversionFailure failure; // set by the first failure; the run stops there
    // Whether a texture area's bitmap is written when it is first cut; a
    // scene for another format only cuts the areas.
    bool writeBitmaps = true;
};

// Records a failure in the context: what (cut to fit) and the error number.
void RecordFailure(ConversionContext& context, const char* what, int errorNumber);

// Writes what, ": ", the system's description of the error number and a
// newline to stream as one line. Allocates nothing.
void PrintFailure(std::FILE* stream, const ConversionFailure& failure);
