// A real importer reads the converted sample: assimp's command-line tool
// (Debian's assimp-utils) imports KeshMesh.3ds and exports it as glTF. The
// expected materials come from the written file and the bitmaps beside it.
// Skipped when assimp is not installed.

#include "convert/body_parts.h"
#include "tests/support/chunk_reader.h"
#include "tests/support/temp_dir.h"
#include "toolkit3ds/chunk_tags.h"
#include "tools/levelbuilder/sample_level.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The assimp program on PATH, or "" when there is none.
std::string FindAssimp() {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::filesystem::path candidate = std::filesystem::path(dir) / "assimp";
        if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return "";
}

// What `assimp info` lists: each mesh's name, the mesh of each mesh node, and
// the names of the nodes, materials and texture files.
struct ImportedScene {
    std::vector<std::string> meshNames;
    std::vector<int> nodeMeshes;
    std::set<std::string> nodeNames;
    std::set<std::string> materials;
    std::set<std::string> textureRefs;
};

ImportedScene ParseInfo(const std::string& text) {
    static const std::regex meshLine(R"(^ +\d+ \((.*)\): \[.*)");
    static const std::regex quotedLine(R"(^ +'(.*)'( \(prop\) .*)?$)");
    static const std::regex nodeLine(R"(^(.*?)(?: \(mesh (\d+)\))?$)");
    const std::string branch = "╴"; // the box-drawing stroke before each child's name
    ImportedScene scene;
    std::istringstream lines(text);
    std::string section;
    std::smatch match;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line.starts_with("Meshes:") || line == "Named Materials:" ||
            line == "Texture Refs:" || line == "Node hierarchy:") {
            section = line.substr(0, line.find(':') + 1);
        } else if (section == "Meshes:" && std::regex_match(line, match, meshLine)) {
            scene.meshNames.push_back(match[1]);
        } else if (section == "Named Materials:" && std::regex_match(line, match, quotedLine) &&
                   match[2].matched) {
            scene.materials.insert(match[1]);
        } else if (section == "Texture Refs:" && std::regex_match(line, match, quotedLine)) {
            scene.textureRefs.insert(match[1]);
        } else if (section == "Node hierarchy:") {
            const size_t stroke = line.rfind(branch);
            const std::string node =
                stroke == std::string::npos ? line : line.substr(stroke + branch.size());
            std::regex_match(node, match, nodeLine);
            scene.nodeNames.insert(match[1]);
            if (match[2].matched) {
                scene.nodeMeshes.push_back(std::stoi(match[2]));
            }
        }
    }
    return scene;
}

// Every value of the JSON key in the text, such as each "uri" of a glTF file.
std::set<std::string> JsonValues(const std::string& json, const std::string& key) {
    const std::regex pattern("\"" + key + "\" *: *\"([^\"]*)\"");
    std::set<std::string> values;
    for (auto it = std::sregex_iterator(json.begin(), json.end(), pattern);
         it != std::sregex_iterator(); ++it) {
        values.insert((*it)[1]);
    }
    return values;
}

// The names in the material name chunks of the written file.
void CollectMaterialNames(const std::vector<unsigned char>& bytes, const ChunkTreeView& node,
                          std::set<std::string>& names) {
    if (node.chunk.tag == kTagMaterialName3ds) {
        const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(node.chunk.offset + 6);
        const auto end = begin + static_cast<std::ptrdiff_t>(node.chunk.length - 6);
        names.insert(std::string(begin, std::find(begin, end, '\0')));
    }
    for (const ChunkTreeView& child : node.children) {
        CollectMaterialNames(bytes, child, names);
    }
}

TEST(Importer, AssimpReadsTheSampleWithEveryPartMaterialTextureAndTheCamera) {
    const std::string assimp = FindAssimp();
    if (assimp.empty()) {
        GTEST_SKIP() << "assimp is not installed (Debian package assimp-utils)";
    }
    ScopedTempDir dir;
    WriteFileBytes("sample.qlv", BuildLevel(DescribeSampleLevel()).bytes);
    ASSERT_EQ(RunProgram({TARVIK_EXE, "sample.qlv"}, dir.path()).exitCode, 0);

    std::set<std::string> bitmaps, textureMaterials, written;
    for (const std::string& name : ListDirectory(dir.path())) {
        if (name.ends_with(".bmp")) {
            bitmaps.insert(name);
            textureMaterials.insert(name.substr(0, name.size() - 4));
        }
    }
    const std::vector<unsigned char> bytes = ReadFileBytes("KeshMesh.3ds");
    CollectMaterialNames(bytes, ReadChunkTree(bytes), written);
    std::set<std::string> colourMaterials;
    for (const std::string& name : written) {
        if (std::regex_match(name, std::regex("Color[0-9a-f]{2}"))) {
            colourMaterials.insert(name);
        } else {
            EXPECT_TRUE(textureMaterials.contains(name)) << name << " has no bitmap";
        }
    }
    EXPECT_FALSE(bitmaps.empty());
    EXPECT_FALSE(colourMaterials.empty());
    EXPECT_EQ(written.size(), textureMaterials.size() + colourMaterials.size());

    const ProcessResult info = RunProgram({assimp, "info", "KeshMesh.3ds"}, dir.path());
    ASSERT_EQ(info.exitCode, 0) << info.out << info.err;
    const ImportedScene scene = ParseInfo(info.out);
    EXPECT_EQ(scene.materials, written);
    EXPECT_EQ(scene.textureRefs, bitmaps);
    EXPECT_TRUE(scene.nodeNames.contains("Camera1"));
    // assimp splits each object by material and gives each piece a node of
    // its own; the pieces keep their object's name.
    std::multiset<int> pieces(scene.nodeMeshes.begin(), scene.nodeMeshes.end());
    std::set<std::string> objects;
    for (size_t mesh = 0; mesh < scene.meshNames.size(); ++mesh) {
        EXPECT_EQ(pieces.count(static_cast<int>(mesh)), 1u) << "mesh " << mesh;
        objects.insert(scene.meshNames[mesh]);
    }
    EXPECT_EQ(objects.size(), kBodyPartCount);

    const ProcessResult gltf =
        RunProgram({assimp, "export", "KeshMesh.3ds", "out.gltf"}, dir.path());
    ASSERT_EQ(gltf.exitCode, 0) << gltf.out << gltf.err;
    const std::vector<unsigned char> jsonBytes = ReadFileBytes("out.gltf");
    const std::string json(jsonBytes.begin(), jsonBytes.end());
    std::set<std::string> uris = JsonValues(json, "uri");
    EXPECT_EQ(uris.erase("out.bin"), 1u);
    EXPECT_EQ(uris, bitmaps);
    const std::set<std::string> names = JsonValues(json, "name");
    EXPECT_TRUE(names.contains("Camera1"));
    for (const std::string& material : written) {
        EXPECT_TRUE(names.contains(material)) << material;
    }
}

} // namespace
