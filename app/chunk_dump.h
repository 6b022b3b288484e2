#pragma once
// The chunk tree of a 3DS file as text, for tarvik-dump: one line per chunk,
// indented by two spaces per level, with the tag in hexadecimal, the tag's
// name from the toolkit's tag table, the length and the data record with its
// values labelled (lists show their count and first elements, or all of them
// with DumpOptions::full):
//
//   0x4D4D mesh-file root (24935 bytes)
//     0x0002 file version (10 bytes): 3
//     0x3D3D 3D editor section (24801 bytes)
//       0x4000 named object (1093 bytes): "Hips"
//         0x4100 triangle mesh (1079 bytes)
//           0x4110 vertex list (296 bytes): 24 points: (1, 2, 3), (1, 2, 4), ...
//
// Texts are quoted with every byte that is not printable ASCII escaped; a
// text longer than the format allows is shown whole and marked:
// "DefaultMaterial_0" (17 characters, longer than 16). A record whose layout
// the toolkit does not know shows its bytes: 4 bytes: 10 00 12 34.

#include "toolkit3ds/chunk_tree.h"
#include "toolkit3ds/database_reader.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct DumpOptions {
    bool full = false; // every element of a list, every raw byte
};

// The line of one chunk, without indentation or line end. Loads the chunk's
// record (ReadChunkData3ds) and drops it again when its file can supply it;
// a record that cannot be loaded shows as "(unreadable)" and its errors stay
// pending.
std::string DescribeChunk(Chunk3ds* chunk, const DumpOptions& options = {});

// Writes the lines of the chunk and everything below it (not its following
// siblings), the chunk at the given depth. Chunks made in memory (size 0, such
// as the reader's parent-name notes) are in no file and are left out with
// what is below them. Call it with no error pending: a record that cannot be
// loaded does not stop the dump; the errors of all such records are left
// pending at the end, in the order of their lines.
void DumpChunkTree(std::FILE* out, Chunk3ds* chunk, const DumpOptions& options = {}, int depth = 0);

// What is wrong with a file that did not read, in one line without the file
// name or line end: "chunk 0x4120 at byte 11992 claims 3000 bytes, only 8
// remain in its parent 0x4100". Empty for ReadDamage3ds::Kind::kNone.
std::string DescribeDamage(const ReadDamage3ds& damage);
