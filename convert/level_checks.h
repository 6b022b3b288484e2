#pragma once
// The checks a level must pass before its conversion starts. Conversion
// indexes the level's meshes, vertices, normals, object textures and pages
// directly and keeps vertex numbers in 15 bits and counts in 16 bits; these
// checks reject exactly the levels that would take it out of range, so that
// a bad level stops before any output file is created or truncated.

#include <cstddef>
#include <string>

#include "convert/body_parts.h"
#include "level/level_data.h"

// Limits of one converted part: vertex numbers, copies included, must fit in
// the 15 bits beside the reverse-winding mark, and the face count in 16 bits.
inline constexpr size_t kMaxPartVertices = 32768;
inline constexpr size_t kMaxPartFaces = 65535;

// Checks what the conversion will read, in part order, and returns the first
// problem as one line without the level's path, for example
// "mesh 7, textured quad 3, corner 2: vertex 120 is out of range (the mesh has 100 vertices)";
// an empty string when the level can be converted. Checked:
//   - the level holds at least kRequiredMeshCount meshes;
//   - mesh decoding did not stop (LevelData::meshDecodingStop) at or before
//     the last body-part mesh: "mesh 20: its data runs past the end of the
//     mesh words";
//   - per body-part mesh (kBodyParts): its face count (a quad makes two
//     faces) is at most kMaxPartFaces;
//   - per face, in the order textured quads, textured triangles, coloured
//     quads, coloured triangles: every corner's vertex number (low 15 bits)
//     is below the vertex count; the first three corners, which the
//     orientation test reads as whole 16-bit numbers, are below the vertex
//     count and the normal count; a textured face's texture is an object
//     texture of the level, and that object texture's page exists;
//   - per body-part mesh: after every shared vertex has been copied for each
//     extra corner that uses it, at most kMaxPartVertices vertices.
// A mesh without vertices and without faces passes. Only reads the level.
std::string CheckLevelForConversion(const LevelData& level);
