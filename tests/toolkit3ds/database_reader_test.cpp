#include "toolkit3ds/database_reader.h"

#include "tests/support/allocation_hooks.h"
#include "tests/support/tree_outline.h"
#include "toolkit3ds/database_writer.h"
#include "toolkit3ds/errors.h"
#include "tools/scenebuilder/every_layout_scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

const std::string kSourceDir = TARVIK_SOURCE_DIR;

class DatabaseReader : public ToolkitTest {};

// Writes the database and returns the file's bytes.
Bytes Write(Database3ds* db, const std::string& path) {
    File3ds* file = OpenFile3ds(path.c_str(), "w");
    WriteDatabase3ds(file, db);
    CloseFile3ds(file);
    EXPECT_EQ(RaisedErrors(), Codes{});
    return ReadFileBytes(path);
}

// Reads the file and writes it again as copy.3ds; the copy's bytes.
Bytes RoundTrip(const std::string& path) {
    std::unique_ptr<Database3ds> db = ReadDatabaseFile(path);
    EXPECT_EQ(RaisedErrors(), Codes{}) << path;
    return Write(db.get(), "copy.3ds");
}

void CollectLayouts(Chunk3ds* chunk, std::set<uint8_t>& layouts) {
    for (; chunk != nullptr; chunk = chunk->next.get()) {
        const ChunkTagInfo3ds* info = FindChunkTagInfo3ds(chunk->tag);
        if (info != nullptr && info->kind == ChunkKind3ds::kData) {
            layouts.insert(info->layout);
        }
        CollectLayouts(chunk->child.get(), layouts);
    }
}

TEST_F(DatabaseReader, GoldenFileAndEveryLayoutRoundTripByteForByte) {
    std::unique_ptr<Database3ds> scene = BuildEveryLayoutScene();
    Write(scene.get(), "scene.3ds");

    for (const std::string& path :
         {kSourceDir + "/tests/golden/KeshMesh.3ds", std::string("scene.3ds")}) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(RoundTrip(path) == ReadFileBytes(path));
        ResetToolkit3ds();
    }

    // The scene holds every layout, and the name indexes work on what was read.
    std::unique_ptr<Database3ds> db = ReadDatabaseFile("scene.3ds");
    std::set<uint8_t> layouts;
    CollectLayouts(db->root.get(), layouts);
    EXPECT_EQ(layouts.size(), std::variant_size_v<ChunkData3ds>);
    EXPECT_EQ(GetDatabaseKind3ds(db.get()), kDatabaseMeshFile3ds);
    EXPECT_EQ(GetChunkData3ds<StringData3ds>(ReadChunkData3ds(ObjectByName(*db, "Omni")))->text,
              "Omni");
    EXPECT_NE(MaterialByName(*db, "Checker"), nullptr);
    EXPECT_EQ(RaisedErrors(), Codes{});
}

Bytes Text(const char* text) {
    return Bytes(text, text + std::strlen(text) + 1);
}

// "name < parent" for every keyframer node, parents found by the numbers the
// file holds: a node's 0xB030, else its place among the numbered nodes. A node
// shows as its name and ".instance" when it has an instance name; a parent whose
// name another node shares also shows its place: "E < D@4".
std::vector<std::string> Hierarchy(Database3ds& db) {
    std::vector<std::pair<uint16_t, std::string>> nodes;
    std::vector<uint16_t> parents;
    for (Chunk3ds* node : Children(FindChunk(db.root.get(), kTagKeyframer3ds))) {
        if (node->tag < kTagObjectNode3ds || node->tag > kTagSpotlightNode3ds) {
            continue;
        }
        const auto record = [node]<typename Layout>(uint32_t tag, const Layout*) {
            return GetChunkData3ds<Layout>(ReadChunkData3ds(FindChunk(node, tag)));
        };
        const auto* number = record(kTagNodeId3ds, static_cast<WordData3ds*>(nullptr));
        const auto* header = record(kTagNodeHeader3ds, static_cast<NodeHeaderData3ds*>(nullptr));
        const auto* instance = record(kTagInstanceName3ds, static_cast<StringData3ds*>(nullptr));
        nodes.emplace_back(number != nullptr ? number->value : nodes.size(),
                           header->name + (instance != nullptr ? "." + instance->text : ""));
        parents.push_back(header->parentId);
    }
    std::vector<std::string> lines;
    for (size_t i = 0; i < nodes.size(); ++i) {
        const auto parent = std::find_if(
            nodes.begin(), nodes.end(), [&](const auto& node) { return node.first == parents[i]; });
        std::string parentName = parent == nodes.end() ? "none" : parent->second;
        if (parent != nodes.end() && std::count_if(nodes.begin(), nodes.end(), [&](const auto& n) {
                                         return n.second == parent->second;
                                     }) > 1) {
            parentName += "@" + std::to_string(parent - nodes.begin());
        }
        lines.push_back(nodes[i].second + " < " + parentName);
    }
    return lines;
}

