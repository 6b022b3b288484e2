#include "toolkit3ds/database_writer.h"

#include "toolkit3ds/errors.h"
#include "toolkit3ds/keyframer.h"

#include <limits>

void WriteDatabase3ds(File3ds* file, Database3ds* db) {
    if (file == nullptr || db == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    UpdateDatabaseDefaults3ds(db);
    if (ErrorPending3ds) {
        RaiseError3ds(ERR_WRITING_DATABASE);
        return;
    }
    if (file->mode != kModeWrite3ds) {
        return;
    }

    PrepareKeyframerNodes3ds(db);
    if (ErrorPending3ds) {
        RaiseError3ds(ERR_WRITING_DATABASE);
        return;
    }
    SetCurrentFile3ds(file);
    if (ErrorPending3ds) {
        RaiseError3ds(ERR_WRITING_DATABASE);
        return;
    }
    SetFilePosition3ds(0);
    if (db->root != nullptr) {
        db->root->writeFileIndex = file->index;
    }
    WriteChunk3ds(db->root.get(), file->index);
    if (ErrorPending3ds) {
        RaiseError3ds(ERR_WRITING_DATABASE);
        return;
    }
}

namespace {

void WriteSubtree(Chunk3ds* chunk, uint8_t fileIndex) {
    if (chunk == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    if (chunk->tag == kTagNone3ds || chunk->tag == kTagParentName3ds) {
        return;
    }
    // Without a file in the slot the bytes would go to whatever file is current.
    if (!IsFileIndexValid3ds(fileIndex)) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    if (chunk->tag > std::numeric_limits<ChunkTag3ds>::max()) {
        RaiseError3ds(ERR_INVALID_DATA);
        return;
    }
    SelectFileByIndex3ds(fileIndex);
    chunk->writeFileIndex = fileIndex;
    const int32_t start = GetFilePosition3ds();
    if (start < 0) {
        RaiseError3ds(ERR_WRITING_FILE);
        return;
    }

    ReadChunkData3ds(chunk);
    if (ErrorPending3ds) {
        return;
    }
    // Loading may have read from another file, or moved this one.
    SelectFileByIndex3ds(fileIndex);
    SetFilePosition3ds(start);

    WriteChunkHeader3ds(static_cast<ChunkTag3ds>(chunk->tag), chunk->size);
    if (ErrorPending3ds) {
        return;
    }
    WriteChunkData3ds(chunk);
    if (ErrorPending3ds) {
        return;
    }
    for (Chunk3ds* child = chunk->child.get(); child != nullptr; child = child->next.get()) {
        WriteSubtree(child, fileIndex);
        if (ErrorPending3ds) {
            return;
        }
    }

    SelectFileByIndex3ds(fileIndex);
    const int32_t end = GetFilePosition3ds();
    // A negative end is a position beyond 31 bits: the length would not fit.
    if (end < start) {
        RaiseError3ds(ERR_WRITING_FILE);
        return;
    }
    const uint32_t length = static_cast<uint32_t>(end - start);
    if (length != chunk->size) {
        PatchChunkLength3ds(start, end);
        if (ErrorPending3ds) {
            return;
        }
        chunk->size = length;
    }
    DropRereadableData3ds(chunk);
}

} // namespace

void WriteChunk3ds(Chunk3ds* chunk, uint8_t fileIndex) {
    // Held output keeps every header in memory until its length is known.
    File3ds* file = GetFileByIndex3ds(fileIndex);
    HoldOutput3ds(file);
    WriteSubtree(chunk, fileIndex);
    ReleaseOutput3ds(file);
}
