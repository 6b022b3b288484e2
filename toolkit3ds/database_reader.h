#pragma once
// Database reading: builds a database's chunk tree from a 3DS file.
//
// Every chunk of the file becomes a Chunk3ds with its tag, its size (the
// length recorded in its header), its position and its readFileIndex (the
// file's slot), in file order. Data records are not kept: ReadChunkData3ds
// loads each from the file when it is used, and WriteDatabase3ds writes such a
// tree back the same way. So the file must stay open in the file table for as
// long as the database is used.
//
// Where a chunk's sub-chunks begin depends on its tag: right behind the header
// for a container, behind the record for a data tag (the record is decoded
// once while reading, which also checks it, and dropped again), nowhere for an
// unknown or flag tag, whose bytes all belong to its raw record.
//
// The file is untrusted: the tree is read with a loop, never deeper than
// kMaxChunkDepth3ds, and no record is allocated before its bytes are known to
// be in the file. Bytes behind the root chunk are ignored. Texts are read
// whole, whatever their length, as long as each ends within its chunk.
//
// A damaged file is read as far as it goes: a chunk that claims more bytes
// than its parent (the root: the file) holds is taken to end where its parent
// ends, so that a cut file yields every chunk up to the cut; any other damage
// stops the reading there. Either way the reading fails, and the first damage
// found is told in a ReadDamage3ds for a message that names it.

// Keyframer nodes name their parents by number in a file. So that the node
// numbering of the writer (keyframer.h) keeps every link, each node that is a
// parent gets a node-number chunk 0xB030 when it has none, and each child's
// header gets a parent-name note 0x80F0 naming the parent. Where no name
// designates the parent alone (two nodes of that name, a name with a full
// stop), the note holds no text and the header keeps the parent's new number
// in memory instead, which the numbering leaves alone.

#include "toolkit3ds/chunk_tree.h"
#include "toolkit3ds/file_io.h"

// Nesting bound: real files nest a few levels deep, and every level costs the
// writer a level of recursion.
inline constexpr size_t kMaxChunkDepth3ds = 64;

// Whether a 3DS file may start with the tag: 0x4D4D, 0xC23D or 0x3DAA.
bool IsRootTag3ds(uint32_t tag);

// What is wrong with a file that does not read, and where.
struct ReadDamage3ds {
    enum class Kind : uint8_t {
        kNone,               // no damage found (a failure of the system or memory, or none)
        kEmptyFile,          // the file holds no byte
        kNotA3dsFile,        // its first tag is none of 0x4D4D, 0xC23D, 0x3DAA
        kFileTooLarge,       // bytesLeft, the file's size, passes 31-bit positions
        kHeaderCut,          // only bytesLeft bytes for the header at position
        kLengthBelowHeader,  // the chunk claims length bytes, fewer than its header
        kLengthBeyondParent, // the chunk claims length bytes, only bytesLeft remain
        kTagNeverStored,     // tag 0 or 0x80F0, which no file holds
        kTooDeep,            // the chunk would stand deeper than kMaxChunkDepth3ds
        kBadRecord,          // the chunk's data record does not load: record says why
    };
    Kind kind = Kind::kNone;
    uint16_t tag = 0;       // the chunk's tag (kNotA3dsFile: the file's first two bytes)
    uint32_t position = 0;  // byte position of the chunk's header
    uint32_t length = 0;    // the length its header claims
    uint64_t bytesLeft = 0; // bytes of its parent (or the file) from position on
    uint16_t parentTag = 0; // the parent's tag; 0 for the file itself
    RecordFault3ds record;  // kBadRecord
};

// Reads the whole file, open for reading in the file table, into the database;
// an old tree and its indexes are freed first, and the indexes are stale
// afterwards. The database's kind follows from the root's tag. ERR_INVALID_ARG
// for a missing argument or a file not open for reading in the table. Any
// other failure raises its cause and then ERR_READING_DATABASE, and leaves the
// tree read so far in the database:
//   ERR_INVALID_CHUNK   an empty file, a first tag that is no root tag, a
//                       header that does not fit in its parent, a length
//                       below 6 or beyond its parent (the root: the file),
//                       bytes behind a record or the last sub-chunk that do
//                       not form a chunk, nesting beyond kMaxChunkDepth3ds,
//                       tag 0 or 0x80F0 (never written by the toolkit), a
//                       record that does not fit its chunk or a count its
//                       bytes cannot back;
//   ERR_READING_FILE    a value the file cannot deliver, a text without its
//                       zero byte in its chunk, a file beyond 31-bit positions;
//   ERR_NO_MEM.
// When damage is not none it receives the first damage found (kind kNone when
// the file read, or failed for want of memory or by a system error).
void ReadDatabase3ds(File3ds* file, Database3ds* db, ReadDamage3ds* damage = nullptr);
