// Writes the seed corpus of the level fuzz targets into a directory that
// exists: valid levels made with the level builder (the sample, a small
// character with a skeleton and two animations but no texture pages, the same with one page and
// textured faces, and a level with an entry in every block), every level cut in the middle of each
// of its blocks, and single-field corruptions: counts set to 0, one more, and all ones, and mesh
// pointers sent past the mesh words, round the 32-bit range and onto odd bytes.

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "level/skeleton.h"
#include "tools/levelbuilder/every_block_level.h"
#include "tools/levelbuilder/level_builder.h"
#include "tools/levelbuilder/sample_level.h"

namespace {

inline constexpr Vertex16 kUp = {0, 0, 16384};
inline constexpr Vertex16 kDown = {0, 0, -16384};
inline constexpr size_t kMeshCount = 36;

// A square of four vertices at height z, one coloured quad and one coloured
// triangle on it.
BuilderMesh SquareMesh(int16_t z, uint16_t colour) {
    BuilderMesh mesh;
    mesh.vertices = {{0, 0, z}, {100, 0, z}, {100, 100, z}, {0, 100, z}};
    mesh.normals = {kUp, kUp, kUp, kUp};
    mesh.colouredQuads = {{{0, 1, 2, 3}, colour}};
    mesh.colouredTriangles = {{{3, 2, 0}, static_cast<uint16_t>(colour + 0x100)}};
    return mesh;
}

// 36 meshes, every one a small coloured square; no texture pages. Some parts
// vary: light values, negative counts, faces against their normals, a corner
// carrying bit 15, an odd offset.
LevelDescription SmallCharacter() {
    LevelDescription level;
    for (size_t i = 0; i < level.palette.size(); ++i) {
        level.palette[i] = {static_cast<uint8_t>(i % 64), static_cast<uint8_t>(i / 4),
                            static_cast<uint8_t>(63 - i % 64)};
    }
    for (size_t i = 0; i < kMeshCount; ++i) {
        level.meshes.push_back(SquareMesh(static_cast<int16_t>(i), static_cast<uint16_t>(i)));
    }
    level.meshes[1].normals.clear();
    level.meshes[1].lightValues = {100, -200, 300, 16000};
    level.meshes[2].negativeCounts = true;
    level.meshes[7].normals = {kDown, kDown, kDown, kDown};
    level.meshes[14].colouredQuads[0].corners[3] = 0x8003;
    level.meshes[30].padBefore = 1;

    // Her skeleton, with a push and a pop, and two short animations.
    std::vector<BuilderTreeNode> tree(14);
    tree[0] = {2, {0, 50, 0}};
    tree[3] = {3, {0, 50, 10}};
    tree[6] = {1, {0, -60, 0}};
    BuilderKeyframe still{{0, -100, 0}, std::vector<JointAngles>(15, JointAngles{0, 0, 256})};
    BuilderKeyframe turned = still;
    turned.angles[1] = {100, 200, 300};
    turned.threeAxes = true;
    AddAnimation(level, {still, turned}, 2);
    AddAnimation(level, {turned}, 1);
    level.meshTrees = EncodeMeshTree(tree);
    level.moveables = EncodeMoveables({{kPlayerObjectId, 15, 0, 0, 0, 0}, {1, 1, 20, 0, 0, 1}});
    return level;
}

// SmallCharacter with one texture page and textured faces on a few parts.
LevelDescription SmallTexturedCharacter() {
    LevelDescription level = SmallCharacter();
    level.texturePages8 = PatternBytes(kPageBytes8, 3);
    level.objectTextures.resize(3);
    const uint8_t corners[3][4][2] = {{{10, 20}, {12, 20}, {12, 21}, {10, 21}},
                                      {{100, 10}, {102, 11}, {101, 12}, {250, 250}},
                                      {{0, 0}, {255, 0}, {255, 255}, {0, 255}}};
    for (size_t t = 0; t < 3; ++t) {
        level.objectTextures[t].tile = 0;
        for (size_t c = 0; c < 4; ++c) {
            level.objectTextures[t].vertices[c].xPixel = corners[t][c][0];
            level.objectTextures[t].vertices[c].yPixel = corners[t][c][1];
        }
    }
    for (const size_t mesh : {0, 7, 14, 35}) {
        level.meshes[mesh].texturedQuads = {{{0, 1, 2, 3}, static_cast<uint16_t>(mesh % 3)}};
        level.meshes[mesh].texturedTriangles = {{{2, 1, 0}, 1}};
    }
    return level;
}

class SeedWriter {
public:
    explicit SeedWriter(std::filesystem::path directory) : directory_(std::move(directory)) {}

