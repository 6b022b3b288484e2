#pragma once
// A 3DS scene built chunk by chunk that holds every record layout of the
// toolkit, for round-trip tests and as fuzz seeds:
//
// - 3D editor section: settings, backgrounds, fog, a default view with an
//   orthographic, a user and a camera view, a viewport layout, a material with
//   colours, percentages, maps with procedural data and an automatic
//   reflection, a mesh with every mesh chunk (box map and extra data
//   included), a spotlight with its settings, an omni light, a camera, and
//   chunks of unknown tags that carry bytes;
// - keyframer section: frame range, current frame, an ambient node and nodes
//   of every other kind with every track type, linked to their parents by
//   parent-name notes, and one node whose parent no name designates (two
//   nodes share that name), linked by its parent's number.
//
// Every value differs from the defaults. The tree stands in file order, and
// it already holds what writing refreshes (versions, header revision, node
// numbers), so written, read back and written again it gives the same bytes.

#include "toolkit3ds/chunk_tree.h"

#include <memory>

// The scene as a new mesh-file database. Toolkit errors (ERR_NO_MEM) stay
// pending for the caller.
std::unique_ptr<Database3ds> BuildEveryLayoutScene();
