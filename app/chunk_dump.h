#pragma once
// The chunk tree of a 3DS file as text, for tarvik-dump: one line per chunk,
// indented by two spaces per level, with the tag in hexadecimal, the tag's
// name from the toolkit's tag table, the length and the data record in short
// form (lists show their count and first elements):
//
//   0x4D4D mesh-file root (24935 bytes)
//     0x0002 file version (10 bytes): 3
//     0x3D3D 3D editor section (24801 bytes)
//       0x4000 named object (1093 bytes): "Hips"
//         0x4100 triangle mesh (1079 bytes)
//           0x4110 vertex list (296 bytes): 24 points: (1, 2, 3), (1, 2, 4), ...

#include "toolkit3ds/chunk_tree.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The line of one chunk, without indentation or line end. Loads the chunk's
// record (ReadChunkData3ds) and drops it again when its file can supply it;
// a record that cannot be loaded shows as "(unreadable)" and its errors stay
// pending.
std::string DescribeChunk(Chunk3ds* chunk);

// Writes the lines of the chunk and everything below it (not its following
// siblings), the chunk at the given depth. Chunks made in memory (size 0, such
// as the reader's parent-name notes) are in no file and are left out with
// what is below them. Call it with no error pending: a record that cannot be
// loaded does not stop the dump; the errors of all such records are left
// pending at the end, in the order of their lines.
void DumpChunkTree(std::FILE* out, Chunk3ds* chunk, int depth = 0);
