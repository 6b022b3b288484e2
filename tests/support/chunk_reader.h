#pragma once
// A small reader of written 3DS bytes, for tests: walks chunk headers and
// reads a whole file back as a tree of chunk headers, so that a test can
// check what a writer produced without going through the toolkit's own
// reading code.
//
// Every function adds a GoogleTest failure (and returns what it has) when the
// bytes do not hold what is asked for; none of them reads out of range.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ChunkView {
    uint16_t tag = 0;
    uint32_t length = 0; // as recorded in the header: header, data and sub-chunks
    size_t offset = 0;   // offset of the header in the bytes
};

// The chunks laid one after another in bytes[begin, end). A header that does not
// fit, or a length below 6 or running past end, fails the test and ends the list.
std::vector<ChunkView> ReadChunkList(const std::vector<unsigned char>& bytes, size_t begin,
                                     size_t end);

struct ChunkTreeView {
    ChunkView chunk;
    std::vector<ChunkTreeView> children; // only for containers (chunks without data)
};

// Reads the bytes as one root chunk whose length is the size of the bytes,
// descending into every container tag of the toolkit's tag table; other
// chunks are leaves, whatever follows their data. A length that does not fit
// its parent fails the test, and so do bytes that are not exactly one chunk.
ChunkTreeView ReadChunkTree(const std::vector<unsigned char>& bytes);

// The tree as text, tags in upper-case hex with each container's children in
// parentheses: "4D4D(0002 3D3D(3D3E) B000(B00A))".
std::string DescribeChunkTree(const ChunkTreeView& tree);

// One chunk for a test input: the header with the length that covers the
// body, then the body: ChunkBytes(0x0002, Hex("03000000")).
std::vector<unsigned char> ChunkBytes(uint16_t tag, const std::vector<unsigned char>& body = {});
// The bytes of a and then of b.
std::vector<unsigned char> operator+(std::vector<unsigned char> a,
                                     const std::vector<unsigned char>& b);
