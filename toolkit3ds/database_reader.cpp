#include "toolkit3ds/database_reader.h"

#include "toolkit3ds/errors.h"
#include "toolkit3ds/keyframer.h"
#include "toolkit3ds/toolkit_state.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <new>
#include <string>
#include <vector>

namespace {

// A chunk whose sub-chunks are being read.
struct OpenChunk {
    Chunk3ds* chunk = nullptr;
    uint64_t next = 0;             // position of the next sub-chunk's header
    uint64_t end = 0;              // position behind the chunk's last byte
    Chunk3ds* lastChild = nullptr; // where the next sub-chunk is linked
};

// One reading of a file into a tree.
struct TreeReading {
    File3ds* file = nullptr;
    ReadDamage3ds damage; // the first damage found; later ones mostly follow from it
    bool cut = false;     // a chunk was cut at its parent's end; raised when reading ends
};

// Keeps the damage unless an earlier one is kept.
void KeepDamage(TreeReading& reading, const ReadDamage3ds& found) {
    if (reading.damage.kind == ReadDamage3ds::Kind::kNone) {
        reading.damage = found;
    }
}

// Keeps the damage and raises its code: the reading stops.
void NoteDamage(TreeReading& reading, const ReadDamage3ds& found, int32_t code) {
    KeepDamage(reading, found);
    RaiseError3ds(code);
}

void MoveTo(uint64_t position) {
    // Chunks are mostly read in file order: a seek costs a system call even
    // within the stream's buffer.
    if (uint64_t(GetFilePosition3ds()) != position) {
        SetFilePosition3ds(static_cast<int32_t>(position));
    }
}

// Reads the header at position of the current file and makes its chunk, inside
// a parent of the tag (0: the file) that ends at end. A chunk that claims more
// than its parent holds is taken to end with the parent, so that the bytes it
// does hold can be read; that damage is raised when reading ends. None after
// any other damage or error.
std::unique_ptr<Chunk3ds> ReadChunkHeader(TreeReading& reading, uint64_t position, uint64_t end,
                                          uint16_t parentTag) {
    ReadDamage3ds found;
    found.position = static_cast<uint32_t>(position);
    found.bytesLeft = end - position;
    found.parentTag = parentTag;
    if (found.bytesLeft < kChunkHeaderSize3ds) {
        found.kind = ReadDamage3ds::Kind::kHeaderCut;
        NoteDamage(reading, found, ERR_INVALID_CHUNK);
        return nullptr;
    }
    MoveTo(position);
    found.tag = ReadUShort3ds();
    found.length = ReadULong3ds();
    if (ErrorPending3ds) {
        return nullptr;
    }
    // Tag 0 and parent-name notes are never written, so no file of ours holds them and
    // the writer would drop them.
    if (found.tag == kTagNone3ds || found.tag == kTagParentName3ds) {
        found.kind = ReadDamage3ds::Kind::kTagNeverStored;
        NoteDamage(reading, found, ERR_INVALID_CHUNK);
        return nullptr;
    }
    if (found.length < kChunkHeaderSize3ds) {
        found.kind = ReadDamage3ds::Kind::kLengthBelowHeader;
        NoteDamage(reading, found, ERR_INVALID_CHUNK);
        return nullptr;
    }
    std::unique_ptr<Chunk3ds> chunk;
    NewChunkWithTag3ds(&chunk, found.tag);
    if (ErrorPending3ds) {
        return nullptr;
    }
    chunk->size = found.length;
    chunk->position = found.position;
    chunk->readFileIndex = reading.file->index;
    if (found.length > found.bytesLeft) {
        found.kind = ReadDamage3ds::Kind::kLengthBeyondParent;
        KeepDamage(reading, found);
        reading.cut = true;
        chunk->size = static_cast<uint32_t>(found.bytesLeft);
    }
    return chunk;
}

// Where the chunk's sub-chunks begin. A data tag's record is decoded to find
// its end, then dropped: it stays in the file until it is used.
uint64_t SubChunksStart(TreeReading& reading, Chunk3ds* chunk) {
    const uint64_t end = uint64_t{chunk->position} + chunk->size;
    switch (GetChunkKind3ds(chunk->tag)) {
    case ChunkKind3ds::kContainer:
        return uint64_t{chunk->position} + kChunkHeaderSize3ds;
    case ChunkKind3ds::kData: {
        ReadDamage3ds found;
        ReadChunkData3ds(chunk, &found.record);
        const int32_t recordEnd = GetFilePosition3ds();
        FreeChunkData3ds(chunk);
        if (ErrorPending3ds && found.record.kind != RecordFault3ds::Kind::kNone) {
            found.kind = ReadDamage3ds::Kind::kBadRecord;
            found.tag = static_cast<uint16_t>(chunk->tag);
            found.position = chunk->position;
            found.length = chunk->size;
            KeepDamage(reading, found);
        }
        return recordEnd < 0 ? end : uint64_t(recordEnd);
    }
    default:
        return end;
    }
}

// The root chunk, when the file starts with one.
std::unique_ptr<Chunk3ds> ReadRoot(TreeReading& reading) {
    File3ds* file = reading.file;
    const int64_t fileSize = GetFileSize3ds(file);
    if (fileSize < 0) {
        NoteFileFailure3ds(file->name, errno);
        RaiseError3ds(ERR_READING_FILE);
        return nullptr;
    }
    ReadDamage3ds found;
    found.bytesLeft = uint64_t(fileSize);
    if (fileSize > std::numeric_limits<int32_t>::max()) {
        found.kind = ReadDamage3ds::Kind::kFileTooLarge;
        NoteDamage(reading, found, ERR_READING_FILE);
        return nullptr;
    }
    if (fileSize == 0) {
        found.kind = ReadDamage3ds::Kind::kEmptyFile;
        NoteDamage(reading, found, ERR_INVALID_CHUNK);
        return nullptr;
    }
    SetCurrentFile3ds(file);
    // Any two bytes make a tag: a file that does not start with a root is
    // something else, whatever its length field would claim.
    if (fileSize >= 2) {
        found.tag = ReadUShort3ds();
        if (ErrorPending3ds) {
            return nullptr;
        }
        if (!IsRootTag3ds(found.tag)) {
            found.kind = ReadDamage3ds::Kind::kNotA3dsFile;
            NoteDamage(reading, found, ERR_INVALID_CHUNK);
            return nullptr;
        }
    }
    return ReadChunkHeader(reading, 0, uint64_t(fileSize), kTagNone3ds);
}

// Reads the file's chunks into a tree, depth first with an explicit stack.
void ReadChunkTree(TreeReading& reading, Database3ds* db) {
    File3ds* file = reading.file;
    db->root = ReadRoot(reading);
    if (db->root == nullptr) {
        return;
    }

    std::vector<OpenChunk> open; // the chunks from the root down whose sub-chunks are read
    auto openChunk = [&open, &reading](Chunk3ds* chunk) {
        const uint64_t start = SubChunksStart(reading, chunk);
        if (ErrorPending3ds) {
            return;
        }
        const uint64_t end = uint64_t{chunk->position} + chunk->size;
        if (start < end) {
            open.push_back({chunk, start, end, nullptr});
        }
    };
    openChunk(db->root.get());
    while (!ErrorPending3ds && !open.empty()) {
        OpenChunk& parent = open.back();
        if (parent.next == parent.end) {
            open.pop_back();
            continue;
        }
        SelectFileByIndex3ds(file->index);
        std::unique_ptr<Chunk3ds> chunk = ReadChunkHeader(reading, parent.next, parent.end,
                                                          static_cast<uint16_t>(parent.chunk->tag));
        if (ErrorPending3ds) {
            return;
        }
        // The root stands at depth 1, its sub-chunks at depth 2.
        if (open.size() + 1 > kMaxChunkDepth3ds) {
            ReadDamage3ds found;
            found.kind = ReadDamage3ds::Kind::kTooDeep;
            found.tag = static_cast<uint16_t>(chunk->tag);
            found.position = chunk->position;
            NoteDamage(reading, found, ERR_INVALID_CHUNK);
            return;
        }
        parent.next += chunk->size;
        Chunk3ds* added = chunk.get();
        (parent.lastChild == nullptr ? parent.chunk->child : parent.lastChild->next) =
            std::move(chunk);
        parent.lastChild = added;
        openChunk(added); // may move the stack: parent is not used after this
    }
}

// --- Keyframer links -----------------------------------------------------------

// A numbered node as the numbering will see it.
struct LoadedNode {
    Chunk3ds* node = nullptr;
    Chunk3ds* header = nullptr;
    uint16_t number = kNoNode3ds;     // what the numbering will give it
    uint16_t fileNumber = kNoNode3ds; // what the file gives it: its 0xB030, else its number
};

bool IsNumberedNode(uint32_t tag) {
    return tag >= kTagObjectNode3ds && tag <= kTagSpotlightNode3ds;
}

Chunk3ds* Find(Chunk3ds* start, uint32_t tag) {
    Chunk3ds* found = nullptr;
    SearchChunk3ds(start, tag, &found);
    return found;
}

// Gives the node a number chunk in front of its other chunks when it has none.
void EnsureNodeNumber(const LoadedNode& node) {
    if (Find(node.node, kTagNodeId3ds) != nullptr) {
        return;
    }
    std::unique_ptr<Chunk3ds> idChunk;
    auto* record = GetChunkData3ds<WordData3ds>(NewChunkAndData3ds(&idChunk, kTagNodeId3ds));
    if (ErrorPending3ds) {
        return;
    }
    record->value = node.number;
    idChunk->next = std::move(node.node->child);
    node.node->child = std::move(idChunk);
}

// Links a child's header to its parent: by a note naming the parent when the
// name finds it among the recorded nodes, else by keeping the parent's number
// in the header beside a note without text.
void LinkToParent(const LoadedNode& child, const LoadedNode& parent, const NodeEntry3ds& entry) {
    std::string name = entry.name;
    if (entry.instance.has_value() && !entry.instance->empty()) {
        name += "." + *entry.instance;
    }
    std::unique_ptr<Chunk3ds> note;
    NewChunkWithTag3ds(&note, kTagParentName3ds);
    if (ErrorPending3ds) {
        return;
    }
    if (FindNodeEntry3ds(name) == &entry) {
        auto* text = GetChunkData3ds<StringData3ds>(NewChunkData3ds(note.get()));
        if (ErrorPending3ds) {
            return;
        }
        text->text = std::move(name);
    } else {
        auto* header = GetChunkData3ds<NodeHeaderData3ds>(ReadChunkData3ds(child.header));
        if (ErrorPending3ds || header == nullptr) {
            return;
        }
        header->parentId = parent.number;
        child.header->readFileIndex = kNoFileIndex3ds; // keeps the changed record
    }
    AppendChild3ds(child.header, std::move(note));
}

// Turns the parent numbers of the keyframer section's nodes into what the
// numbering of keyframer.h resolves again: nodes are numbered as it numbers
// them, and the node list it resolves names with is filled the same way.
void LinkKeyframerNodes(Database3ds* db) {
    Chunk3ds* section = Find(db->root.get(), kTagKeyframer3ds);
    if (section == nullptr) {
        return;
    }
    FreeNodeList3ds();
    std::vector<LoadedNode> nodes; // the recorded nodes, in the order of NodeList3ds()
    uint32_t counter = 0;
    for (Chunk3ds* node = section->child.get(); node != nullptr && counter < kNoNode3ds;
         node = node->next.get()) {
        if (!IsNumberedNode(node->tag)) {
            continue;
        }
        LoadedNode loaded;
        loaded.node = node;
        loaded.header = Find(node, kTagNodeHeader3ds);
        loaded.number = static_cast<uint16_t>(counter++);
        loaded.fileNumber =
            Find(node, kTagNodeId3ds) != nullptr ? GetNodeId3ds(node) : loaded.number;
        const size_t recorded = NodeList3ds().size();
        RecordNode3ds(node);
        if (ErrorPending3ds) {
            return;
        }
        if (NodeList3ds().size() > recorded) {
            nodes.push_back(loaded);
        }
    }

    // By file number, the first of equal numbers first.
    std::vector<size_t> byNumber(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        byNumber[i] = i;
    }
    std::sort(byNumber.begin(), byNumber.end(), [&nodes](size_t a, size_t b) {
        return nodes[a].fileNumber != nodes[b].fileNumber
                   ? nodes[a].fileNumber < nodes[b].fileNumber
                   : a < b;
    });

    for (const LoadedNode& child : nodes) {
        auto* header = GetChunkData3ds<NodeHeaderData3ds>(ReadChunkData3ds(child.header));
        if (ErrorPending3ds) {
            return;
        }
        const uint16_t parentNumber = header == nullptr ? kNoNode3ds : header->parentId;
        DropRereadableData3ds(child.header);
        const auto found = std::lower_bound(
            byNumber.begin(), byNumber.end(), parentNumber,
            [&nodes](size_t index, uint16_t number) { return nodes[index].fileNumber < number; });
        if (parentNumber == kNoNode3ds || found == byNumber.end() ||
            nodes[*found].fileNumber != parentNumber) {
            continue; // no parent, or one the file does not hold
        }
        const LoadedNode& parent = nodes[*found];
        EnsureNodeNumber(parent);
        if (ErrorPending3ds) {
            return;
        }
        LinkToParent(child, parent, NodeList3ds()[*found]);
        if (ErrorPending3ds) {
            return;
        }
    }
    FreeNodeList3ds();
}

} // namespace

