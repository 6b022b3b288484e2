#pragma once
// The benchmark levels, described through the level builder from the sample
// figure (tools/levelbuilder/sample_level.h). They are generated at bench
// time by make_bench_levels, never committed.
//
//   large-small      the sample figure (266 model faces) in a level filled to
//                    84 MB with texture pages
//   dense-1x/4x/16x  the sample figure with every face of its 21 body parts
//                    split into 6 x 6, 12 x 12 or 24 x 24 smaller ones
//   dense-16x-100mb  the 16x figure among thousands of other meshes and rooms,
//                    filled to 100 MB with texture pages
//   anims-16x/64x    the sample figure with 16 or 64 copies of her animations

#include <array>
#include <cstdint>
#include <string_view>

#include "tools/levelbuilder/level_builder.h"

struct BenchLevel {
    std::string_view name;   // file name without ".qlv"
    std::string_view label;  // what the level holds, for the table
    int split = 1;           // each body part face becomes split x split faces
    size_t bulkMeshes = 0;   // other meshes added after the sample's
    size_t bulkRooms = 0;    // rooms added after the sample's
    uint64_t fillTo = 0;     // texture pages are added until the file has this many bytes
    int animationCopies = 1; // her animations repeated this many times, each with its own frames
};

inline constexpr std::array<BenchLevel, 7> kBenchLevels = {{
    {"large-small", "sample figure, 84 MB of texture pages", 1, 0, 0, 84'000'000},
    {"dense-1x", "figure 1x (faces split 6 x 6)", 6, 0, 0, 0},
    {"dense-4x", "figure 4x (faces split 12 x 12)", 12, 0, 0, 0},
    {"dense-16x", "figure 16x (faces split 24 x 24)", 24, 0, 0, 0},
    {"dense-16x-100mb", "figure 16x, 4000 more meshes, 2000 rooms, 100 MB", 24, 4000, 2000,
     100'000'000},
    {"anims-16x", "sample figure, 16 x her animations", 1, 0, 0, 0, 16},
    {"anims-64x", "sample figure, 64 x her animations", 1, 0, 0, 0, 64},
}};

// Splits every face into split x split faces (a triangle into split^2
// triangles). Each face gets vertices of its own, placed on the face, with
// normals blended from its corners' normals; faces keep their texture field
// and winding.
void SplitFaces(BuilderMesh& mesh, int split);

// The level a BenchLevel describes.
LevelDescription DescribeBenchLevel(const BenchLevel& level);
