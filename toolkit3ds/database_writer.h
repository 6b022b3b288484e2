#pragma once
// Database writing: turns a database's chunk tree into a 3DS file.
//
// On disk every chunk is its tag (u16), its length (u32: the six header
// bytes, the data and all sub-chunks), its data record as WriteChunkData3ds
// encodes it, and then its sub-chunks in tree order. The file is the root
// chunk alone, so the root's length is the file's size. Chunks with tag 0 or
// 0x80F0 (a parent-name note) are never written, nor is anything below them.
//
// The tree is written depth-first in one forward pass. Each header first gets
// the chunk's recorded size and is patched once the chunk's end is known,
// when the real length differs; the chunk's size then takes the real length.
// The file's output is held meanwhile (file_io.h): patches are made in memory,
// or with one positioned write for a header already sent, and the output goes
// to the file a megabyte at a time and at the end, never a seek per chunk.
// Positions are 31-bit, so no length can wrap: a file that grows beyond that
// fails with ERR_WRITING_FILE.
//
// The writer keeps no state of its own. It changes the tree it writes: the
// default chunks are refreshed, keyframer nodes numbered (keyframer.h), every
// written chunk's size and writeFileIndex set, and records that their source
// file can supply again dropped after writing.

#include "toolkit3ds/chunk_tree.h"
#include "toolkit3ds/file_io.h"

#include <cstdint>

// Writes the database to a file of the file table, from byte 0; the file
// becomes the current file. The database's defaults are refreshed first
// (UpdateDatabaseDefaults3ds) even when nothing is written: a file not opened
// for writing is left alone without an error. ERR_INVALID_ARG for a missing
// file or database. Any later failure (a failed refresh, write or seek, a
// record that cannot be encoded, a database without root, a file the table
// does not hold, an error already pending) stops the whole write at once and
// adds ERR_WRITING_DATABASE behind its cause; the file keeps what was written,
// with provisional lengths in the headers not yet patched.
void WriteDatabase3ds(File3ds* file, Database3ds* db);

// Writes one chunk with all its descendants at the current position of the
// file in the slot, and records its real length in its size. Nothing for tag
// 0 or 0x80F0. Recurses into children, loops over siblings. The file's output
// is held until the chunk ends, and then handed to the system even after an
// error. ERR_INVALID_ARG for a missing chunk or a slot that holds no file,
// ERR_INVALID_DATA for a tag beyond 16 bits, ERR_WRITING_FILE when a write,
// seek or position fails, and whatever loading or encoding a record raises.
void WriteChunk3ds(Chunk3ds* chunk, uint8_t fileIndex);