bool IsRootTag3ds(uint32_t tag) {
    return tag == kTagMeshFile3ds || tag == kTagProjectFile3ds || tag == kTagMaterialLibrary3ds;
}

void ReadDatabase3ds(File3ds* file, Database3ds* db, ReadDamage3ds* damage) {
    if (file == nullptr || db == nullptr || file->mode != kModeRead3ds ||
        GetFileByIndex3ds(file->index) != file) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    FreeChunkTree3ds(db->root);
    FreeNameIndex3ds(db->objectIndex);
    FreeNameIndex3ds(db->materialIndex);
    FreeNameIndex3ds(db->nodeIndex);
    db->objectIndexStale = true;
    db->materialIndexStale = true;
    db->nodeIndexStale = true;

    TreeReading reading;
    reading.file = file;
    try {
        ReadChunkTree(reading, db);
        if (!ErrorPending3ds && !reading.cut) {
            LinkKeyframerNodes(db);
        }
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
    }
    FreeNodeList3ds();
    // A cut chunk came first: its code goes before those of what stopped the reading.
    if (reading.cut) {
        const std::vector<int32_t> later = TakeErrors3ds();
        RaiseError3ds(ERR_INVALID_CHUNK);
        RaiseErrors3ds(later);
    }
    if (damage != nullptr) {
        *damage = reading.damage;
    }
    if (ErrorPending3ds) {
        RaiseError3ds(ERR_READING_DATABASE);
    }
}
