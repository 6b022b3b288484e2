// The glTF path end to end: levels with hand-made and random joint trees and
// animations, converted by the built program with --gltf and read back with
// tinygltf. World positions are checked against the level's rig evaluated
// here with plain matrices: World(0) = T(root) Ry Rx Rz, World(k) =
// World(parent) T(offset) Ry Rx Rz, mapped to (-x, -y, z) * s.

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/body_parts.h"
#include "convert/character_scene.h"
#include "tests/support/gltf_file.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree_outline.h"
#include "toolkit3ds/chunk_data.h"
#include "toolkit3ds/chunk_tags.h"
#include "tools/levelbuilder/sample_level.h"

namespace {

using Vec = std::array<double, 3>;

constexpr double kTolerance = 1e-5; // metres

Vec Minus(const Vec& a, const Vec& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

Vec Cross(const Vec& a, const Vec& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// Element i of an accessor of three-component vectors.
Vec At(const std::vector<double>& values, double i) {
    const size_t at = 3 * static_cast<size_t>(i);
    return {values[at], values[at + 1], values[at + 2]};
}

// Ry(y) Rx(x) Rz(z), standard right-handed rotations, angles in 1024ths.
std::array<double, 9> JointRotation(const JointAngles& a) {
    const auto angle = [](uint16_t units) { return units * 2 * M_PI / 1024; };
    const double cx = std::cos(angle(a.x)), sx = std::sin(angle(a.x));
    const double cy = std::cos(angle(a.y)), sy = std::sin(angle(a.y));
    const double cz = std::cos(angle(a.z)), sz = std::sin(angle(a.z));
    const Transform rx = {{1, 0, 0, 0, cx, -sx, 0, sx, cx}};
    const Transform ry = {{cy, 0, sy, 0, 1, 0, -sy, 0, cy}};
    const Transform rz = {{cz, -sz, 0, sz, cz, 0, 0, 0, 1}};
    return Compose(Compose(ry, rx), rz).rotation;
}

struct Rig {
    std::vector<int> parents; // per mesh 0..14
    std::vector<BuilderTreeNode> tree;
    std::vector<std::vector<BuilderKeyframe>> animations;
    std::vector<uint8_t> frameRates;
};

// Where the level's rig puts level point v of mesh j, in the file's frame.
Vec Expected(const Rig& rig, const BuilderKeyframe& keyframe, size_t j, Vec v) {
    for (int k = static_cast<int>(j); k >= 0; k = rig.parents[k]) {
        const auto& root = keyframe.rootOffset;
        const auto& offset =
            k == 0 ? std::array<int32_t, 3>{root[0], root[1], root[2]} : rig.tree[k - 1].offset;
        v = Apply({JointRotation(keyframe.angles[k]),
                   {1.0 * offset[0], 1.0 * offset[1], 1.0 * offset[2]}},
                  v);
    }
    return {-v[0] * kMetresPerLevelUnit, -v[1] * kMetresPerLevelUnit, v[2] * kMetresPerLevelUnit};
}

// The sample's meshes with the rig; a second moveable owns one more animation.
LevelDescription RiggedLevel(const Rig& rig) {
    LevelDescription level = DescribeSampleLevel();
    level.animations.clear();
    level.frames.clear();
    for (size_t a = 0; a < rig.animations.size(); ++a) {
        AddAnimation(level, rig.animations[a], rig.frameRates[a]);
    }
    const uint32_t others = AddAnimation(level, {rig.animations[0][0]}, 1);
    level.meshTrees = EncodeMeshTree(rig.tree);
    level.moveables = EncodeMoveables(
        {{3, 1, 20, 0, 0, static_cast<uint16_t>(others)}, {kPlayerObjectId, 15, 0, 0, 0, 0}});
    return level;
}

// The level converted with --gltf, its warnings as expected. The Khronos
// validator must find no error and no warning in the file where node and the
// validator are installed (tools/install-deps.sh ci).
tinygltf::Model ConvertWithGltf(const LevelDescription& level, const ScopedTempDir& dir,
                                const std::string& expectedErr = "") {
    WriteFileBytes("level.qlv", BuildLevel(level).bytes);
    const ProcessResult run = RunProgram({TARVIK_EXE, "--gltf", "level.qlv"}, dir.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "Creating glTF file 'KeshMesh.glb'\n");
    EXPECT_EQ(run.err, expectedErr);
    const ProcessResult valid =
        RunProgram({"/usr/bin/env", "node",
                    std::string(TARVIK_SOURCE_DIR) + "/tools/validate-gltf.cjs", "KeshMesh.glb"},
                   dir.path());
    EXPECT_TRUE(valid.exitCode == 0 || valid.exitCode == 2 || valid.exitCode == 127) << valid.out;
    return LoadGlb("KeshMesh.glb");
}

void ExpectNear(const Vec& actual, const Vec& expected, const std::string& where) {
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(actual[i], expected[i], kTolerance) << where << " axis " << i;
    }
}

// Every animation's every keyframe puts the checked points of every body
// mesh where the rig does, and the hierarchy follows the mesh tree.
void ExpectRigFollowed(const Rig& rig, const tinygltf::Model& model) {
    const std::vector<int> parents = NodeParents(model);
    for (size_t j = 1; j < 15; ++j) {
        EXPECT_EQ(parents[FindNode(model, kBodyParts[j].name)],
                  FindNode(model, kBodyParts[rig.parents[j]].name))
            << kBodyParts[j].name;
    }
    EXPECT_EQ(parents[FindNode(model, "Ptail Top")], FindNode(model, "Head"));
    ASSERT_EQ(model.animations.size(), rig.animations.size());
    for (size_t a = 0; a < rig.animations.size(); ++a) {
        const tinygltf::Animation& animation = model.animations[a];
        EXPECT_EQ(animation.name, "Anim " + std::string(a < 10 ? "00" : "0") + std::to_string(a));
        const std::vector<double> times = AccessorValues(model, animation.samplers[0].input);
        ASSERT_EQ(times.size(), rig.animations[a].size());
        for (size_t k = 0; k < times.size(); ++k) {
            EXPECT_NEAR(times[k], k * rig.frameRates[a] / 30.0, 1e-6);
            for (size_t j = 0; j < 15; ++j) {
                const Transform world =
                    NodeWorld(model, FindNode(model, kBodyParts[j].name), &animation, k);
                for (const Vec& v : {Vec{0, 0, 0}, Vec{100, -50, 25}}) {
                    // The node's frame holds level point v at (-v.x, -v.y, v.z) * s.
                    const Vec local = {-v[0] * kMetresPerLevelUnit, -v[1] * kMetresPerLevelUnit,
                                       v[2] * kMetresPerLevelUnit};
                    ExpectNear(Apply(world, local), Expected(rig, rig.animations[a][k], j, v),
                               "animation " + std::to_string(a) + " keyframe " + std::to_string(k) +
                                   " mesh " + std::to_string(j));
                }
            }
        }
    }
}

TEST(CharacterScene, HandMadeRigPutsHerWhereTheMatricesSay) {
    // Mesh 1 below 0 (pushed), 2 below 1, 3 below 0 (popped), the rest a chain.
    Rig rig;
    rig.parents = {-1, 0, 1, 0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    rig.tree.resize(14);
    rig.tree[0] = {2, {10, 0, 0}};
    rig.tree[1] = {0, {0, 20, 0}};
    rig.tree[2] = {1, {0, 0, 30}};
    BuilderKeyframe first{{0, -100, 0}, std::vector<JointAngles>(15)};
    first.angles[0] = {0, 256, 0}; // a quarter turn about y
    first.angles[1] = {256, 0, 0}; // about x
    first.angles[2] = {0, 0, 256}; // about z, in the three-axis form below
    first.threeAxes = true;
    BuilderKeyframe second{{5, -100, 0}, std::vector<JointAngles>(15)};
    rig.animations = {{first, second}};
    rig.frameRates = {3};

    ScopedTempDir dir;
    const tinygltf::Model model = ConvertWithGltf(RiggedLevel(rig), dir);
    ExpectRigFollowed(rig, model);

    // The same, worked out by hand: (0, 50, 0) of mesh 1 turns to (0, 0, 50),
    // moves to (10, 0, 50), turns to (50, 0, -10) and ends at (50, -100, -10).
    const double s = kMetresPerLevelUnit;
    const tinygltf::Animation& animation = model.animations[0];
    const auto at = [&](const char* part, size_t keyframe, const Vec& v) {
        return Apply(NodeWorld(model, FindNode(model, part), &animation, keyframe),
                     {-v[0] * s, -v[1] * s, v[2] * s});
    };
    ExpectNear(at("L Thigh", 0, {0, 50, 0}), {-50 * s, 100 * s, -10 * s}, "thigh");
    ExpectNear(at("L Calf", 0, {1, 0, 0}), {-21 * s, 100 * s, -10 * s}, "calf");
    ExpectNear(at("L Foot", 0, {0, 0, 0}), {-30 * s, 100 * s, 0}, "foot");
    ExpectNear(at("L Calf", 1, {1, 0, 0}), {-16 * s, 80 * s, 0}, "calf, second keyframe");
}

TEST(CharacterScene, RandomJointTreesAndAnimationsAreFollowed) {
    for (const unsigned seed : {1u, 2u, 3u, 4u}) {
        std::mt19937 random(seed);
        const auto below = [&](int n) { return static_cast<int>(random() % unsigned(n)); };
        const auto angle = [&] { return static_cast<uint16_t>(below(1024)); };
        const auto offset = [&] { return static_cast<int16_t>(below(2001) - 1000); };
        Rig rig;
        rig.parents = {-1};
        std::vector<int> stack;
        int parent = 0;
        for (int k = 1; k < 15; ++k) {
            BuilderTreeNode node{0, {below(401) - 200, below(401) - 200, below(401) - 200}};
            if (!stack.empty() && below(3) == 0) {
                node.flags |= 1;
                parent = stack.back();
                stack.pop_back();
            }
            if (below(3) == 0) {
                node.flags |= 2 | static_cast<uint32_t>(below(2) << 4); // other bits mean nothing
                stack.push_back(parent);
            }
            rig.tree.push_back(node);
            rig.parents.push_back(parent);
            parent = k;
        }
        for (int a = 1 + below(3); a > 0; --a) {
            std::vector<BuilderKeyframe> keyframes;
            for (int k = 1 + below(4); k > 0; --k) {
                BuilderKeyframe keyframe{{offset(), offset(), offset()}, {}};
                keyframe.threeAxes = below(2) == 0;
                for (int j = 0; j < 15; ++j) {
                    // Some single-axis words among the others.
                    keyframe.angles.push_back(!keyframe.threeAxes && below(2) == 0
                                                  ? JointAngles{0, angle(), 0}
                                                  : JointAngles{angle(), angle(), angle()});
                }
                keyframes.push_back(keyframe);
            }
            rig.animations.push_back(keyframes);
            rig.frameRates.push_back(static_cast<uint8_t>(1 + below(4)));
        }
        ScopedTempDir dir;
        SCOPED_TRACE("seed " + std::to_string(seed));
        ExpectRigFollowed(rig, ConvertWithGltf(RiggedLevel(rig), dir));
    }
}

// The 3DS file's records of a chunk, read from the file.
template <typename Layout> const Layout& Record(Chunk3ds* chunk) {
    return std::get<Layout>(*ReadChunkData3ds(chunk));
}

TEST(CharacterScene, StandsAsTheThreeDsFigureWithItsMaterials) {
    // A hand with light values gets no normals; one with zero normals its
    // faces' normals (the validator refuses any other).
    LevelDescription level = DescribeSampleLevel();
    level.meshes[13].lightValues.assign(level.meshes[13].vertices.size(), 4096);
    level.meshes[13].normals.clear();
    level.meshes[10].normals.assign(level.meshes[10].vertices.size(), Vertex16{});
    ScopedTempDir dir;
    const tinygltf::Model model = ConvertWithGltf(level, dir);
    ASSERT_EQ(RunProgram({TARVIK_EXE, "level.qlv"}, dir.path()).exitCode, 0);
    std::unique_ptr<Database3ds> db = ReadDatabaseFile("KeshMesh.3ds");
    constexpr double kScale = kMetresPerLevelUnit / 0.1;

    for (Chunk3ds* object : Children(Editor(*db))) {
        if (object->tag != kTagNamedObject3ds ||
            FindChunk(object, kTagTriangleMesh3ds) == nullptr) {
            continue;
        }
        const std::string name = Record<StringData3ds>(object).text;
        SCOPED_TRACE(name);
        const int node = FindNode(model, name);
        ASSERT_GE(node, 0);
        const tinygltf::Mesh& mesh = model.meshes.at(model.nodes[node].mesh);
        const Transform world = NodeWorld(model, node);
        const auto& points =
            Record<VertexListData3ds>(FindChunk(object, kTagVertexList3ds)).vertices;
        const auto& uvs = Record<TexVertsData3ds>(FindChunk(object, kTagTexVerts3ds)).texVerts;
        const auto& faces = Record<FaceListData3ds>(FindChunk(object, kTagFaceList3ds)).faces;
        std::vector<Chunk3ds*> groups = Children(FindChunk(object, kTagFaceList3ds));
        std::erase_if(groups, [](Chunk3ds* chunk) { return chunk->tag != kTagMaterialGroup3ds; });
        ASSERT_EQ(mesh.primitives.size(), groups.size());
        for (size_t g = 0; g < groups.size(); ++g) {
            const tinygltf::Primitive& primitive = mesh.primitives[g];
            const auto& group = Record<MaterialGroupData3ds>(groups[g]);
            EXPECT_EQ(model.materials.at(primitive.material).name, group.name);
            const std::vector<double> indices = AccessorValues(model, primitive.indices);
            const std::vector<double> positions =
                AccessorValues(model, primitive.attributes.at("POSITION"));
            const bool lit = name == "L Hand";
            EXPECT_EQ(primitive.attributes.count("NORMAL"), lit ? 0u : 1u);
            const std::vector<double> normals =
                lit ? positions : AccessorValues(model, primitive.attributes.at("NORMAL"));
            const std::vector<double> texCoords =
                AccessorValues(model, primitive.attributes.at("TEXCOORD_0"));
            ASSERT_EQ(indices.size(), 3 * group.faces.size());
            for (size_t f = 0; f < group.faces.size(); ++f) {
                const Face3ds& face = faces[group.faces[f]];
                const uint16_t corners[3] = {face.vertexA, face.vertexB, face.vertexC};
                Vec p[3];
                for (size_t c = 0; c < 3; ++c) {
                    const double i = indices[3 * f + c];
                    p[c] = Apply(world, At(positions, i));
                    const Point3ds& q = points[corners[c]];
                    ExpectNear(p[c], {q.x * kScale, q.z * kScale, -q.y * kScale}, "corner");
                    EXPECT_EQ(texCoords[2 * static_cast<size_t>(i)], uvs[corners[c]].u);
                    EXPECT_EQ(texCoords[2 * static_cast<size_t>(i) + 1], 1.0f - uvs[corners[c]].v);
                }
                // The sample's normals point out of its faces; the rotation keeps that.
                if (lit) {
                    continue;
                }
                const Vec normal = Apply({world.rotation}, At(normals, indices[3 * f]));
                const Vec winding = Cross(Minus(p[1], p[0]), Minus(p[2], p[0]));
                EXPECT_GT(winding[0] * normal[0] + winding[1] * normal[1] + winding[2] * normal[2],
                          0);
            }
        }
    }

    // "Text" materials hold their bitmap's pixels; "Color" ones the file's diffuse bytes, linear.
    size_t materials = 0;
    for (Chunk3ds* chunk : Children(Editor(*db))) {
        if (chunk->tag != kTagMaterial3ds) {
            continue;
        }
        ++materials;
        const std::string name = Record<StringData3ds>(FindChunk(chunk, kTagMaterialName3ds)).text;
        const auto found = std::find_if(model.materials.begin(), model.materials.end(),
                                        [&](const auto& m) { return m.name == name; });
        ASSERT_NE(found, model.materials.end()) << name;
        const tinygltf::PbrMetallicRoughness& pbr = found->pbrMetallicRoughness;
        EXPECT_EQ(pbr.metallicFactor, 0.0);
        EXPECT_EQ(pbr.roughnessFactor, 1.0);
        if (name.starts_with("Text")) {
            const tinygltf::Image& image =
                model.images.at(model.textures.at(pbr.baseColorTexture.index).source);
            EXPECT_TRUE(image.image == ImageFileRgba(name + ".bmp")) << name;
        } else {
            const auto& bytes = Record<ColorByteData3ds>(
                FindChunk(FindChunk(chunk, kTagMatDiffuse3ds), kTagColorByte3ds));
            const auto linear = [](uint8_t byte) {
                const double c = byte / 255.0;
                return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
            };
            const std::vector<double> expected = {linear(bytes.red), linear(bytes.green),
                                                  linear(bytes.blue), 1.0};
            for (size_t i = 0; i < 4; ++i) {
                EXPECT_NEAR(pbr.baseColorFactor[i], expected[i], 1e-6) << name;
            }
        }
    }
    EXPECT_EQ(model.materials.size(), materials);
    ResetToolkit3ds();
}

TEST(CharacterScene, DamagedRigDataGivesWarningsAndAValidFile) {
    const auto flat = [](const char* why) {
        return "no usable skeleton (" + std::string(why) +
               "): every part hangs below the root and there are no animations";
    };
    struct Case {
        void (*damage)(LevelDescription&);
        std::vector<std::string> warnings;
        size_t animations;
    };
    const Case cases[] = {
        {[](LevelDescription& l) { PatchU32(l.moveables, 0, 9); },
         {flat("the level has no moveable with object id 0")},
         0},
        {[](LevelDescription& l) { PatchU16(l.moveables, 4, 14); },
         {flat("her moveable has 14 meshes from mesh 0, not the 15 body meshes from mesh 0")},
         0},
        {[](LevelDescription& l) { PatchU32(l.moveables, 8, 3); },
         {flat("her mesh tree (entries 3 to 58) runs past the 56 entries of the mesh-tree block")},
         0},
        {[](LevelDescription& l) { PatchU32(l.meshTrees, 0, 1); },
         {flat("her mesh tree pops an empty stack at mesh 1")},
         0},
        {[](LevelDescription& l) { PatchU16(l.moveables, 16, 9); },
         {"her first animation 9 is past the 5 animations of the level"},
         0},
        {[](LevelDescription& l) {
             PatchU16(l.animations, 16, 40); // frame start above the end
             l.animations.at(32 + 4) = 0;    // frame rate
             PatchU32(l.animations, 64, 1);  // odd frame offset
             l.animations.at(96 + 5) = 20;   // frame size
         },
         {"animation 0 is damaged (its frame end 30 is below its frame start 40); skipped",
          "animation 1 is damaged (its frame rate is 0); skipped",
          "animation 2 is damaged (its frame offset 1 is odd); skipped",
          "animation 3 is damaged (the rotations of keyframe 0 need more than its 20 words); "
          "skipped"},
         0},
        {[](LevelDescription& l) { PatchU16(l.animations, 96 + 18, 60000); },
         {"animation 3 is damaged (15001 keyframes of 36 words from word 684 run past the 900 "
          "frame words); skipped"},
         3},
    };
    for (const Case& c : cases) {
        ScopedTempDir dir;
        LevelDescription level = DescribeSampleLevel();
        c.damage(level);
        std::string err;
        for (const std::string& warning : c.warnings) {
            err += "level.qlv: warning: " + warning + "\n";
        }
        const tinygltf::Model model = ConvertWithGltf(level, dir, err);
        EXPECT_EQ(model.animations.size(), c.animations) << err;
        if (err.find("no usable skeleton") != std::string::npos) { // every part below the root
            const std::vector<int> parents = NodeParents(model);
            EXPECT_EQ(std::count(parents.begin(), parents.end(), 0), 21);
        }
    }
}

} // namespace
