#include "toolkit3ds/keyframer.h"

#include "tests/support/temp_dir.h"
#include "tests/support/toolkit_state.h"
#include "toolkit3ds/database_writer.h"
#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using Codes = std::vector<int32_t>;

// Number chunks start out holding this, so that any number given shows.
constexpr uint16_t kUnnumbered = 0x1234;

class Keyframer : public ::testing::Test {
protected:
    void SetUp() override {
        ResetToolkitState();
        InitDatabase3ds(db);
        CreateNewDatabase3ds(db.get(), kDatabaseMeshFile3ds);
        SearchChunk3ds(db->root.get(), kTagKeyframer3ds, &section);
        ASSERT_NE(section, nullptr);
        ASSERT_FALSE(ErrorPending3ds);
    }
    void TearDown() override { ResetToolkitState(); }

    std::unique_ptr<Database3ds> db;
    Chunk3ds* section = nullptr;
};

struct Node {
    uint32_t tag = kTagObjectNode3ds;
    std::string name = {};
    std::optional<std::string> parent = {};   // the 0x80F0 note below the header
    std::optional<std::string> instance = {}; // the 0xB011 chunk
    bool hasNumber = true;                    // has a 0xB030 chunk
};

Chunk3ds* AddChild(Chunk3ds* parent, uint32_t tag, ChunkData3ds** data) {
    std::unique_ptr<Chunk3ds> chunk;
    *data = NewChunkAndData3ds(&chunk, tag);
    return AppendChild3ds(parent, std::move(chunk));
}

Chunk3ds* AddText(Chunk3ds* parent, uint32_t tag, const std::string& text) {
    ChunkData3ds* data = nullptr;
    Chunk3ds* chunk = AddChild(parent, tag, &data);
    GetChunkData3ds<StringData3ds>(data)->text = text;
    return chunk;
}

// A node as the put operations build one: number, header (parent number
// preset to 77), instance name, parent-name note below the header.
Chunk3ds* AddNode(Chunk3ds* section, const Node& spec) {
    std::unique_ptr<Chunk3ds> made;
    NewChunkWithTag3ds(&made, spec.tag);
    Chunk3ds* node = AppendChild3ds(section, std::move(made));
    ChunkData3ds* data = nullptr;
    if (spec.hasNumber) {
        AddChild(node, kTagNodeId3ds, &data);
        GetChunkData3ds<WordData3ds>(data)->value = kUnnumbered;
    }
    Chunk3ds* header = AddChild(node, kTagNodeHeader3ds, &data);
    auto* record = GetChunkData3ds<NodeHeaderData3ds>(data);
    record->name = spec.name;
    record->parentId = 77;
    if (spec.instance) {
        AddText(node, kTagInstanceName3ds, *spec.instance);
    }
    if (spec.parent) {
        AddText(header, kTagParentName3ds, *spec.parent);
    }
    return node;
}

Chunk3ds* Find(Chunk3ds* chunk, uint32_t tag) {
    Chunk3ds* found = nullptr;
    SearchChunk3ds(chunk, tag, &found);
    return found;
}

uint16_t NumberOf(Chunk3ds* node) {
    return GetChunkData3ds<WordData3ds>(Find(node, kTagNodeId3ds))->value;
}

uint16_t ParentOf(Chunk3ds* node) {
    return GetChunkData3ds<NodeHeaderData3ds>(Find(node, kTagNodeHeader3ds))->parentId;
}

TEST_F(Keyframer, NumbersNodesInSectionOrderSkippingAmbientAndHeader) {
    Chunk3ds* header = Find(section, kTagKeyframerHeader3ds);
    const KeyframerHeaderData3ds headerBefore = *GetChunkData3ds<KeyframerHeaderData3ds>(header);
    Chunk3ds* first = AddNode(section, {.name = "A"});
    Chunk3ds* ambient = AddNode(section, {.tag = kTagAmbientNode3ds, .name = "$AMBIENT$"});
    Chunk3ds* second = AddNode(section, {.name = "B"});
    Chunk3ds* camera = AddNode(section, {.tag = kTagCameraNode3ds, .name = "Camera1"});

    PrepareKeyframerNodes3ds(db.get());

    EXPECT_FALSE(ErrorPending3ds);
    EXPECT_EQ(section->child.get(), header);
    EXPECT_EQ(*GetChunkData3ds<KeyframerHeaderData3ds>(header), headerBefore);
    EXPECT_EQ(NumberOf(first), 0);
    EXPECT_EQ(NumberOf(ambient), kNoNode3ds);
    EXPECT_EQ(NumberOf(second), 1);
    EXPECT_EQ(NumberOf(camera), 2);
    // The ambient node is not a numbered node: its parent number is left alone.
    EXPECT_EQ(ParentOf(ambient), 77);
}

TEST_F(Keyframer, EveryNumberedTagCountsEvenWithoutNumberOrHeader) {
    const uint32_t tags[] = {kTagCameraTargetNode3ds, kTagLightNode3ds, kTagLightTargetNode3ds,
                             kTagSpotlightNode3ds};
    std::vector<Chunk3ds*> nodes;
    nodes.push_back(AddNode(section, {.name = "NoNumber", .hasNumber = false}));
    std::unique_ptr<Chunk3ds> bare;
    NewChunkWithTag3ds(&bare, kTagObjectNode3ds);
    AppendChild3ds(section, std::move(bare));
    for (uint32_t tag : tags) {
        nodes.push_back(AddNode(section, {.tag = tag, .name = "N"}));
    }
    Chunk3ds* child = AddNode(section, {.name = "Child", .parent = "NoNumber"});

    PrepareKeyframerNodes3ds(db.get());

    EXPECT_FALSE(ErrorPending3ds);
    EXPECT_EQ(Find(nodes[0], kTagNodeId3ds), nullptr);
    for (uint16_t i = 1; i < nodes.size(); ++i) {
        EXPECT_EQ(NumberOf(nodes[i]), i + 1) << "node " << i;
    }
    EXPECT_EQ(NumberOf(child), 6);
    // A parent without a number chunk has no number to give.
    EXPECT_EQ(ParentOf(child), kNoNode3ds);
}

