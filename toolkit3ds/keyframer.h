#pragma once
// Keyframer node numbering.
//
// In a file every keyframer node carries a number (its 0xB030 chunk) and names
// its parent by that number (in its 0xB010 header). In memory a node may name
// its parent by name instead, in a 0x80F0 chunk below its header that is never
// written. Just before a database is written, PrepareKeyframerNodes3ds numbers
// the direct children of the keyframer section 0xB000 in the order they stand
// and turns each parent name into the parent's number.
//
// Numbered nodes are 0xB002 to 0xB007; an ambient node 0xB001 gets kNoNode3ds
// and is neither counted nor looked up. A parent name is either a node name
// ("Hips") or a node name, a full stop and an instance name ("Hips.2").
//
// A process-wide node list holds the numbered nodes while the parent names are
// resolved; it is empty outside PrepareKeyframerNodes3ds.
//
// A record this module changes (a node number, a parent number) stays in
// memory: its chunk stops naming a source file (readFileIndex 255), so that
// neither this module nor the writer drops it for the file's stale copy.
//
// Failures follow errors.h: errors raised while loading records stop the
// numbering and stay pending for the caller.

#include "toolkit3ds/chunk_tree.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// --- Records -------------------------------------------------------------------

inline constexpr uint16_t kNoNode3ds = 0xFFFF; // no number, or no parent

// One numbered node of the node list.
struct NodeEntry3ds {
    uint16_t nodeId = kNoNode3ds;        // the number the node holds
    uint32_t tag = kTagNone3ds;          // the node's chunk tag
    std::string name;                    // the name in the node's header
    std::optional<std::string> instance; // object nodes only: the 0xB011 instance name
};

// --- Numbering -------------------------------------------------------------------

// Empties the node list, numbers and links the nodes (NumberAndLinkNodes3ds)
// and empties the list again. ERR_INVALID_ARG for a missing database.
void PrepareKeyframerNodes3ds(Database3ds* db);

// The two passes, on the direct children of the first 0xB000 of the tree:
// first each 0xB001 gets kNoNode3ds and each numbered node the next number
// from 0 up and an entry in the node list; then each numbered node's header
// takes the number of the parent its 0x80F0 names (kNoNode3ds when no entry
// matches or the header has no 0x80F0). A header without a loaded 0x80F0
// record keeps its parent number. So a parent may stand after its child.
// Nothing without a root or keyframer section. ERR_INVALID_ARG for a missing
// database; ERR_INVALID_DATA beyond 65535 numbered nodes (0xFFFF means none).
void NumberAndLinkNodes3ds(Database3ds* db);

// Stores the number in the first 0xB030 below the node (or the node itself);
// a node without one, or whose record cannot be had, is left as it is.
void SetNodeId3ds(Chunk3ds* node, uint16_t nodeId);
// The number in the node's 0xB030 record, or kNoNode3ds without one.
uint16_t GetNodeId3ds(Chunk3ds* node);

// Appends the node's entry to the node list: the header's name, the node's
// number and tag, and for an object node 0xB002 its 0xB011 instance name.
// A node without a header record is not recorded. ERR_NO_MEM.
void RecordNode3ds(Chunk3ds* node);

// The entry a parent name designates: with a full stop, the first entry whose
// name is the part before it and whose instance is the part after it; without
// one, the first entry of that name with no or an empty instance. Exact and
// case-sensitive. None when nothing matches. The entry is owned by the list.
const NodeEntry3ds* FindNodeEntry3ds(std::string_view parentName);

// Empties the node list.
void FreeNodeList3ds();

// The node list in numbering order, for tests.
const std::vector<NodeEntry3ds>& NodeList3ds();
