// Real importers read the converted sample: assimp's command-line tool
// (Debian's assimp-utils) reads KeshMesh.3ds (info) and exports it as glTF, which
// must hold every part, material and bitmap and the camera (the expected
// materials come from the written file and the bitmaps beside it); assimp and
// Blender read KeshMesh.glb. Each is skipped when its program is not installed.

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

// The sample's glTF file, read by assimp and, where installed, by Blender's
// own importer (Debian's blender, run headless).
TEST(Importer, AssimpAndBlenderReadHerGltfFileWithHerHierarchyAndAnimations) {
    ScopedTempDir dir;
    WriteFileBytes("sample.qlv", BuildLevel(DescribeSampleLevel()).bytes);
    ASSERT_EQ(RunProgram({TARVIK_EXE, "--gltf", "sample.qlv"}, dir.path()).exitCode, 0);
    const char* parents[] = {
        "KeshMesh", "Hips",  "L Thigh",    "L Calf",    "Hips",    "R Thigh",    "R Calf",
        "Hips",     "Torso", "R UpperArm", "R Forearm", "Torso",   "L UpperArm", "L Forearm",
        "Torso",    "Head",  "Ptail Top",  "Ptail 2",   "Ptail 3", "Ptail 4",    "Ptail 5"};

    const ProcessResult info = Assimp({"info", "KeshMesh.glb"}, dir.path());
    if (info.exitCode != 127) {
        ASSERT_EQ(info.exitCode, 0) << info.err;
        // The hierarchy is drawn with one level of indentation per parent.
        for (const char* text : {"KeshMesh\n└╴Hips (mesh", "\n    └╴Head (mesh",
                                 "\n      └╴Ptail Top (mesh", "'Anim 000'", "'Anim 003'"}) {
            EXPECT_NE(info.out.find(text), std::string::npos) << text << "\n" << info.out;
        }
    }

    if (RunProgram({"/usr/bin/env", "blender", "--version"}, dir.path()).exitCode != 0) {
        GTEST_SKIP() << "Blender is not installed";
    }
    // Debian's Blender 3.4 importer still uses numpy.bool.
    const std::string script =
        "import numpy, bpy\n"
        "numpy.bool = bool\n"
        "bpy.ops.wm.read_factory_settings(use_empty=True)\n"
        "bpy.ops.import_scene.gltf(filepath='KeshMesh.glb')\n"
        "print(len(bpy.data.objects), 'objects')\n"
        "for o in bpy.data.objects: print(o.name + '<' + (o.parent.name if o.parent else ''))\n"
        "print('|'.join(sorted({a.name.rsplit('_', 1)[0] for a in bpy.data.actions})))\n";
    const ProcessResult run =
        RunProgram({"/usr/bin/env", "blender", "-b", "--factory-startup", "--python-expr", script},
                   dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> lines = {"22 objects\n", "\nKeshMesh<\n",
                                      "\nAnim 000|Anim 001|Anim 002|Anim 003\n"};
    for (size_t part = 0; part < kBodyPartCount; ++part) {
        lines.push_back("\n" + std::string(kBodyParts[part].name) + "<" + parents[part] + "\n");
    }
    for (const std::string& line : lines) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
    }
}

} // namespace