    void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = (directory_ / (name + ".qlv")).string();
        std::FILE* file = std::fopen(path.c_str(), "wb");
        const bool written =
            file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (file == nullptr || std::fclose(file) != 0 || !written) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), std::strerror(errno));
            failed_ = true;
        }
    }

    bool failed() const { return failed_; }

private:
    std::filesystem::path directory_;
    bool failed_ = false;
};

std::string FileNamePart(const std::string& text) {
    std::string name = text;
    for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '-';
    }
    return name;
}

void WriteTruncations(SeedWriter& out, const std::string& name, const BuiltLevel& built) {
    for (const BlockPlace& block : built.blocks) {
        if (block.size > 1) {
            const size_t size = block.offset + block.size / 2;
            out.Write(name + "-cut-" + std::to_string(size),
                      {built.bytes.begin(), built.bytes.begin() + static_cast<ptrdiff_t>(size)});
        }
    }
}

void WriteCountCorruptions(SeedWriter& out, const std::string& name, const BuiltLevel& built) {
    for (const BlockPlace& block : built.blocks) {
        if (block.name.find("count") == std::string::npos) {
            continue;
        }
        const std::string prefix = name + "-" + FileNamePart(block.name);
        std::vector<uint8_t> bytes = built.bytes;
        if (block.size == 2) {
            const uint16_t count =
                static_cast<uint16_t>(bytes[block.offset] | bytes[block.offset + 1] << 8);
            for (const uint16_t value :
                 {uint16_t{0}, static_cast<uint16_t>(count + 1), uint16_t{0xFFFF}}) {
                PatchU16(bytes, block.offset, value);
                out.Write(prefix + "-" + std::to_string(value), bytes);
            }
        } else {
            const uint32_t count = bytes[block.offset] | bytes[block.offset + 1] << 8 |
                                   bytes[block.offset + 2] << 16 |
                                   uint32_t{bytes[block.offset + 3]} << 24;
            for (const uint32_t value : {0u, count + 1, 0xFFFFFFFFu}) {
                PatchU32(bytes, block.offset, value);
                out.Write(prefix + "-" + std::to_string(value), bytes);
            }
        }
    }
}

void WritePointerCorruptions(SeedWriter& out, const std::string& name, const BuiltLevel& built) {
    const BlockPlace& pointers = FindBlock(built, "mesh pointers");
    const uint32_t wordsSize = static_cast<uint32_t>(FindBlock(built, "mesh words").size);
    for (const size_t mesh : {size_t{0}, size_t{20}, size_t{35}}) {
        for (const uint32_t pointer : {wordsSize, 0xFFFFFFFAu, built.meshStarts[mesh] + 1}) {
            std::vector<uint8_t> bytes = built.bytes;
            PatchU32(bytes, pointers.offset + 4 * mesh, pointer);
            out.Write(name + "-mesh-" + std::to_string(mesh) + "-at-" + std::to_string(pointer),
                      bytes);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: %s {directory}\n", argc > 0 ? argv[0] : "make_level_seeds");
        return 1;
    }
    SeedWriter out(argv[1]);

    out.Write("sample", BuildLevel(DescribeSampleLevel()).bytes);
    out.Write("small-textured", BuildLevel(SmallTexturedCharacter()).bytes);
    const BuiltLevel small = BuildLevel(SmallCharacter());
    const BuiltLevel everyBlock = BuildLevel(EveryBlockLevel(0));
    for (const auto& [name, built] :
         {std::pair<std::string, const BuiltLevel&>{"small", small}, {"every-block", everyBlock}}) {
        out.Write(name, built.bytes);
        WriteTruncations(out, name, built);
        WriteCountCorruptions(out, name, built);
    }
    WritePointerCorruptions(out, "small", small);
    return out.failed() ? 1 : 0;
}
