#include "toolkit3ds/chunk_tree.h"

#include "toolkit3ds/errors.h"

#include <new>
#include <utility>

namespace {

// Revision and animation length of a new keyframer header; version of a new file and mesh.
constexpr int16_t kKeyframerRevision = 5;
constexpr int32_t kDefaultAnimLength = 30;
constexpr int32_t kFileVersion = 3;
constexpr int32_t kMeshVersion = 3;

// Frees a chain of chunks without recursion. Seen as a binary tree (child left,
// next right), each step either rotates the left subtree up or frees a node
// that has no child, so every node is visited a bounded number of times and no
// destructor ever has anything left to free.
void FreeChain(std::unique_ptr<Chunk3ds> node) {
    while (node != nullptr) {
        if (node->child != nullptr) {
            std::unique_ptr<Chunk3ds> top = std::move(node->child);
            node->child = std::move(top->next);
            top->next = std::move(node);
            node = std::move(top);
        } else {
            std::unique_ptr<Chunk3ds> rest = std::move(node->next);
            node.reset();
            node = std::move(rest);
        }
    }
}

Chunk3ds* SearchTree(Chunk3ds* chunk, uint32_t tag) {
    if (chunk->tag == tag) {
        return chunk;
    }
    for (Chunk3ds* child = chunk->child.get(); child != nullptr; child = child->next.get()) {
        if (Chunk3ds* found = SearchTree(child, tag)) {
            return found;
        }
    }
    return nullptr;
}

// The first chunk with the tag in the subtree of start, or none.
Chunk3ds* FindInTree(Chunk3ds* start, uint32_t tag) {
    return start == nullptr ? nullptr : SearchTree(start, tag);
}

// The section with the tag, found anywhere under the root, or a new one
// inserted in order under the root.
Chunk3ds* FindOrAddSection(Chunk3ds* root, ChunkTag3ds tag) {
    if (Chunk3ds* section = FindInTree(root, tag)) {
        return section;
    }
    std::unique_ptr<Chunk3ds> section;
    NewChunkWithTag3ds(&section, tag);
    if (ErrorPending3ds) {
        return nullptr;
    }
    return InsertChildInOrder3ds(root, std::move(section));
}

// The name a chunk's record holds first, or none when it has no loadable
// record of a named layout.
const std::string* RecordName(Chunk3ds* chunk) {
    ChunkData3ds* data = ReadChunkData3ds(chunk);
    if (auto* text = GetChunkData3ds<StringData3ds>(data)) {
        return &text->text;
    }
    return nullptr;
}

const std::string* MaterialName(Chunk3ds* material) {
    Chunk3ds* nameChunk = FindInTree(material, kTagMaterialName3ds);
    return nameChunk == nullptr ? nullptr : RecordName(nameChunk);
}

// What the object index and the material index differ in.
struct IndexKind {
    uint32_t tag;                            // the named chunks
    const std::string* (*nameOf)(Chunk3ds*); // a chunk's name, or none
    std::unique_ptr<NameIndex3ds> Database3ds::*index;
    bool Database3ds::*stale;
    void (*refresh)(Database3ds*); // RefreshObjectIndex3ds or RefreshMaterialIndex3ds
};

constexpr IndexKind kObjectIndex = {kTagNamedObject3ds, RecordName, &Database3ds::objectIndex,
                                    &Database3ds::objectIndexStale, RefreshObjectIndex3ds};
constexpr IndexKind kMaterialIndex = {kTagMaterial3ds, MaterialName, &Database3ds::materialIndex,
                                      &Database3ds::materialIndexStale, RefreshMaterialIndex3ds};

// Rebuilds a stale index from the chunks of its kind, starting at the first
// one under section and going on along its siblings. Chunks without a name
// are left out. On an error the index stays stale.
void RefreshIndex(Database3ds* db, Chunk3ds* section, const IndexKind& kind) {
    bool& stale = db->*kind.stale;
    if (!stale) {
        return;
    }
    stale = false;
    ++db->indexRebuilds;
    std::unique_ptr<NameIndex3ds>& index = db->*kind.index;
    const uint32_t tag = kind.tag;
    FreeNameIndex3ds(index);
    Chunk3ds* first = FindInTree(section, tag);
    uint32_t count = 0;
    for (Chunk3ds* chunk = first; chunk != nullptr; chunk = chunk->next.get()) {
        if (chunk->tag == tag) {
            ++count;
        }
    }
    NewNameIndex3ds(&index, 0);
    if (ErrorPending3ds) {
        stale = true;
        return;
    }
    try {
        index->entries.reserve(count);
        index->firstByName.reserve(count);
        for (Chunk3ds* chunk = first; chunk != nullptr; chunk = chunk->next.get()) {
            if (chunk->tag != tag) {
                continue;
            }
            const std::string* name = kind.nameOf(chunk);
            if (ErrorPending3ds) {
                stale = true;
                return;
            }
            if (name != nullptr) {
                index->entries.push_back({*name, chunk});
                index->firstByName.emplace(*name, chunk);
            }
        }
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
        stale = true;
        return;
    }
    if (index->entries.empty()) {
        return;
    }
    const Chunk3ds* last = index->entries.back().chunk;
    const int key = ChunkOrderKey3ds(tag);
    const Chunk3ds* child = section->child.get();
    while (child != nullptr && child != last && ChunkOrderKey3ds(child->tag) >= key) {
        child = child->next.get();
    }
    index->orderedSection = child == last ? section : nullptr;
}

// See IndexPutObject3ds. The index was fresh when the put looked the name up.
void IndexPut(Database3ds* db, Chunk3ds* chunk, const IndexKind& kind) {
    NameIndex3ds* index = (db->*kind.index).get();
    if (index == nullptr || index->entries.empty() || chunk == nullptr) {
        return;
    }
    const std::string* name = kind.nameOf(chunk);
    if (ErrorPending3ds || name == nullptr) {
        return;
    }
    const auto found = index->firstByName.find(*name);
    if (found != index->firstByName.end()) {
        db->*kind.stale = found->second != chunk;
        return;
    }
    // Named chunks between the last entry and the new one would have to come first.
    const int key = ChunkOrderKey3ds(kind.tag);
    for (Chunk3ds* next = index->entries.back().chunk->next.get(); next != nullptr;
         next = next->next.get()) {
        if (ChunkOrderKey3ds(next->tag) < key) {
            index->orderedSection = nullptr;
        }
        if (next == chunk) {
            try {
                index->entries.push_back({*name, chunk});
                index->firstByName.emplace(*name, chunk);
                db->*kind.stale = false;
            } catch (const std::bad_alloc&) {
                RaiseError3ds(ERR_NO_MEM);
                db->*kind.stale = true;
            }
            return;
        }
        if (next->tag == kind.tag) {
            return;
        }
    }
}

// The lookup's first check: ERR_INVALID_ARG for a missing argument.
bool CheckLookUp(const Database3ds* db, const char* name, Chunk3ds** found) {
    if (db == nullptr || name == nullptr || found == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return false;
    }
    *found = nullptr;
    return true;
}

// *found is the first chunk of the refreshed index with the name, or none.
void LookUp(Database3ds* db, const char* name, Chunk3ds** found, const IndexKind& kind) {
    kind.refresh(db);
    if (ErrorPending3ds) {
        return;
    }
    const NameIndex3ds* index = (db->*kind.index).get();
    if (index == nullptr) {
        return;
    }
    const auto entry = index->firstByName.find(std::string_view(name));
    if (entry != index->firstByName.end()) {
        *found = entry->second;
    }
}

void MarkStale(Database3ds* db, const IndexKind& kind) {
    if (db == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    db->*kind.stale = true;
}

// The root whose default chunks are set, or none: ERR_INVALID_ARG for a
// missing database, missingRootCode for one without a root.
Chunk3ds* DefaultsRoot(Database3ds* db, int32_t missingRootCode) {
    if (db == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return nullptr;
    }
    if (db->root == nullptr) {
        RaiseError3ds(missingRootCode);
    }
    return db->root.get();
}

bool IsMeshOrProject(const Chunk3ds* root) {
    return root->tag == kTagMeshFile3ds || root->tag == kTagProjectFile3ds;
}

// Resets or adds the parent's child with the tag and gives it a new long record.
void SetLongChild(Chunk3ds* parent, ChunkTag3ds tag, int32_t value) {
    Chunk3ds* chunk = nullptr;
    ResetOrAddChild3ds(parent, tag, &chunk);
    if (ErrorPending3ds) {
        return;
    }
    auto* record = GetChunkData3ds<LongData3ds>(NewChunkData3ds(chunk));
    if (ErrorPending3ds) {
        return;
    }
    record->value = value;
}

} // namespace

Chunk3ds::~Chunk3ds() {
    FreeChain(std::move(child));
    FreeChain(std::move(next));
}

// --- Chunks ----------------------------------------------------------------------

void NewChunk3ds(std::unique_ptr<Chunk3ds>* chunk) {
    if (chunk == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    try {
        *chunk = std::make_unique<Chunk3ds>();
    } catch (const std::bad_alloc&) {
        chunk->reset();
        RaiseError3ds(ERR_NO_MEM);
    }
}

void NewChunkWithTag3ds(std::unique_ptr<Chunk3ds>* chunk, uint32_t tag) {
    NewChunk3ds(chunk);
    if (ErrorPending3ds) {
        return;
    }
    (*chunk)->tag = tag;
}

ChunkData3ds* NewChunkAndData3ds(std::unique_ptr<Chunk3ds>* chunk, uint32_t tag) {
    NewChunkWithTag3ds(chunk, tag);
    if (ErrorPending3ds) {
        return nullptr;
    }
    ChunkData3ds* data = NewChunkData3ds(chunk->get());
    if (ErrorPending3ds) {
        return nullptr;
    }
    return data;
}

void FreeChunkTree3ds(std::unique_ptr<Chunk3ds>& chunk) {
    chunk.reset();
}

void EmptyChunk3ds(Chunk3ds* chunk) {
    if (chunk == nullptr) {
        return;
    }
    chunk->child.reset();
    FreeChunkData3ds(chunk);
    chunk->tag = kTagNone3ds;
    chunk->size = 0;
    chunk->position = 0;
    chunk->readFileIndex = kNoFileIndex3ds;
    chunk->writeFileIndex = kNoFileIndex3ds;
}

void SearchChunk3ds(Chunk3ds* chunk, uint32_t tag, Chunk3ds** found) {
    if (found == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    *found = FindInTree(chunk, tag);
}

void SearchSiblings3ds(Chunk3ds* chunk, uint32_t tag, Chunk3ds** found) {
    if (found == nullptr) {
        return;
    }
    *found = nullptr;
    for (Chunk3ds* sibling = chunk; sibling != nullptr; sibling = sibling->next.get()) {
        if (sibling->tag == tag) {
            *found = sibling;
            return;
        }
    }
}

int ChunkOrderKey3ds(uint32_t tag) {
    switch (tag) {
    case kTagNone3ds:
        return 35;
    case kTagShaperFile3ds:
        return 34;
    case kTagLofterFile3ds:
        return 33;
    case kTagMeshFile3ds:
        return 32;
    case kTagFileVersion3ds:
        return 31;
    case kTagEditor3ds:
        return 30;
    case kTagKeyframer3ds:
        return 29;
    case kTagColorByte3ds:
        return 28;
    case kTagLinColorByte3ds:
        return 27;
    case kTagMeshVersion3ds:
        return 26;
    case kTagMaterial3ds:
        return 25;
    case kTagKeyframerHeader3ds:
        return 24;
    case kTagMasterScale3ds:
        return 23;
    case kTagViewportLayout3ds:
        return 22;
    case kTagShadowMapBias3ds:
        return 21;
    case kTagShadowMapSize3ds:
        return 20;
    case kTagShadowFilter3ds:
        return 19;
    case kTagRayTraceBias3ds:
        return 18;
    case kTagConstantsPoint3ds:
        return 17;
    case kTagAmbientLight3ds:
        return 16;
    case kTagSolidBackground3ds:
        return 15;
    case kTagBackgroundBitmap3ds:
        return 14;
    case kTagGradientBackground3ds:
        return 13;
    case kTagUseBackgroundBitmap3ds:
    case kTagUseSolidBackground3ds:
    case kTagUseGradientBackground3ds:
        return 12;
    case kTagFog3ds:
        return 11;
    case kTagLayeredFog3ds:
        return 10;
    case kTagDistanceCue3ds:
        return 9;
    case kTagDefaultView3ds:
        return 8;
    case kTagNamedObject3ds:
        return 7;
    case kTagFrameRange3ds:
        return 6;
    case kTagCurrentFrame3ds:
        return 5;
    case kTagObjectNode3ds:
    case kTagCameraNode3ds:
    case kTagCameraTargetNode3ds:
    case kTagLightTargetNode3ds:
    case kTagSpotlightNode3ds:
        return 4;
    case kTagAmbientNode3ds:
        return 3;
    case kTagTriangleMesh3ds:
    case kTagLight3ds:
    case kTagCamera3ds:
        return 2;
    case kTagObjectHidden3ds:
        return 1;
    default:
        return 0;
    }
}

Chunk3ds* AppendChild3ds(Chunk3ds* parent, std::unique_ptr<Chunk3ds> child) {
    if (parent == nullptr || child == nullptr) {
        return nullptr;
    }
    std::unique_ptr<Chunk3ds>* link = &parent->child;
    while (*link != nullptr) {
        link = &(*link)->next;
    }
    *link = std::move(child);
    return link->get();
}

Chunk3ds* InsertChildInOrder3ds(Chunk3ds* parent, std::unique_ptr<Chunk3ds> child) {
    // A child with siblings would lose them when linked in.
    if (parent == nullptr || child == nullptr || child->next != nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return nullptr;
    }
    const int key = ChunkOrderKey3ds(child->tag);
    std::unique_ptr<Chunk3ds>* link = &parent->child;
    // Every key is at least 0, so a child of key 0 goes last without comparing.
    while (*link != nullptr && (key == 0 || ChunkOrderKey3ds((*link)->tag) >= key)) {
        link = &(*link)->next;
    }
    child->next = std::move(*link);
    *link = std::move(child);
    return link->get();
}

void ResetOrAddChild3ds(Chunk3ds* parent, uint32_t tag, Chunk3ds** chunk) {
    if (parent == nullptr || chunk == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    *chunk = nullptr;
    Chunk3ds* existing = nullptr;
    SearchSiblings3ds(parent->child.get(), tag, &existing);
    if (existing != nullptr) {
        EmptyChunk3ds(existing);
        existing->tag = tag;
        *chunk = existing;
        return;
    }
    std::unique_ptr<Chunk3ds> added;
    NewChunkWithTag3ds(&added, tag);
    if (ErrorPending3ds) {
        return;
    }
    *chunk = InsertChildInOrder3ds(parent, std::move(added));
}

void DuplicateChunk3ds(Chunk3ds* source, std::unique_ptr<Chunk3ds>* copy) {
    if (source == nullptr || copy == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    copy->reset();
    NewChunk3ds(copy);
    if (ErrorPending3ds) {
        return;
    }
    Chunk3ds& target = **copy;
    target.tag = source->tag;
    target.size = source->size;
    target.position = source->position;
    target.readFileIndex = source->readFileIndex;
    target.writeFileIndex = source->writeFileIndex;
    if (source->data != nullptr) {
        if (source->readFileIndex != kNoFileIndex3ds) {
            target.data = std::move(source->data);
        } else {
            CopyChunkData3ds(source, &target);
            if (ErrorPending3ds) {
                return;
            }
        }
    }
    // Siblings are copied with a loop; only the depth of the tree recurses.
    std::unique_ptr<Chunk3ds>* link = &target.child;
    for (Chunk3ds* child = source->child.get(); child != nullptr; child = child->next.get()) {
        DuplicateChunk3ds(child, link);
        if (ErrorPending3ds) {
            return;
        }
        link = &(*link)->next;
    }
}

void DropRereadableData3ds(Chunk3ds* chunk) {
    if (chunk != nullptr && IsFileIndexValid3ds(chunk->readFileIndex)) {
        FreeChunkData3ds(chunk);
    }
}

// --- Name indexes ------------------------------------------------------------------

void NewNameIndex3ds(std::unique_ptr<NameIndex3ds>* index, uint32_t count) {
    if (index == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    try {
        if (*index == nullptr) {
            *index = std::make_unique<NameIndex3ds>();
        }
        (*index)->entries.assign(count, NameIndexEntry3ds{});
        (*index)->firstByName.clear();
        (*index)->orderedSection = nullptr;
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
    }
}

void FreeNameIndex3ds(std::unique_ptr<NameIndex3ds>& index) {
    index.reset();
}

void RefreshObjectIndex3ds(Database3ds* db) {
    if (db == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    RefreshIndex(db, FindInTree(db->root.get(), kTagEditor3ds), kObjectIndex);
}

void FindNamedObject3ds(Database3ds* db, const char* name, Chunk3ds** found) {
    if (CheckLookUp(db, name, found)) {
        LookUp(db, name, found, kObjectIndex);
    }
}

void MarkObjectIndexStale3ds(Database3ds* db) {
    MarkStale(db, kObjectIndex);
}

void IndexPutObject3ds(Database3ds* db, Chunk3ds* object) {
    if (db != nullptr) {
        IndexPut(db, object, kObjectIndex);
    }
}

void RefreshMaterialIndex3ds(Database3ds* db) {
    if (db == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    Chunk3ds* section = FindInTree(db->root.get(), kTagEditor3ds);
    if (section == nullptr) {
        section = FindInTree(db->root.get(), kTagMaterialLibrary3ds);
    }
    RefreshIndex(db, section, kMaterialIndex);
}

void FindMaterialByName3ds(Database3ds* db, const char* name, Chunk3ds** found) {
    if (!CheckLookUp(db, name, found)) {
        return;
    }
    if (db->root == nullptr) {
        RaiseError3ds(ERR_INVALID_DATABASE);
        return;
    }
    if (GetDatabaseKind3ds(db) == kDatabaseNone3ds) {
        RaiseError3ds(ERR_WRONG_DATABASE);
        return;
    }
    LookUp(db, name, found, kMaterialIndex);
}

void MarkMaterialIndexStale3ds(Database3ds* db) {
    MarkStale(db, kMaterialIndex);
}

void IndexPutMaterial3ds(Database3ds* db, Chunk3ds* material) {
    if (db != nullptr) {
        IndexPut(db, material, kMaterialIndex);
    }
}

Chunk3ds* InsertNamedChunk3ds(Database3ds* db, Chunk3ds* parent, std::unique_ptr<Chunk3ds> child) {
    const IndexKind* kind = nullptr;
    if (db != nullptr && child != nullptr && child->next == nullptr) {
        if (child->tag == kTagNamedObject3ds) {
            kind = &kObjectIndex;
        } else if (child->tag == kTagMaterial3ds) {
            kind = &kMaterialIndex;
        }
    }
    const NameIndex3ds* index = kind == nullptr ? nullptr : (db->*kind->index).get();
    if (index == nullptr || db->*kind->stale || parent == nullptr ||
        index->orderedSection != parent) {
        return InsertChildInOrder3ds(parent, std::move(child));
    }
    // Every child up to the last entry orders ahead of the new one.
    const int key = ChunkOrderKey3ds(child->tag);
    Chunk3ds* before = index->entries.back().chunk;
    while (before->next != nullptr && ChunkOrderKey3ds(before->next->tag) >= key) {
        before = before->next.get();
    }
    child->next = std::move(before->next);
    before->next = std::move(child);
    return before->next.get();
}

// --- Databases ---------------------------------------------------------------------

void InitDatabase3ds(std::unique_ptr<Database3ds>& db) {
    if (db == nullptr) {
        try {
            db = std::make_unique<Database3ds>();
        } catch (const std::bad_alloc&) {
            RaiseError3ds(ERR_NO_MEM);
            return;
        }
    }
    *db = Database3ds{};
}

void CreateNewDatabase3ds(Database3ds* db, DatabaseKind3ds kind) {
    if (db == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    // The indexes point into the old tree, so they go with it.
    *db = Database3ds{};

    std::unique_ptr<Chunk3ds> root;
    NewChunk3ds(&root);
    if (ErrorPending3ds) {
        RaiseError3ds(ERR_CREATING_DATABASE);
        return;
    }
    switch (kind) {
    case kDatabaseMeshFile3ds:
        root->tag = kTagMeshFile3ds;
        break;
    case kDatabaseProjectFile3ds:
        root->tag = kTagProjectFile3ds;
        break;
    case kDatabaseMaterialLibrary3ds:
        root->tag = kTagMaterialLibrary3ds;
        break;
    default:
        break;
    }
    db->root = std::move(root);
    UpdateDatabaseDefaults3ds(db);
}

void ReleaseDatabase3ds(std::unique_ptr<Database3ds>& db) {
    db.reset();
}

DatabaseKind3ds GetDatabaseKind3ds(const Database3ds* db) {
    if (db == nullptr || db->root == nullptr) {
        return kDatabaseNone3ds;
    }
    switch (db->root->tag) {
    case kTagMeshFile3ds:
        return kDatabaseMeshFile3ds;
    case kTagProjectFile3ds:
        return kDatabaseProjectFile3ds;
    case kTagMaterialLibrary3ds:
        return kDatabaseMaterialLibrary3ds;
    default:
        return kDatabaseNone3ds;
    }
}

void UpdateDatabaseDefaults3ds(Database3ds* db) {
    const DatabaseKind3ds kind = GetDatabaseKind3ds(db);
    if (kind == kDatabaseMeshFile3ds) {
        SetFileVersion3ds(db);
        if (ErrorPending3ds) {
            return;
        }
    }
    if (kind == kDatabaseMeshFile3ds || kind == kDatabaseProjectFile3ds) {
        SetMeshVersion3ds(db);
        if (ErrorPending3ds) {
            return;
        }
        SetKeyframerHeader3ds(db);
    }
}

void SetFileVersion3ds(Database3ds* db) {
    Chunk3ds* root = DefaultsRoot(db, ERR_INVALID_DATA);
    if (root == nullptr || root->tag != kTagMeshFile3ds) {
        return;
    }
    SetLongChild(root, kTagFileVersion3ds, kFileVersion);
}

void SetMeshVersion3ds(Database3ds* db) {
    Chunk3ds* root = DefaultsRoot(db, ERR_INVALID_DATA);
    if (root == nullptr || !IsMeshOrProject(root)) {
        return;
    }
    Chunk3ds* section = FindOrAddSection(root, kTagEditor3ds);
    if (ErrorPending3ds) {
        return;
    }
    SetLongChild(section, kTagMeshVersion3ds, kMeshVersion);
}

void SetKeyframerHeader3ds(Database3ds* db) {
    Chunk3ds* root = DefaultsRoot(db, ERR_INVALID_DATABASE);
    if (root == nullptr || !IsMeshOrProject(root)) {
        return;
    }
    Chunk3ds* section = FindOrAddSection(root, kTagKeyframer3ds);
    if (ErrorPending3ds) {
        return;
    }
    Chunk3ds* header = FindInTree(section, kTagKeyframerHeader3ds);
    KeyframerHeaderData3ds* record = nullptr;
    if (header != nullptr) {
        record = GetChunkData3ds<KeyframerHeaderData3ds>(ReadChunkData3ds(header));
        if (ErrorPending3ds) {
            return;
        }
    }
    // A header without a record to load is given a new one, as a new header is.
    if (record == nullptr) {
        std::unique_ptr<Chunk3ds> added;
        ChunkData3ds* data = nullptr;
        if (header == nullptr) {
            data = NewChunkAndData3ds(&added, kTagKeyframerHeader3ds);
        } else {
            data = NewChunkData3ds(header);
        }
        if (ErrorPending3ds) {
            return;
        }
        // A new record's file name is already empty.
        record = GetChunkData3ds<KeyframerHeaderData3ds>(data);
        record->animLength = kDefaultAnimLength;
        if (added != nullptr) {
            InsertChildInOrder3ds(section, std::move(added));
            if (ErrorPending3ds) {
                return;
            }
        }
    }
    record->revision = kKeyframerRevision;
}
