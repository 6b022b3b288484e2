#include "tests/support/chunk_tree_walk.h"

#include "toolkit3ds/chunk_data.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// Containers nest a few levels deep; a file that claims more is broken.
constexpr int kMaxDepth = 16;

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
