#pragma once
// The chunk tree and the database: one 3DS file held in memory as a tree of
// Chunk3ds nodes under the root chunk of a Database3ds, with name indexes of
// the objects and materials.
//
// Ownership: a chunk owns its data record, its children and, through next, the
// siblings that follow it. A chunk is made into a std::unique_ptr and handed to
// the tree by InsertChildInOrder3ds or AppendChild3ds, which return the raw
// pointer now owned by the tree. Every other Chunk3ds* in this API is a
// borrowed pointer into a tree.
//
// Order: children inserted with InsertChildInOrder3ds stand in descending
// ChunkOrderKey3ds order, equal keys in insertion order; that is the order in
// which the tree is written.
//
// Failures follow errors.h: the operation raises a code and returns at once;
// results are then none. Nothing is rolled back.

#include "toolkit3ds/chunk_data.h"
#include "toolkit3ds/chunk_tags.h"
#include "toolkit3ds/file_io.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// --- Records -------------------------------------------------------------------

struct Chunk3ds {
    uint32_t tag = kTagNone3ds; // ChunkTag3ds; 0 means no tag and is never written
    uint32_t size = 0;          // bytes in the file: header, data, sub-chunks; 0 until written
    uint32_t position = 0;      // header's byte position in the file read from
    std::unique_ptr<ChunkData3ds> data;       // the data record, or none
    std::unique_ptr<Chunk3ds> next;           // next sibling, or none
    std::unique_ptr<Chunk3ds> child;          // first child, or none
    uint8_t readFileIndex = kNoFileIndex3ds;  // file slot that can supply data again; 255 none
    uint8_t writeFileIndex = kNoFileIndex3ds; // file slot last written to; 255 none

    Chunk3ds() = default;
    Chunk3ds(const Chunk3ds&) = delete;
    Chunk3ds& operator=(const Chunk3ds&) = delete;
    // Frees children and following siblings with loops, however long or deep.
    ~Chunk3ds();
};

struct NameIndexEntry3ds {
    std::string name;          // the object's or material's name
    Chunk3ds* chunk = nullptr; // the named chunk; owned by the tree
};

