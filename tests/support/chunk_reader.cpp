#include "tests/support/chunk_reader.h"

#include "toolkit3ds/chunk_data.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

constexpr size_t kHeaderSize = 6;

// Containers nest a few levels deep; a file that claims more is broken.
constexpr int kMaxDepth = 16;

// The little-endian value of `count` bytes at offset; the caller checks the range.
uint32_t ReadLe(const std::vector<unsigned char>& bytes, size_t offset, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        value |= uint32_t{bytes[offset + i]} << (8 * i);
    }
    return value;
}

ChunkTreeView ReadNode(const std::vector<unsigned char>& bytes, const ChunkView& chunk, int depth) {
    ChunkTreeView node{chunk, {}};
    if (GetChunkKind3ds(chunk.tag) != ChunkKind3ds::kContainer) {
        return node;
    }
    if (depth >= kMaxDepth) {
        ADD_FAILURE() << "containers nested deeper than " << kMaxDepth;
        return node;
    }
    for (const ChunkView& child :
         ReadChunkList(bytes, chunk.offset + kHeaderSize, chunk.offset + chunk.length)) {
        node.children.push_back(ReadNode(bytes, child, depth + 1));
    }
    return node;
}

} // namespace

std::vector<ChunkView> ReadChunkList(const std::vector<unsigned char>& bytes, size_t begin,
                                     size_t end) {
    std::vector<ChunkView> chunks;
    if (end > bytes.size() || begin > end) {
        ADD_FAILURE() << "chunk range " << begin << ".." << end << " outside " << bytes.size();
        return chunks;
    }
    size_t offset = begin;
    while (offset < end) {
        if (end - offset < kHeaderSize) {
            ADD_FAILURE() << "partial chunk header at offset " << offset;
            break;
        }
        const ChunkView chunk{static_cast<uint16_t>(ReadLe(bytes, offset, 2)),
                              ReadLe(bytes, offset + 2, 4), offset};
        if (chunk.length < kHeaderSize || chunk.length > end - offset) {
            ADD_FAILURE() << "chunk 0x" << std::hex << chunk.tag << std::dec << " at offset "
                          << offset << " has length " << chunk.length << ", room for "
                          << end - offset;
            break;
        }
        chunks.push_back(chunk);
        offset += chunk.length;
    }
    return chunks;
}

ChunkTreeView ReadChunkTree(const std::vector<unsigned char>& bytes) {
    const std::vector<ChunkView> roots = ReadChunkList(bytes, 0, bytes.size());
    if (roots.size() != 1) {
        ADD_FAILURE() << "expected one root chunk filling the " << bytes.size() << " bytes, found "
                      << roots.size() << " chunks";
        return {};
    }
    return ReadNode(bytes, roots[0], 0);
}

std::string DescribeChunkTree(const ChunkTreeView& tree) {
    char tag[8];
    std::snprintf(tag, sizeof tag, "%04X", static_cast<unsigned>(tree.chunk.tag));
    std::string text = tag;
    if (!tree.children.empty()) {
        text += '(';
        for (size_t i = 0; i < tree.children.size(); ++i) {
            text += (i == 0 ? "" : " ") + DescribeChunkTree(tree.children[i]);
        }
        text += ')';
    }
    return text;
}

std::vector<unsigned char> ChunkBytes(uint16_t tag, const std::vector<unsigned char>& body) {
    const auto length = static_cast<uint32_t>(kHeaderSize + body.size());
    std::vector<unsigned char> bytes = {
        static_cast<unsigned char>(tag),          static_cast<unsigned char>(tag >> 8),
        static_cast<unsigned char>(length),       static_cast<unsigned char>(length >> 8),
        static_cast<unsigned char>(length >> 16), static_cast<unsigned char>(length >> 24)};
    return bytes + body;
}

std::vector<unsigned char> operator+(std::vector<unsigned char> a,
                                     const std::vector<unsigned char>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
