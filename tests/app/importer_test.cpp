// A real importer reads the converted sample: assimp's command-line tool
// (Debian's assimp-utils) reads KeshMesh.3ds (info) and exports it as glTF, which
// must hold every part, material and bitmap and the camera. The expected
// materials come from the written file and the bitmaps beside it.
// Skipped when assimp is not installed.

#include "convert/body_parts.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree_outline.h"
#include "toolkit3ds/chunk_tags.h"
#include "toolkit3ds/database_reader.h"
#include "toolkit3ds/errors.h"
#include "tools/levelbuilder/sample_level.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

// Runs assimp from PATH with the arguments (env exits 127 when there is none).
ProcessResult Assimp(std::vector<std::string> args, const std::string& cwd) {
    args.insert(args.begin(), {"/usr/bin/env", "assimp"});
    return RunProgram(args, cwd);
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
std::set<std::string> MaterialNames(const char* path) {
    std::unique_ptr<Database3ds> db = ReadDatabaseFile(path);
    const std::vector<std::string> written = MaterialNames(*db);
    const std::set<std::string> names(written.begin(), written.end());
    EXPECT_FALSE(ErrorPending3ds);
    ResetToolkit3ds();
    return names;
}

TEST(Importer, AssimpReadsTheSampleWithEveryPartMaterialTextureAndTheCamera) {
    ScopedTempDir dir;
    WriteFileBytes("sample.qlv", BuildLevel(DescribeSampleLevel()).bytes);
    ASSERT_EQ(RunProgram({TARVIK_EXE, "sample.qlv"}, dir.path()).exitCode, 0);
    const ProcessResult info = Assimp({"info", "KeshMesh.3ds"}, dir.path());
    if (info.exitCode == 127) {
        GTEST_SKIP() << "assimp is not installed (Debian package assimp-utils)";
    }
    ASSERT_EQ(info.exitCode, 0) << info.out << info.err;

    // One material per bitmap, named after it, and the colour materials.
    std::set<std::string> bitmaps, expected;
    for (const std::string& name : ListDirectory(dir.path())) {
        if (name.ends_with(".bmp")) {
            bitmaps.insert(name);
            expected.insert(name.substr(0, name.size() - 4));
        }
    }
    const std::set<std::string> written = MaterialNames("KeshMesh.3ds");
    for (const std::string& name : written) {
        if (std::regex_match(name, std::regex("Color[0-9a-f]{2}"))) {
            expected.insert(name);
        }
    }
    EXPECT_EQ(written, expected);
    EXPECT_GT(expected.size(), bitmaps.size()) << "no colour material";

    const ProcessResult gltf = Assimp({"export", "KeshMesh.3ds", "out.gltf"}, dir.path());
    ASSERT_EQ(gltf.exitCode, 0) << gltf.out << gltf.err;
    const std::vector<unsigned char> jsonBytes = ReadFileBytes("out.gltf");
    const std::string json(jsonBytes.begin(), jsonBytes.end());
    std::set<std::string> uris = JsonValues(json, "uri");
    EXPECT_EQ(uris.erase("out.bin"), 1u);
    EXPECT_EQ(uris, bitmaps);
    // assimp splits each object by material and names the pieces by the object's number.
    const std::set<std::string> names = JsonValues(json, "name");
    EXPECT_TRUE(names.contains("Camera1"));
    for (size_t object = 0; object <= kBodyPartCount; ++object) {
        EXPECT_EQ(names.contains(std::to_string(object)), object < kBodyPartCount) << object;
    }
    for (const std::string& material : written) {
        EXPECT_TRUE(names.contains(material)) << material;
    }
}

} // namespace