TEST_F(Keyframer, ParentIsFoundByNameOrByNameAndInstance) {
    AddNode(section, {.name = "Hips", .instance = "2"});
    AddNode(section, {.name = "Hips"});
    AddNode(section, {.name = "Body", .instance = ""});
    AddNode(section, {.name = "Hips", .instance = "2.5"});
    AddNode(section, {.tag = kTagCameraNode3ds, .name = "Cam", .instance = "1"});
    const std::vector<std::pair<std::string, uint16_t>> cases = {
        {"Hips", 1},
        {"Hips.2", 0},
        {"Hips.2.5", 3}, // split at the first full stop
        {"Body", 2},     // an empty instance counts as none
        {"Body.", 2},
        {"Hips.", kNoNode3ds},
        {"Hips.4", kNoNode3ds},
        {"hips", kNoNode3ds},
        {"Cam", 4}, // only object nodes carry an instance name
        {"Cam.1", kNoNode3ds},
    };
    std::vector<Chunk3ds*> children;
    for (const auto& [parent, number] : cases) {
        children.push_back(AddNode(section, {.name = "Child", .parent = parent}));
    }
    Chunk3ds* noNote = AddNode(section, {.name = "Head"});

    PrepareKeyframerNodes3ds(db.get());

    EXPECT_FALSE(ErrorPending3ds);
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(ParentOf(children[i]), cases[i].second) << "parent " << cases[i].first;
    }
    EXPECT_EQ(ParentOf(noNote), kNoNode3ds);
    // The notes stay in the tree for the writer to skip.
    EXPECT_NE(Find(children[0], kTagParentName3ds), nullptr);
    EXPECT_TRUE(NodeList3ds().empty());
}

TEST_F(Keyframer, ParentMayStandAfterItsChildAndTheFirstOfTwoNamesWins) {
    Chunk3ds* child = AddNode(section, {.name = "Hand", .parent = "Arm"});
    AddNode(section, {.name = "Arm"});
    AddNode(section, {.name = "Arm"});
    Chunk3ds* self = AddNode(section, {.name = "Loop", .parent = "Loop"});

    PrepareKeyframerNodes3ds(db.get());

    EXPECT_EQ(ParentOf(child), 1);
    EXPECT_EQ(ParentOf(self), 3);
}

TEST_F(Keyframer, RefusesAMissingDatabaseAndMoreNodesThanSixteenBitNumbers) {
    PrepareKeyframerNodes3ds(nullptr);
    EXPECT_EQ(RaisedErrors(), Codes({ERR_INVALID_ARG}));
    ClearErrors3ds();

    // 0xFFFF means "no node", so 65535 nodes is the most that can be numbered.
    Chunk3ds* last = section->child.get();
    for (uint32_t i = 0; i < kNoNode3ds; ++i) {
        NewChunkWithTag3ds(&last->next, kTagObjectNode3ds);
        last = last->next.get();
    }
    PrepareKeyframerNodes3ds(db.get());
    EXPECT_FALSE(ErrorPending3ds);

    NewChunkWithTag3ds(&last->next, kTagObjectNode3ds);
    PrepareKeyframerNodes3ds(db.get());
    EXPECT_EQ(RaisedErrors(), Codes({ERR_INVALID_DATA}));
    EXPECT_TRUE(NodeList3ds().empty());
}

TEST_F(Keyframer, NumberLoadedFromAFileIsKeptAfterItChanges) {
    ScopedTempDir dir;
    // A source file holding one node-number chunk with the number 9.
    WriteFileBytes("source.3ds", {0x30, 0xB0, 0x08, 0x00, 0x00, 0x00, 0x09, 0x00});
    File3ds* source = OpenFile3ds("source.3ds", "r");
    ASSERT_NE(source, nullptr);
    // The node's number chunk is one that its record comes from that file.
    Chunk3ds* node = AddNode(section, {.name = "First"});
    Chunk3ds* idChunk = Find(node, kTagNodeId3ds);
    idChunk->data.reset();
    idChunk->readFileIndex = source->index;
    idChunk->size = 8;

    File3ds* out = OpenFile3ds("out.3ds", "w");
    WriteDatabase3ds(out, db.get());
    CloseAllFiles3ds();
    ASSERT_FALSE(ErrorPending3ds);

    const std::vector<unsigned char> bytes = ReadFileBytes("out.3ds");
    const std::vector<unsigned char> numberZero = {0x30, 0xB0, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00};
    const std::vector<unsigned char> numberNine = {0x30, 0xB0, 0x08, 0x00, 0x00, 0x00, 0x09, 0x00};
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), numberZero.begin(), numberZero.end()),
              bytes.end());
    EXPECT_EQ(std::search(bytes.begin(), bytes.end(), numberNine.begin(), numberNine.end()),
              bytes.end());
    EXPECT_EQ(GetChunkData3ds<WordData3ds>(idChunk)->value, 0);
}

} // namespace