// An object node with its number, a header naming it and its parent's number,
// and an instance name when one is given.
Bytes Node(const char* number, const char* nameAndParent, const char* instance = nullptr) {
    return ChunkBytes(
        kTagObjectNode3ds,
        ChunkBytes(kTagNodeId3ds, Hex(number)) + ChunkBytes(kTagNodeHeader3ds, Hex(nameAndParent)) +
            (instance != nullptr ? ChunkBytes(kTagInstanceName3ds, Text(instance)) : Bytes{}));
}

// Parents by position, in a foreign file without node numbers, and by numbers
// out of order; where names repeat, by instance name or else by number.
TEST_F(DatabaseReader, NodeHierarchiesSurviveTheRewrite) {
    WriteFileBytes("numbered.3ds", ChunkBytes(kTagMeshFile3ds,
                                              ChunkBytes(kTagKeyframer3ds,
                                                         Node("0500", "4100 0000 0000 FFFF") +
                                                             Node("0200", "4200 0000 0000 0500"))));
    WriteFileBytes(
        "repeated.3ds",
        ChunkBytes(kTagMeshFile3ds, ChunkBytes(kTagKeyframer3ds,
                                               Node("0700", "4100 0000 0000 FFFF", "1") +     // A.1
                                                   Node("0300", "4100 0000 0000 FFFF", "2") + // A.2
                                                   Node("0500", "4200 0000 0000 0300") +
                                                   Node("0100", "4300 0000 0000 0700") +
                                                   Node("0900", "4400 0000 0000 FFFF") + // D
                                                   Node("0800", "4400 0000 0000 FFFF") + // D
                                                   Node("0400", "4500 0000 0000 0800"))));
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {kSourceDir + "/tests/data/foreign/node_tree.3ds",
         {"S < none", "Body < S", "Arm < Body", "Hand < Arm", "Hand_tri_0 < Hand",
          "Arm_tri_0 < Arm", "Leg < Body", "Leg_tri_0 < Leg", "Body_tri_0 < Body"}},
        {"numbered.3ds", {"A < none", "B < A"}},
        {"repeated.3ds",
         {"A.1 < none", "A.2 < none", "B < A.2", "C < A.1", "D < none", "D < none", "E < D@5"}},
    };
    // Each hierarchy is its source's; read, the source may hold new parent
    // numbers beside its old node numbers until it is written.
    for (const auto& [source, hierarchy] : cases) {
        SCOPED_TRACE(source);
        std::unique_ptr<Database3ds> original = ReadDatabaseFile(source);
        const Bytes copy = Write(original.get(), "copy.3ds");
        std::unique_ptr<Database3ds> rewritten = ReadDatabaseFile("copy.3ds");
        EXPECT_EQ(Hierarchy(*rewritten), hierarchy);
        // Once renumbered, the file keeps its bytes.
        EXPECT_TRUE(Write(rewritten.get(), "again.3ds") == copy);
        ResetToolkit3ds();
    }
}

// A root holding the chunks, behind a 3D editor section.
Bytes MeshFile(const Bytes& chunks) {
    return ChunkBytes(kTagMeshFile3ds, ChunkBytes(kTagEditor3ds) + chunks);
}

// A position track with keyCount on disk and keys with the spline flags, each
// followed by its spline floats and its point.
Bytes PositionTrack(uint32_t keyCount, int keys, uint8_t splineFlags = 0x1F) {
    Bytes body = Hex("0000 00000000 00000000") + LittleEndian32(keyCount);
    for (int i = 0; i < keys; ++i) {
        body = body + Hex("00000000") + Bytes{splineFlags, 0} +
               Bytes(4 * std::popcount(splineFlags), 0) + Bytes(12, 0);
    }
    return ChunkBytes(kTagPositionTrack3ds, body);
}

// A counted list whose count, 3, is one above the two elements its bytes hold.
Bytes CountOneAbove(uint16_t tag, size_t elementBytes, const Bytes& prefix = {}) {
    return MeshFile(ChunkBytes(tag, prefix + Hex("0300") + Bytes(2 * elementBytes, 0)));
}

