#pragma once
// Reads written 3DS bytes back as a tree of chunk headers, for tests that
// check a whole file: that it is exactly one root chunk and that every
// container's length covers exactly its sub-chunks.

#include "tests/support/chunk_reader.h"

#include <string>
#include <vector>

struct ChunkTreeView {
    ChunkView chunk;
    std::vector<ChunkTreeView> children; // only for containers (chunks without data)
};

// Reads the bytes as one root chunk whose length is the size of the bytes,
// descending into every container tag of the toolkit's tag table; other
// chunks are leaves, whatever follows their data. A length that does not fit
// its parent fails the test.
ChunkTreeView ReadChunkTree(const std::vector<unsigned char>& bytes);

// The tree as text, tags in upper-case hex with each container's children in
// parentheses: "4D4D(0002 3D3D(3D3E) B000(B00A))".
std::string DescribeChunkTree(const ChunkTreeView& tree);
