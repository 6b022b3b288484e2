#pragma once
// The bundled sample level: a standing figure made of tapered boxes.
//
// Meshes 0-14 and 30-35 are the body parts in the converter's order (hips,
// left thigh, calf and foot, right thigh, calf and foot, torso, right upper
// arm, forearm and hand, left upper arm, forearm and hand, head, six ponytail
// pieces). Each part is designed where it stands in the posed figure and
// stored in the level through the inverse of its part's fixed pose, so the
// converter's posing puts the figure together. Every face is wound
// counter-clockwise seen from outside, and every vertex normal points outward.
// Meshes 15-29 and 36-39 are small boxes; 36-39 carry light values instead
// of normals. Two texture pages hold the patterns (skin, shirt, shorts,
// boots, hair, a face and a checker with one blue quadrant); the other blocks
// hold a few entries each.

#include "tools/levelbuilder/level_builder.h"

inline constexpr size_t kSampleMeshCount = 40;

LevelDescription DescribeSampleLevel();
