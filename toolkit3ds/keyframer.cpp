#include "toolkit3ds/keyframer.h"

#include "toolkit3ds/errors.h"

#include <new>
#include <utility>

namespace {

// All of this module's process-wide state.
struct KeyframerState {
    std::vector<NodeEntry3ds> nodes; // numbered nodes, in numbering order
};

KeyframerState state;

// Numbers run from 0 to 0xFFFE; 0xFFFF means no node.
constexpr uint32_t kNodeCountLimit = kNoNode3ds;

bool IsNumberedNode(uint32_t tag) {
    switch (tag) {
    case kTagObjectNode3ds:
    case kTagCameraNode3ds:
    case kTagCameraTargetNode3ds:
    case kTagLightNode3ds:
    case kTagLightTargetNode3ds:
    case kTagSpotlightNode3ds:
        return true;
    default:
        return false;
    }
}

// The first chunk with the tag in the subtree of start, or none.
Chunk3ds* Find(Chunk3ds* start, uint32_t tag) {
    Chunk3ds* found = nullptr;
    SearchChunk3ds(start, tag, &found);
    return found;
}

// The node's header chunk in *header and its record, loaded; none without
// header or record.
NodeHeaderData3ds* LoadHeader(Chunk3ds* node, Chunk3ds** header) {
    *header = Find(node, kTagNodeHeader3ds);
    return *header == nullptr ? nullptr
                              : GetChunkData3ds<NodeHeaderData3ds>(ReadChunkData3ds(*header));
}

// Resolves the parent name below one node's header into its parent number.
void LinkNode(Chunk3ds* node) {
    Chunk3ds* header = nullptr;
    NodeHeaderData3ds* record = LoadHeader(node, &header);
    if (ErrorPending3ds || record == nullptr) {
        return;
    }
    uint16_t parentId = kNoNode3ds;
    Chunk3ds* note = Find(header, kTagParentName3ds);
    if (note != nullptr) {
        auto* parentName = GetChunkData3ds<StringData3ds>(ReadChunkData3ds(note));
        if (ErrorPending3ds) {
            return;
        }
        if (parentName == nullptr) {
            return;
        }
        const NodeEntry3ds* parent = FindNodeEntry3ds(parentName->text);
        parentId = parent == nullptr ? kNoNode3ds : parent->nodeId;
    }
    if (record->parentId != parentId) {
        record->parentId = parentId;
        header->readFileIndex = kNoFileIndex3ds;
    }
    DropRereadableData3ds(note);
}

} // namespace

void PrepareKeyframerNodes3ds(Database3ds* db) {
    if (db == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    FreeNodeList3ds();
    NumberAndLinkNodes3ds(db);
    FreeNodeList3ds();
}

void NumberAndLinkNodes3ds(Database3ds* db) {
    if (db == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    FreeNodeList3ds();
    Chunk3ds* section = Find(db->root.get(), kTagKeyframer3ds);
    if (ErrorPending3ds) {
        return;
    }
    if (section == nullptr) {
        return;
    }

    // First pass: every number is given before any parent is looked up.
    uint32_t counter = 0;
    for (Chunk3ds* node = section->child.get(); node != nullptr; node = node->next.get()) {
        if (node->tag == kTagAmbientNode3ds) {
            SetNodeId3ds(node, kNoNode3ds);
            if (ErrorPending3ds) {
                return;
            }
        } else if (IsNumberedNode(node->tag)) {
            if (counter >= kNodeCountLimit) {
                RaiseError3ds(ERR_INVALID_DATA);
                return;
            }
            SetNodeId3ds(node, static_cast<uint16_t>(counter));
            if (ErrorPending3ds) {
                return;
            }
            RecordNode3ds(node);
            if (ErrorPending3ds) {
                return;
            }
            // A node without a number chunk or header still takes its number.
            ++counter;
        }
    }

    // Second pass: parent names to parent numbers.
    for (Chunk3ds* node = section->child.get(); node != nullptr; node = node->next.get()) {
        if (IsNumberedNode(node->tag)) {
            LinkNode(node);
            if (ErrorPending3ds) {
                return;
            }
        }
    }
}

void SetNodeId3ds(Chunk3ds* node, uint16_t nodeId) {
    Chunk3ds* idChunk = Find(node, kTagNodeId3ds);
    if (idChunk == nullptr) {
        return;
    }
    auto* record = GetChunkData3ds<WordData3ds>(ReadChunkData3ds(idChunk));
    if (ErrorPending3ds) {
        return;
    }
    if (record != nullptr && record->value != nodeId) {
        record->value = nodeId;
        idChunk->readFileIndex = kNoFileIndex3ds;
    }
}

uint16_t GetNodeId3ds(Chunk3ds* node) {
    Chunk3ds* idChunk = Find(node, kTagNodeId3ds);
    if (idChunk == nullptr) {
        return kNoNode3ds;
    }
    auto* record = GetChunkData3ds<WordData3ds>(ReadChunkData3ds(idChunk));
    const uint16_t nodeId = record == nullptr ? kNoNode3ds : record->value;
    DropRereadableData3ds(idChunk);
    return nodeId;
}

void RecordNode3ds(Chunk3ds* node) {
    Chunk3ds* header = nullptr;
    NodeHeaderData3ds* record = LoadHeader(node, &header);
    if (ErrorPending3ds || record == nullptr) {
        return;
    }
    try {
        NodeEntry3ds entry;
        entry.name = record->name;
        entry.nodeId = GetNodeId3ds(node);
        if (ErrorPending3ds) {
            return;
        }
        entry.tag = node->tag;
        if (node->tag == kTagObjectNode3ds) {
            Chunk3ds* instanceChunk = Find(node, kTagInstanceName3ds);
            if (instanceChunk != nullptr) {
                auto* instance = GetChunkData3ds<StringData3ds>(ReadChunkData3ds(instanceChunk));
                if (ErrorPending3ds) {
                    return;
                }
                if (instance != nullptr) {
                    entry.instance = instance->text;
                }
                DropRereadableData3ds(instanceChunk);
            }
        }
        state.nodes.push_back(std::move(entry));
    } catch (const std::bad_alloc&) {
        // A node missing from the list would silently lose its children's links.
        RaiseError3ds(ERR_NO_MEM);
        return;
    }
    DropRereadableData3ds(header);
}

const NodeEntry3ds* FindNodeEntry3ds(std::string_view parentName) {
    const size_t dot = parentName.find('.');
    if (dot != std::string_view::npos) {
        const std::string_view name = parentName.substr(0, dot);
        const std::string_view instance = parentName.substr(dot + 1);
        for (const NodeEntry3ds& entry : state.nodes) {
            if (entry.name == name && entry.instance.has_value() && *entry.instance == instance) {
                return &entry;
            }
        }
        return nullptr;
    }
    for (const NodeEntry3ds& entry : state.nodes) {
        if (entry.name == parentName && (!entry.instance.has_value() || entry.instance->empty())) {
            return &entry;
        }
    }
    return nullptr;
}

void FreeNodeList3ds() {
    std::vector<NodeEntry3ds>().swap(state.nodes);
}

const std::vector<NodeEntry3ds>& NodeList3ds() {
    return state.nodes;
}
