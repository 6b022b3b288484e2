#include "tests/support/chunk_reader.h"

#include "toolkit3ds/chunk_data.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>

namespace {

constexpr size_t kHeaderSize = 6;

// Containers nest a few levels deep; a file that claims more is broken.
constexpr int kMaxDepth = 16;

bool InRange(const std::vector<unsigned char>& bytes, size_t offset, size_t count) {
    if (offset > bytes.size() || bytes.size() - offset < count) {
        ADD_FAILURE() << "reading " << count << " bytes at offset " << offset << " of "
                      << bytes.size();
        return false;
    }
    return true;
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
    for (const ChunkView& child : ReadSubChunks(bytes, chunk)) {
        node.children.push_back(ReadNode(bytes, child, depth + 1));
    }
    return node;
}

} // namespace

uint16_t ReadLe16(const std::vector<unsigned char>& bytes, size_t offset) {
    if (!InRange(bytes, offset, 2)) {
        return 0;
    }
    return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

uint32_t ReadLe32(const std::vector<unsigned char>& bytes, size_t offset) {
    if (!InRange(bytes, offset, 4)) {
        return 0;
    }
    return uint32_t{bytes[offset]} | (uint32_t{bytes[offset + 1]} << 8) |
           (uint32_t{bytes[offset + 2]} << 16) | (uint32_t{bytes[offset + 3]} << 24);
}

float ReadLeFloat(const std::vector<unsigned char>& bytes, size_t offset) {
    return std::bit_cast<float>(ReadLe32(bytes, offset));
}

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
        ChunkView chunk{ReadLe16(bytes, offset), ReadLe32(bytes, offset + 2), offset};
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

std::vector<ChunkView> ReadSubChunks(const std::vector<unsigned char>& bytes,
                                     const ChunkView& chunk, size_t dataSize) {
    const size_t begin = chunk.offset + kHeaderSize + dataSize;
    const size_t end = chunk.offset + chunk.length;
    if (begin > end) {
        ADD_FAILURE() << "chunk 0x" << std::hex << chunk.tag << std::dec << " of length "
                      << chunk.length << " has no room for " << dataSize << " data bytes";
        return {};
    }
    return ReadChunkList(bytes, begin, end);
}

std::vector<unsigned char> ChunkData(const std::vector<unsigned char>& bytes,
                                     const ChunkView& chunk, size_t count) {
    const size_t begin = chunk.offset + kHeaderSize;
    if (!InRange(bytes, begin, count)) {
        return {};
    }
    return std::vector<unsigned char>(bytes.begin() + static_cast<std::ptrdiff_t>(begin),
                                      bytes.begin() + static_cast<std::ptrdiff_t>(begin + count));
}

std::vector<uint16_t> ChunkTags(const std::vector<ChunkView>& chunks) {
    std::vector<uint16_t> tags;
    for (const ChunkView& chunk : chunks) {
        tags.push_back(chunk.tag);
    }
    return tags;
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