// Hashes names so that a lookup by std::string_view needs no copy.
struct NameHash3ds {
    using is_transparent = void;
    size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

struct NameIndex3ds {
    std::vector<NameIndexEntry3ds> entries; // in tree order
    // The chunk of each name's first entry, for lookups; kept with entries.
    std::unordered_map<std::string, Chunk3ds*, NameHash3ds, std::equal_to<>> firstByName;
    // The section whose children hold the entries when every child before the
    // last entry orders ahead of it, as found at the rebuild; or none.
    Chunk3ds* orderedSection = nullptr;
};

enum DatabaseKind3ds : int32_t {
    kDatabaseNone3ds = 0,            // no record, no root, or another root tag
    kDatabaseMeshFile3ds = 1,        // root 0x4D4D
    kDatabaseProjectFile3ds = 2,     // root 0xC23D
    kDatabaseMaterialLibrary3ds = 3, // root 0x3DAA
};

// An index holds borrowed pointers into the tree: whoever frees, empties or
// renames a named object or material, or links chunks into a section other
// than through the operations below, must mark that index stale.
struct Database3ds {
    std::unique_ptr<Chunk3ds> root; // none until CreateNewDatabase3ds
    bool objectIndexStale = true;
    bool materialIndexStale = true;
    bool nodeIndexStale = true;
    std::unique_ptr<NameIndex3ds> objectIndex;   // named objects 0x4000
    std::unique_ptr<NameIndex3ds> materialIndex; // materials 0xAFFF
    std::unique_ptr<NameIndex3ds> nodeIndex;     // never built; freed with the database
    uint32_t indexRebuilds = 0; // object and material index rebuilds so far, for tests
};

// --- Chunks ----------------------------------------------------------------------

// Stores a new chunk (tag 0, no links, slots 255) in *chunk, freeing whatever
// it held. ERR_INVALID_ARG for a missing out-parameter, ERR_NO_MEM.
void NewChunk3ds(std::unique_ptr<Chunk3ds>* chunk);
// NewChunk3ds, then sets the tag.
void NewChunkWithTag3ds(std::unique_ptr<Chunk3ds>* chunk, uint32_t tag);
// NewChunkWithTag3ds, then NewChunkData3ds: returns the new record, or none for
// a container or after an error. Reach the layout with GetChunkData3ds<Layout>.
ChunkData3ds* NewChunkAndData3ds(std::unique_ptr<Chunk3ds>* chunk, uint32_t tag);

// Frees the chunk with its record, its children and all siblings that follow
// it, and sets the reference to none.
void FreeChunkTree3ds(std::unique_ptr<Chunk3ds>& chunk);
// Frees the chunk's children and record and resets tag, size and position to
// 0 and both slots to 255. The node and its next link stay. None does nothing.
void EmptyChunk3ds(Chunk3ds* chunk);

// Depth-first search of the chunk and its descendants, never its following
// siblings: *found is the first chunk with the tag in pre-order (the chunk
// itself first), or none. ERR_INVALID_ARG for a missing out-parameter.
void SearchChunk3ds(Chunk3ds* chunk, uint32_t tag, Chunk3ds** found);
// *found is the first chunk with the tag among the chunk and the siblings that
// follow it, without descending; none for a missing chunk. Raises nothing.
void SearchSiblings3ds(Chunk3ds* chunk, uint32_t tag, Chunk3ds** found);

// The ordering key of a tag; 0 for tags without one.
int ChunkOrderKey3ds(uint32_t tag);
// Puts the child behind the parent's last child, whatever its key, together
// with any siblings the child carries. Returns the child, now owned by the
// tree. Raises nothing; with a missing parent the child is freed and none
// returned.
Chunk3ds* AppendChild3ds(Chunk3ds* parent, std::unique_ptr<Chunk3ds> child);
// Puts the child before the parent's first child of a lower key, or last.
// Returns the child, now owned by the tree. ERR_INVALID_ARG (and the child
// freed) for a missing parent or child, or a child that carries siblings.
Chunk3ds* InsertChildInOrder3ds(Chunk3ds* parent, std::unique_ptr<Chunk3ds> child);
// *chunk is the parent's first direct child with the tag, emptied in its place
// (its tag set again, no record, no children), or else a new one inserted in
// order. ERR_INVALID_ARG for a missing parent or out-parameter, ERR_NO_MEM.
void ResetOrAddChild3ds(Chunk3ds* parent, uint32_t tag, Chunk3ds** chunk);

// Stores in *copy a deep copy of the source and its children (not its
// siblings): fields, records and subtrees. A source record that its file can
// supply again (readFileIndex not 255) is moved to the copy instead, leaving
// the source without one. Stops at the first error, keeping what was copied.
// ERR_INVALID_ARG for a missing source or out-parameter, ERR_NO_MEM.
void DuplicateChunk3ds(Chunk3ds* source, std::unique_ptr<Chunk3ds>* copy);
// Frees the chunk's record when its readFileIndex names an open file of the
// file table, which can supply it again; otherwise does nothing.
void DropRereadableData3ds(Chunk3ds* chunk);

// The record as the layout Layout, or none (see chunk_data.h).
template <typename Layout> Layout* GetChunkData3ds(Chunk3ds* chunk) {
    return chunk == nullptr ? nullptr : GetChunkData3ds<Layout>(chunk->data.get());
}

// --- Name indexes ------------------------------------------------------------------

// Creates the index when *index holds none and gives it count entries without
// name or chunk (old entries are dropped). ERR_INVALID_ARG, ERR_NO_MEM.
void NewNameIndex3ds(std::unique_ptr<NameIndex3ds>* index, uint32_t count);
// Frees the index and sets the reference to none.
void FreeNameIndex3ds(std::unique_ptr<NameIndex3ds>& index);

// Rebuilds the object index when it is stale: the 0x4000 chunks from the first
// one in the 3D editor section on, each with its name (its record loaded). A
// chunk without a name record is left out. When an error stops the rebuild,
// the index stays stale. ERR_INVALID_ARG for a missing database.
void RefreshObjectIndex3ds(Database3ds* db);
// *found is the first object whose name equals name byte for byte (case
// counts), or none; refreshes a stale index first. ERR_INVALID_ARG for a
// missing argument, and what loading a record raises.
void FindNamedObject3ds(Database3ds* db, const char* name, Chunk3ds** found);
// Marks the object index stale. ERR_INVALID_ARG for a missing database.
void MarkObjectIndexStale3ds(Database3ds* db);
// For a put that looked its name up with FindNamedObject3ds, then filled object
// under that name (the object found, or one it added) and changed no other
// object: makes the index fresh again without a rebuild where that is exact,
// so that puts cost no rebuild each. The object found keeps its entry; an added
// one becomes the last entry when it stands behind the last one in the same
// chain. Otherwise the index stays stale. ERR_NO_MEM (the index stays stale).
void IndexPutObject3ds(Database3ds* db, Chunk3ds* object);

// As RefreshObjectIndex3ds for the 0xAFFF materials of the 3D editor section
// (or of a material-library root), each named by its first 0xA000 chunk. A
// material without a loadable name chunk is left out of the index.
void RefreshMaterialIndex3ds(Database3ds* db);
// As FindNamedObject3ds for materials; also ERR_INVALID_DATABASE without a
// root and ERR_WRONG_DATABASE for a root that is not 0x4D4D, 0xC23D or 0x3DAA.
void FindMaterialByName3ds(Database3ds* db, const char* name, Chunk3ds** found);
void MarkMaterialIndexStale3ds(Database3ds* db);
// As IndexPutObject3ds, for a put that looked up with FindMaterialByName3ds.
void IndexPutMaterial3ds(Database3ds* db, Chunk3ds* material);
// InsertChildInOrder3ds for a new object (0x4000) or material (0xAFFF), with
// the same result. When the fresh index of its kind has parent as its ordered
// section, the walk starts at the last entry rather than the first child, so a
// put does not walk past every object before it. A missing database is allowed.
Chunk3ds* InsertNamedChunk3ds(Database3ds* db, Chunk3ds* parent, std::unique_ptr<Chunk3ds> child);

// --- Databases ---------------------------------------------------------------------

// Allocates the record when the reference holds none, then resets it: no root
// (an old tree is freed), indexes none and stale. ERR_NO_MEM.
void InitDatabase3ds(std::unique_ptr<Database3ds>& db);
// Gives the database a new root of the kind (1 mesh file, 2 project file,
// 3 material library, any other kind a root of tag 0) and its default chunks
// (UpdateDatabaseDefaults3ds). An old tree and its indexes are freed first.
// ERR_INVALID_ARG; a failure to make the root adds ERR_CREATING_DATABASE.
void CreateNewDatabase3ds(Database3ds* db, DatabaseKind3ds kind);
// Frees the tree, the indexes and the record and sets the reference to none.
// Nothing for a reference that holds none.
void ReleaseDatabase3ds(std::unique_ptr<Database3ds>& db);
// The kind given by the root's tag; kDatabaseNone3ds without database or root.
DatabaseKind3ds GetDatabaseKind3ds(const Database3ds* db);

// Makes sure the default chunks hold this system's values: for a mesh file
// SetFileVersion3ds, SetMeshVersion3ds and SetKeyframerHeader3ds; for a project
// file the last two; for other kinds nothing. Stops at the first error.
void UpdateDatabaseDefaults3ds(Database3ds* db);
// Root 0x4D4D only: 0x0002 reset or added under the root, version 3.
// ERR_INVALID_ARG for a missing database, ERR_INVALID_DATA without a root.
void SetFileVersion3ds(Database3ds* db);
// Roots 0x4D4D and 0xC23D: the first 0x3D3D (made when absent) gets 0x3D3E
// reset or added, version 3. Errors as SetFileVersion3ds.
void SetMeshVersion3ds(Database3ds* db);
// Roots 0x4D4D and 0xC23D: the first 0xB000 (made when absent) and in it the
// first 0xB00A; a new header (or one whose record cannot be had) gets an empty
// file name and animation length 30; every header gets revision 5.
// ERR_INVALID_ARG for a missing database, ERR_INVALID_DATABASE without a root.
void SetKeyframerHeader3ds(Database3ds* db);
