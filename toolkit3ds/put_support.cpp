#include "toolkit3ds/put_support.h"

#include <algorithm>
#include <utility>

std::string_view WrittenText3ds(const std::string& text) {
    return text.c_str();
}

bool FitsCapacity3ds(const std::string& text, uint32_t capacity) {
    return WrittenText3ds(text).size() <= capacity;
}

bool CheckPutTarget3ds(const Database3ds* db, const void* record,
                       std::initializer_list<uint32_t> rootTags) {
    if (db == nullptr || record == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return false;
    }
    if (db->root == nullptr) {
        RaiseError3ds(ERR_INVALID_DATABASE);
        return false;
    }
    if (std::find(rootTags.begin(), rootTags.end(), db->root->tag) == rootTags.end()) {
        RaiseError3ds(ERR_WRONG_DATABASE);
        return false;
    }
    return true;
}

Chunk3ds* FindOrAddEditor3ds(Chunk3ds* root, int32_t failureCode) {
    Chunk3ds* section = nullptr;
    SearchChunk3ds(root, kTagEditor3ds, &section);
    if (ErrorPending3ds || section != nullptr) {
        return section;
    }
    return AddChunk3ds(root, kTagEditor3ds, failureCode);
}

namespace {

// A new chunk with the tag and its record, linked in by insert.
template <typename Insert> Chunk3ds* MakeChunk(uint32_t tag, int32_t failureCode, Insert insert) {
    std::unique_ptr<Chunk3ds> chunk;
    NewChunkAndData3ds(&chunk, tag);
    if (ErrorPending3ds) {
        RaiseError3ds(failureCode);
        return nullptr;
    }
    Chunk3ds* added = insert(std::move(chunk));
    if (ErrorPending3ds) {
        RaiseError3ds(failureCode);
        return nullptr;
    }
    return added;
}

} // namespace

Chunk3ds* AddChunk3ds(Chunk3ds* parent, uint32_t tag, int32_t failureCode) {
    return MakeChunk(tag, failureCode, [parent](std::unique_ptr<Chunk3ds> chunk) {
        return InsertChildInOrder3ds(parent, std::move(chunk));
    });
}

Chunk3ds* AddNamedChunk3ds(Database3ds* db, Chunk3ds* parent, uint32_t tag, int32_t failureCode) {
    return MakeChunk(tag, failureCode, [db, parent](std::unique_ptr<Chunk3ds> chunk) {
        return InsertNamedChunk3ds(db, parent, std::move(chunk));
    });
}

Chunk3ds* ResetChild3ds(Chunk3ds* parent, uint32_t tag) {
    Chunk3ds* chunk = nullptr;
    ResetOrAddChild3ds(parent, tag, &chunk);
    if (ErrorPending3ds) {
        return nullptr;
    }
    NewChunkData3ds(chunk);
    if (ErrorPending3ds) {
        return nullptr;
    }
    return chunk;
}

void EmptyKeepingExtraData3ds(Chunk3ds* chunk, std::unique_ptr<Chunk3ds>* extraData) {
    Chunk3ds* extra = nullptr;
    SearchChunk3ds(chunk, kTagExtraData3ds, &extra);
    if (ErrorPending3ds) {
        return;
    }
    if (extra != nullptr) {
        DuplicateChunk3ds(extra, extraData);
        if (ErrorPending3ds) {
            return;
        }
    }
    EmptyChunk3ds(chunk);
}
