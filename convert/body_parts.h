#pragma once
// The character's 21 body parts: the object name each becomes and the level
// mesh it is built from. The part number (the index into kBodyParts) is the
// order in which the mesh objects are made and the mesh colour they carry.

#include <array>
#include <cstddef>
#include <cstdint>

struct BodyPart {
    const char* name = "";   // object name, at most 10 characters
    uint32_t meshNumber = 0; // index into the level's meshes
};

inline constexpr size_t kBodyPartCount = 21;

// The body (meshes 0..14), then the six ponytail pieces (meshes 30..35).
inline constexpr std::array<BodyPart, kBodyPartCount> kBodyParts = {{
    {"Hips", 0},       {"L Thigh", 1},     {"L Calf", 2},     {"L Foot", 3},     {"R Thigh", 4},
    {"R Calf", 5},     {"R Foot", 6},      {"Torso", 7},      {"R UpperArm", 8}, {"R Forearm", 9},
    {"R Hand", 10},    {"L UpperArm", 11}, {"L Forearm", 12}, {"L Hand", 13},    {"Head", 14},
    {"Ptail Top", 30}, {"Ptail 2", 31},    {"Ptail 3", 32},   {"Ptail 4", 33},   {"Ptail 5", 34},
    {"Ptail Bot", 35},
}};

// The level must hold at least this many meshes: one past the highest mesh
// number above.
inline constexpr size_t kRequiredMeshCount = 36;