Bytes Nested(int depth) {
    return depth == 0 ? Bytes{} : ChunkBytes(kTagEditor3ds, Nested(depth - 1));
}

TEST_F(DatabaseReader, MalformedFilesFailWithoutAllocatingBeyondTheFile) {
    using Damage = ReadDamage3ds::Kind;
    using Fault = RecordFault3ds::Kind;
    // A chunk of an unknown tag, for a record to run on into.
    const Bytes next = ChunkBytes(0x7777, Bytes(32, 0));
    // Begins with a zero byte, the low byte of its tag.
    const Bytes zeroNext = ChunkBytes(kTagNamedObject3ds, Text("a"));
    const struct {
        const char* what;
        Bytes bytes;
        int32_t cause;
        Damage damage;
        Fault fault = Fault::kNone;
    } kCases[] = {
        {"empty file", {}, ERR_INVALID_CHUNK, Damage::kEmptyFile},
        {"another kind of file", Hex("2D2D 06000000"), ERR_INVALID_CHUNK, Damage::kNotA3dsFile},
        {"header cut short", Hex("4D4D 0600"), ERR_INVALID_CHUNK, Damage::kHeaderCut},
        {"root shorter than its header", Hex("4D4D 05000000"), ERR_INVALID_CHUNK,
         Damage::kLengthBelowHeader},
        {"root longer than the file", Hex("4D4D 07000000"), ERR_INVALID_CHUNK,
         Damage::kLengthBeyondParent},
        {"sub-chunk one byte longer than its parent", Hex("4D4D 0C000000 7777 07000000"),
         ERR_INVALID_CHUNK, Damage::kLengthBeyondParent},
        {"bytes behind the last sub-chunk", ChunkBytes(kTagMeshFile3ds, next + Hex("010203")),
         ERR_INVALID_CHUNK, Damage::kHeaderCut},
        {"nesting too deep", ChunkBytes(kTagMeshFile3ds, Nested(kMaxChunkDepth3ds)),
         ERR_INVALID_CHUNK, Damage::kTooDeep},
        {"tag 0", MeshFile(ChunkBytes(0)), ERR_INVALID_CHUNK, Damage::kTagNeverStored},
        {"parent-name note", MeshFile(ChunkBytes(kTagParentName3ds, Text("Hips"))),
         ERR_INVALID_CHUNK, Damage::kTagNeverStored},
        {"record longer than its chunk",
         MeshFile(ChunkBytes(kTagMeshVersion3ds, Hex("0300")) + next), ERR_INVALID_CHUNK,
         Damage::kBadRecord, Fault::kPastChunkEnd},
        {"record cut by the end of the file", MeshFile(ChunkBytes(kTagMeshVersion3ds, Hex("0300"))),
         ERR_READING_FILE, Damage::kBadRecord, Fault::kPastChunkEnd},
        {"smoothing groups not whole masks",
         MeshFile(ChunkBytes(kTagSmoothGroups3ds, Hex("0100000002"))), ERR_INVALID_CHUNK,
         Damage::kHeaderCut},
        {"vertex count far beyond its bytes",
         MeshFile(ChunkBytes(kTagVertexList3ds, Hex("FFFF") + Bytes(12, 0))), ERR_INVALID_CHUNK,
         Damage::kBadRecord, Fault::kCountBeyondChunk},
        // One above: the check before allocating uses each list's own element size.
        {"vertex count one above", CountOneAbove(kTagVertexList3ds, 12), ERR_INVALID_CHUNK,
         Damage::kBadRecord, Fault::kCountBeyondChunk},
        {"vertex flag count one above", CountOneAbove(kTagVertexFlags3ds, 2), ERR_INVALID_CHUNK,
         Damage::kBadRecord, Fault::kCountBeyondChunk},
        {"face count one above", CountOneAbove(kTagFaceList3ds, 8), ERR_INVALID_CHUNK,
         Damage::kBadRecord, Fault::kCountBeyondChunk},
        {"uv count one above", CountOneAbove(kTagTexVerts3ds, 8), ERR_INVALID_CHUNK,
         Damage::kBadRecord, Fault::kCountBeyondChunk},
        {"group face count one above", CountOneAbove(kTagMaterialGroup3ds, 2, Text("M")),
         ERR_INVALID_CHUNK, Damage::kBadRecord, Fault::kCountBeyondChunk},
        {"key count far beyond its bytes", MeshFile(PositionTrack(0xFFFFFFFF, 2) + next),
         ERR_INVALID_CHUNK, Damage::kBadRecord, Fault::kCountBeyondChunk},
        {"key count one above keys with spline floats", MeshFile(PositionTrack(3, 2) + next),
         ERR_INVALID_CHUNK, Damage::kBadRecord, Fault::kPastChunkEnd},
        // Keys as short as keys get: held in memory they take more than the file.
        {"key count one above keys without spline floats",
         MeshFile(PositionTrack(301, 300, 0) + next), ERR_INVALID_CHUNK, Damage::kBadRecord,
         Fault::kCountBeyondChunk},
        {"empty text whose zero byte follows its chunk",
         MeshFile(ChunkBytes(kTagExtraDataText3ds) + zeroNext), ERR_INVALID_CHUNK,
         Damage::kBadRecord, Fault::kPastChunkEnd},
        {"text whose zero byte follows its chunk",
         MeshFile(ChunkBytes(kTagExtraDataAppName3ds, Hex("414243")) + zeroNext), ERR_READING_FILE,
         Damage::kBadRecord, Fault::kTextWithoutEnd},
        {"text cut by the end of the file", MeshFile(ChunkBytes(kTagMaterialName3ds, Hex("4142"))),
         ERR_READING_FILE, Damage::kBadRecord, Fault::kTextWithoutEnd},
    };
    for (const auto& [what, bytes, cause, damage, fault] : kCases) {
        SCOPED_TRACE(what);
        WriteFileBytes("broken.3ds", bytes);
        ResetLargestAllocation();
        std::unique_ptr<Database3ds> db = EmptyDatabase();
        ReadDamage3ds found;
        ReadDatabase3ds(OpenFile3ds("broken.3ds", "r"), db.get(), &found);
        EXPECT_EQ(TakeErrors3ds(), (Codes{cause, ERR_READING_DATABASE}));
        EXPECT_EQ(found.kind, damage);
        EXPECT_EQ(found.record.kind, fault);
        // Nothing larger than the file, or the file's stream buffer.
        EXPECT_LE(LargestAllocation(), std::max<size_t>(bytes.size(), kFileBufferSize3ds));
        ResetToolkit3ds();
    }
    // Nested as deep as the bound allows, a file reads.
    WriteFileBytes("deep.3ds", ChunkBytes(kTagMeshFile3ds, Nested(kMaxChunkDepth3ds - 1)));
    const std::unique_ptr<Database3ds> deep = ReadDatabaseFile("deep.3ds");
    size_t depth = 0;
    for (Chunk3ds* chunk = deep->root.get(); chunk != nullptr; chunk = chunk->child.get()) {
        ++depth;
    }
    EXPECT_EQ(depth, kMaxChunkDepth3ds);
    // Names longer than the format allows are read whole, and the indexes find them.
    WriteFileBytes(
        "long.3ds",
        ChunkBytes(kTagMeshFile3ds,
                   ChunkBytes(kTagEditor3ds,
                              ChunkBytes(kTagMaterial3ds, ChunkBytes(kTagMaterialName3ds,
                                                                     Text("DefaultMaterial_0"))) +
                                  ChunkBytes(kTagNamedObject3ds, Text("An_Object_Name")))));
    const std::unique_ptr<Database3ds> named = ReadDatabaseFile("long.3ds");
    EXPECT_EQ(MaterialByName(*named, "DefaultMaterial_0"), Children(Editor(*named))[0]);
    EXPECT_EQ(ObjectByName(*named, "An_Object_Name"), Children(Editor(*named))[1]);
    EXPECT_EQ(TakeErrors3ds(), Codes{});
    // No file, or one open for writing.
    std::unique_ptr<Database3ds> db = EmptyDatabase();
    ReadDatabase3ds(OpenFile3ds("out.3ds", "w"), db.get());
    ReadDatabase3ds(nullptr, db.get());
    EXPECT_EQ(TakeErrors3ds(), Codes(2, ERR_INVALID_ARG));
}

TEST_F(DatabaseReader, FailedAllocationsStopReadingCleanly) {
    std::unique_ptr<Database3ds> scene = BuildEveryLayoutScene();
    Write(scene.get(), "scene.3ds");
    std::unique_ptr<Database3ds> db;
    const int failures = SweepAllocationFaults(
        [] { ResetToolkit3ds(); }, [&db] { db = ReadDatabaseFile("scene.3ds"); },
        [] {
            // The stream buffer is optional; every other allocation is reported.
            const Codes errors = RaisedErrors();
            EXPECT_TRUE(errors.empty() || std::ranges::count(errors, ERR_NO_MEM) == 1);
        });
    EXPECT_GT(failures, 100);
    EXPECT_EQ(RaisedErrors(), Codes{});
}

} // namespace
