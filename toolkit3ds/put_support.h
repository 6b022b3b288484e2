#pragma once
// Helpers shared by the put modules (material, mesh_object, camera,
// scene_settings, viewport): the checks a put makes before it changes
// anything, the sections and chunks it adds, and the emptying of a chunk it
// replaces. Internal to the toolkit; callers use the put operations.
//
// Failures follow errors.h: a helper raises a code and returns at once, with
// none as its result. A helper that makes chunks takes failureCode, raised
// behind the cause when a chunk cannot be made or inserted (the mesh put names
// its stage so); the default, NO_TOOLKIT_ERRORS, adds nothing.

#include "toolkit3ds/chunk_tree.h"
#include "toolkit3ds/errors.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <string_view>

// --- Texts -------------------------------------------------------------------------

// A text as it is written: up to its first zero byte.
std::string_view WrittenText3ds(const std::string& text);
// Whether the written text has at most capacity characters.
bool FitsCapacity3ds(const std::string& text, uint32_t capacity);

// --- Checks and guards ---------------------------------------------------------------

// The checks a put makes before changing anything: ERR_INVALID_ARG for a
// missing database or record, ERR_INVALID_DATABASE for a database without a
// root, ERR_WRONG_DATABASE for a root whose tag is not one of rootTags.
// Returns whether the put may go on.
bool CheckPutTarget3ds(const Database3ds* db, const void* record,
                       std::initializer_list<uint32_t> rootTags);

// Runs body, turning a std::bad_alloc thrown by a container into ERR_NO_MEM,
// so that no exception leaves a toolkit operation.
template <typename Body> void GuardAllocations3ds(Body body) {
    try {
        body();
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
    }
}

// The body of every Init…3ds of a put record: creates the record when *handle
// holds none, then sets every field to its default (the member initialisers).
// ERR_INVALID_ARG for a missing handle, ERR_NO_MEM.
template <typename Record> void InitRecord3ds(std::unique_ptr<Record>* handle) {
    if (handle == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    GuardAllocations3ds([handle] {
        if (*handle == nullptr) {
            *handle = std::make_unique<Record>();
        } else {
            **handle = Record{};
        }
    });
}

// The body of a Release…3ds: frees the record and empties the handle; a
// missing or empty handle does nothing.
template <typename Record> void ReleaseRecord3ds(std::unique_ptr<Record>* handle) {
    if (handle != nullptr) {
        handle->reset();
    }
}

// --- Chunks --------------------------------------------------------------------------

// The first 3D editor section (0x3D3D) in the root's tree, or else a new one
// inserted in order under the root.
Chunk3ds* FindOrAddEditor3ds(Chunk3ds* root, int32_t failureCode = NO_TOOLKIT_ERRORS);

// A new chunk with the tag, holding a fresh record of the tag's layout when
// the tag has one (none for containers and flags), inserted in order under
// the parent. Returns the chunk, now owned by the tree.
Chunk3ds* AddChunk3ds(Chunk3ds* parent, uint32_t tag, int32_t failureCode = NO_TOOLKIT_ERRORS);

// AddChunk3ds for a new object or material of the database, inserted with
// InsertNamedChunk3ds.
Chunk3ds* AddNamedChunk3ds(Database3ds* db, Chunk3ds* parent, uint32_t tag,
                           int32_t failureCode = NO_TOOLKIT_ERRORS);

// AddChunk3ds, returning the new record as Layout for the caller to fill.
template <typename Layout>
Layout* AddRecord3ds(Chunk3ds* parent, uint32_t tag, int32_t failureCode = NO_TOOLKIT_ERRORS) {
    return GetChunkData3ds<Layout>(AddChunk3ds(parent, tag, failureCode));
}

// The parent's first direct child with the tag, emptied in its place, or else
// a new one inserted in order (ResetOrAddChild3ds); either way with a fresh
// record of the tag's layout. Returns the chunk.
Chunk3ds* ResetChild3ds(Chunk3ds* parent, uint32_t tag);

// Empties a chunk that a put replaces by name, in its place: a deep copy of
// the first extra-data chunk (0x8000) of its subtree goes to *extraData, then
// EmptyChunk3ds (tag 0, no record, no children). The caller sets the tag
// again, if it reuses the chunk, and marks the name index stale. After an
// error the chunk is left as it was.
void EmptyKeepingExtraData3ds(Chunk3ds* chunk, std::unique_ptr<Chunk3ds>* extraData);
