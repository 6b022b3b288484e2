#include "toolkit3ds/keyframer.h"

#include "tests/support/toolkit_state.h"
#include "tests/support/tree_outline.h"
#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// Number chunks start out holding this, so that any number given shows.
constexpr uint16_t kUnnumbered = 0x1234;

class Keyframer : public ToolkitTest {
protected:
    std::unique_ptr<Database3ds> db = MakeDatabase();
    Chunk3ds* section = FindChunk(db->root.get(), kTagKeyframer3ds);
};

struct Node {
    uint32_t tag = kTagObjectNode3ds;
    std::string name = {};
    std::optional<std::string> parent = {};   // the 0x80F0 note below the header
    std::optional<std::string> instance = {}; // the 0xB011 chunk
    bool hasNumber = true;                    // has a 0xB030 chunk
};

// A node as the put operations build one: number, header (parent number
// preset to 77), instance name, parent-name note below the header.
Chunk3ds* AddNode(Chunk3ds* section, const Node& wanted) {
    Chunk3ds* node = AppendChunk(section, wanted.tag);
    if (wanted.hasNumber) {
        AppendRecord<WordData3ds>(node, kTagNodeId3ds)->value = kUnnumbered;
    }
    Chunk3ds* header = AppendChunk(node, kTagNodeHeader3ds);
    *GetChunkData3ds<NodeHeaderData3ds>(header) = {wanted.name, 0, 0, 77};
    if (wanted.instance) {
        AppendRecord<StringData3ds>(node, kTagInstanceName3ds)->text = *wanted.instance;
    }
    if (wanted.parent) {
        AppendRecord<StringData3ds>(header, kTagParentName3ds)->text = *wanted.parent;
    }
    return node;
}

uint16_t NumberOf(Chunk3ds* node) {
    return GetChunkData3ds<WordData3ds>(FindChunk(node, kTagNodeId3ds))->value;
}

uint16_t ParentOf(Chunk3ds* node) {
    return GetChunkData3ds<NodeHeaderData3ds>(FindChunk(node, kTagNodeHeader3ds))->parentId;
}

TEST_F(Keyframer, NumbersEveryNodeTagInSectionOrderSkippingAmbient) {
    // Nodes without a number chunk or a header count all the same.
    Chunk3ds* noNumber = AddNode(section, {.name = "NoNumber", .hasNumber = false});
    AppendChunk(section, kTagObjectNode3ds);
    Chunk3ds* ambient = AddNode(section, {.tag = kTagAmbientNode3ds, .name = "$AMBIENT$"});
    std::vector<Chunk3ds*> nodes;
    for (uint32_t tag : {kTagObjectNode3ds, kTagCameraNode3ds, kTagCameraTargetNode3ds,
                         kTagLightNode3ds, kTagLightTargetNode3ds, kTagSpotlightNode3ds}) {
        nodes.push_back(AddNode(section, {.tag = tag, .name = "N"}));
    }
    Chunk3ds* child = AddNode(section, {.name = "Child", .parent = "NoNumber"});

    PrepareKeyframerNodes3ds(db.get());

    EXPECT_FALSE(ErrorPending3ds);
    EXPECT_EQ(FindChunk(noNumber, kTagNodeId3ds), nullptr);
    for (uint16_t i = 0; i < nodes.size(); ++i) {
        EXPECT_EQ(NumberOf(nodes[i]), i + 2) << "node " << i;
    }
    EXPECT_EQ(NumberOf(child), 8);
    // The ambient node is not numbered, and its parent number is left alone.
    EXPECT_EQ(NumberOf(ambient), kNoNode3ds);
    EXPECT_EQ(ParentOf(ambient), 77);
    // A parent without a number chunk has no number to give.
    EXPECT_EQ(ParentOf(child), kNoNode3ds);
}

TEST_F(Keyframer, ParentIsFoundByNameOrByNameAndInstance) {
    // A parent may stand after its child; of two equal names the first wins.
    Chunk3ds* hand = AddNode(section, {.name = "Hand", .parent = "Arm"});
    AddNode(section, {.name = "Arm"});
    AddNode(section, {.name = "Arm"});
    Chunk3ds* loop = AddNode(section, {.name = "Loop", .parent = "Loop"});
    AddNode(section, {.name = "Hips", .instance = "2"});
    AddNode(section, {.name = "Hips"});
    AddNode(section, {.name = "Body", .instance = ""});
    AddNode(section, {.name = "Hips", .instance = "2.5"});
    AddNode(section, {.tag = kTagCameraNode3ds, .name = "Cam", .instance = "1"});
    const std::vector<std::pair<std::string, uint16_t>> cases = {
        {"Hips", 5},
        {"Hips.2", 4},
        {"Hips.2.5", 7}, // split at the first full stop
        {"Body", 6},     // an empty instance counts as none
        {"Body.", 6},
        {"Hips.", kNoNode3ds},
        {"Hips.4", kNoNode3ds},
        {"hips", kNoNode3ds},
        {"Cam", 8}, // only object nodes carry an instance name
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
    EXPECT_EQ(ParentOf(hand), 1);
    EXPECT_EQ(ParentOf(loop), 3);
    // The notes stay in the tree for the writer to skip.
    EXPECT_NE(FindChunk(children[0], kTagParentName3ds), nullptr);
    EXPECT_TRUE(NodeList3ds().empty());
}

TEST_F(Keyframer, RefusesAMissingDatabaseAndMoreNodesThanSixteenBitNumbers) {
    PrepareKeyframerNodes3ds(nullptr);
    EXPECT_EQ(TakeErrors3ds(), Codes({ERR_INVALID_ARG}));

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

// A changed number or parent stays in memory: its chunk stops naming the file
// it came from, so that no one drops it for the file's stale copy.
TEST_F(Keyframer, ChangedRecordsStopNamingTheirSourceFile) {
    Chunk3ds* node = AddNode(section, {.name = "Loop", .parent = "Loop"});
    Chunk3ds* idChunk = FindChunk(node, kTagNodeId3ds);
    Chunk3ds* header = FindChunk(node, kTagNodeHeader3ds);
    idChunk->readFileIndex = header->readFileIndex = 7;
    PrepareKeyframerNodes3ds(db.get());
    EXPECT_FALSE(ErrorPending3ds);
    EXPECT_EQ(NumberOf(node), 0);
    EXPECT_EQ(ParentOf(node), 0);
    EXPECT_EQ(idChunk->readFileIndex, kNoFileIndex3ds);
    EXPECT_EQ(header->readFileIndex, kNoFileIndex3ds);
}

} // namespace
