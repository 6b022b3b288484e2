#pragma once
// Flattened views of level records, so tests compare them with EXPECT_EQ and
// get readable differences.

#include <vector>

#include "level/level_data.h"
#include "tools/levelbuilder/level_builder.h"

std::vector<int> Flatten(const std::vector<Vertex16>& points);
std::vector<int> Flatten(const std::vector<QuadFace>& faces);
std::vector<int> Flatten(const std::vector<TriangleFace>& faces);
std::vector<int> Flatten(const std::vector<ObjectTexture>& textures);

// Expects the decoded mesh to hold exactly what the description wrote.
void ExpectMeshAsDescribed(const MeshRecord& decoded, const BuilderMesh& described);

// Expects a record that decoding never filled.
void ExpectEmptyMesh(const MeshRecord& decoded);
