#include "toolkit3ds/database_writer.h"

#include "tests/support/toolkit_state.h"
#include "tests/support/tree_outline.h"
#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A new mesh database as written: every length equals its chunk's bytes.
const Bytes kNewMeshFile = Hex("4D4D 33000000"                    // root, 51 bytes
                               "0200 0A000000 03000000"           // file version 3
                               "3D3D 10000000"                    // 3D editor, 16 bytes
                               "3E3D 0A000000 03000000"           //   mesh version 3
                               "00B0 13000000"                    // keyframer, 19 bytes
                               "0AB0 0D000000 0500 00 1E000000"); // header: revision 5, "", 30

// kNewMeshFile with the bytes of one more chunk behind the mesh version.
Bytes WithEditorChunk(const Bytes& chunk) {
    Bytes bytes = kNewMeshFile;
    bytes[2] = static_cast<unsigned char>(bytes[2] + chunk.size());   // root
    bytes[18] = static_cast<unsigned char>(bytes[18] + chunk.size()); // 3D editor
    bytes.insert(bytes.begin() + 32, chunk.begin(), chunk.end());
    return bytes;
}

class DatabaseWriter : public ToolkitTest {};

// Writes the database to a new file and returns the file's bytes.
Bytes WriteToFile(Database3ds* db, const char* name) {
    File3ds* file = OpenFile3ds(name, "w");
    WriteDatabase3ds(file, db);
    EXPECT_FALSE(ErrorPending3ds);
    CloseFile3ds(file);
    return ReadFileBytes(name);
}

TEST_F(DatabaseWriter, WritingTwiceGivesIdenticalFiles) {
    std::unique_ptr<Database3ds> db = MakeDatabase();
    Chunk3ds* object = AppendChunk(Editor(*db), kTagNamedObject3ds);
    GetChunkData3ds<StringData3ds>(object)->text = "Box";
    // A wrong recorded size is replaced by the true length.
    object->size = 999;
    Chunk3ds* mesh = AppendChunk(object, kTagTriangleMesh3ds);
    AppendRecord<VertexListData3ds>(mesh, kTagVertexList3ds)->vertices = {{1, 2, 3}, {4, 5, 6}};

    File3ds* first = OpenFile3ds("first.3ds", "w");
    File3ds* second = OpenFile3ds("second.3ds", "w");
    WriteDatabase3ds(first, db.get());
    WriteDatabase3ds(second, db.get());
    WriteDatabase3ds(first, db.get()); // starts over at the file's beginning
    EXPECT_FALSE(ErrorPending3ds);
    CloseAllFiles3ds();

    const Bytes bytes = ReadFileBytes("first.3ds");
    EXPECT_EQ(ReadFileBytes("second.3ds"), bytes);
    EXPECT_EQ(bytes, WithEditorChunk(Hex("0040 30000000 426F7800" // object "Box", 48 bytes
                                         "0041 26000000"          // mesh
                                         "1041 20000000 0200 0000803F 00000040 00004040"
                                         "00008040 0000A040 0000C040"))); // two vertices
    EXPECT_EQ(object->size, 48u);
    EXPECT_EQ(db->root->size, bytes.size());
}

// Over a megabyte of small chunks: the held output goes to the file a window at
// a time, and the lengths of the headers already sent are patched there. The
// file reads back, and its copy is the same bytes.
TEST_F(DatabaseWriter, OutputBeyondTheHeldWindowReadsBackUnchanged) {
    std::unique_ptr<Database3ds> db = MakeDatabase();
    Bytes objects;
    Chunk3ds* last = Editor(*db)->child.get(); // linked by hand: appending walks every child
    for (int i = 0; objects.size() <= kHeldOutputSize3ds; ++i) {
        const std::string name = "Box" + std::to_string(i);
        last->next = MakeChunk(kTagNamedObject3ds);
        last = last->next.get();
        GetChunkData3ds<StringData3ds>(last)->text = name;
        const Bytes chunk =
            ChunkBytes(kTagNamedObject3ds, Bytes(name.c_str(), name.c_str() + name.size() + 1));
        objects.insert(objects.end(), chunk.begin(), chunk.end());
    }
    const Bytes expected = ChunkBytes(
        kTagMeshFile3ds,
        ChunkBytes(kTagFileVersion3ds, Hex("03000000")) +
            ChunkBytes(kTagEditor3ds, ChunkBytes(kTagMeshVersion3ds, Hex("03000000")) + objects) +
            ChunkBytes(kTagKeyframer3ds,
                       ChunkBytes(kTagKeyframerHeader3ds, Hex("0500 00 1E000000"))));
    EXPECT_TRUE(WriteToFile(db.get(), "large.3ds") == expected);
    std::unique_ptr<Database3ds> read = ReadDatabaseFile("large.3ds");
    EXPECT_TRUE(WriteToFile(read.get(), "copy.3ds") == expected);
}

TEST_F(DatabaseWriter, FileOpenedForReadingIsLeftAlone) {
    std::unique_ptr<Database3ds> db = MakeDatabase();
    Chunk3ds* node = AppendChunk(FindChunk(db->root.get(), kTagKeyframer3ds), kTagObjectNode3ds);
    AppendRecord<WordData3ds>(node, kTagNodeId3ds)->value = 0x1234;
    WriteFileBytes("old.3ds", {1, 2, 3});
    File3ds* reader = OpenFile3ds("old.3ds", "r");

    WriteDatabase3ds(reader, db.get());
    EXPECT_FALSE(ErrorPending3ds);
    CloseAllFiles3ds();

    EXPECT_EQ(ReadFileBytes("old.3ds"), Bytes({1, 2, 3}));
    // Nodes are numbered only for a write.
    EXPECT_EQ(GetChunkData3ds<WordData3ds>(FindChunk(node, kTagNodeId3ds))->value, 0x1234);
}

TEST_F(DatabaseWriter, DatabaseWithoutKeyframerIsWrittenAsItStands) {
    std::unique_ptr<Database3ds> db = MakeDatabase(kDatabaseMaterialLibrary3ds);
    Chunk3ds* node = AppendChunk(db->root.get(), kTagObjectNode3ds);
    AppendRecord<WordData3ds>(node, kTagNodeId3ds)->value = 7;

    EXPECT_EQ(WriteToFile(db.get(), "library.3ds"),
              Hex("AA3D 14000000"                       // material-library root
                  "02B0 0E000000 30B0 08000000 0700")); // object node, number 7 kept
}

TEST_F(DatabaseWriter, ParentNotesAndUntaggedChunksNeverReachTheFile) {
    std::unique_ptr<Database3ds> db = MakeDatabase();
    Chunk3ds* untagged = AppendChunk(Editor(*db), kTagNone3ds);
    AppendChunk(untagged, kTagMasterScale3ds);
    Chunk3ds* node = AppendChunk(FindChunk(db->root.get(), kTagKeyframer3ds), kTagObjectNode3ds);
    AppendRecord<WordData3ds>(node, kTagNodeId3ds)->value = 0x1234;
    Chunk3ds* header = AppendChunk(node, kTagNodeHeader3ds);
    *GetChunkData3ds<NodeHeaderData3ds>(header) = {"N", 0, 0, 77};
    Chunk3ds* note = AppendChunk(header, kTagParentName3ds);
    GetChunkData3ds<StringData3ds>(note)->text = "Nobody";
    AppendChunk(note, kTagFileVersion3ds);

    Bytes expected = kNewMeshFile + Hex("02B0 1C000000 30B0 08000000 0000"    // node number 0
                                        "10B0 0E000000 4E00 0000 0000 FFFF"); // "N", no parent
    expected[2] = 0x4F;                                                       // root, 79 bytes
    expected[34] = 0x2F;                                                      // keyframer, 47 bytes
    EXPECT_EQ(WriteToFile(db.get(), "notes.3ds"), expected);
    EXPECT_EQ(note->writeFileIndex, kNoFileIndex3ds);
}

TEST_F(DatabaseWriter, RecordsFromASourceFileAreWrittenThenDropped) {
    // Four bytes of something else, then a master-scale chunk holding 2.5.
    WriteFileBytes("source.3ds", Hex("AABBCCDD 0001 0A000000 00002040"));
    File3ds* source = OpenFile3ds("source.3ds", "r");
    std::unique_ptr<Database3ds> db = MakeDatabase();
    Chunk3ds* scale = AppendChunk(Editor(*db), kTagMasterScale3ds);
    scale->data.reset();
    scale->readFileIndex = source->index;
    scale->position = 4;
    scale->size = 10;

    EXPECT_EQ(WriteToFile(db.get(), "out.3ds"), WithEditorChunk(Hex("0001 0A000000 00002040")));
    EXPECT_EQ(scale->data, nullptr);
    EXPECT_EQ(scale->size, 10u);
    // Records made in memory stay.
    EXPECT_NE(FindChunk(db->root.get(), kTagKeyframerHeader3ds)->data, nullptr);
}

TEST_F(DatabaseWriter, BadArgumentsAndFailuresStopTheWriteNamingTheStage) {
    std::unique_ptr<Database3ds> db = MakeDatabase();
    File3ds* file = OpenFile3ds("args.3ds", "w");
    WriteDatabase3ds(nullptr, db.get());
    WriteDatabase3ds(file, nullptr);
    WriteChunk3ds(nullptr, file->index);
    // A slot without a file: the bytes must not go to the current file.
    SetCurrentFile3ds(file);
    WriteChunk3ds(db->root.get(), 5);
    EXPECT_EQ(TakeErrors3ds(), Codes(4, ERR_INVALID_ARG));

    WriteDatabase3ds(file, EmptyDatabase().get());
    EXPECT_EQ(TakeErrors3ds(), Codes({ERR_INVALID_ARG, ERR_WRITING_DATABASE}));

    File3ds stranger;
    stranger.mode = kModeWrite3ds;
    WriteDatabase3ds(&stranger, db.get());
    EXPECT_EQ(TakeErrors3ds(), Codes({ERR_INVALID_ARG, ERR_WRITING_DATABASE}));

    std::unique_ptr<Chunk3ds> wide;
    NewChunkWithTag3ds(&wide, 0x10000);
    WriteChunk3ds(wide.get(), file->index);
    EXPECT_EQ(TakeErrors3ds(), Codes({ERR_INVALID_DATA}));
    CloseAllFiles3ds();
    EXPECT_TRUE(ReadFileBytes("args.3ds").empty());

    // An error left pending: nothing is written.
    file = OpenFile3ds("pending.3ds", "w");
    RaiseError3ds(ERR_NO_MEM);
    WriteDatabase3ds(file, db.get());
    EXPECT_EQ(TakeErrors3ds(), Codes({ERR_NO_MEM, ERR_WRITING_DATABASE}));
    CloseAllFiles3ds();
    EXPECT_TRUE(ReadFileBytes("pending.3ds").empty());

    // A record that cannot be encoded: the root's header keeps its provisional length.
    Chunk3ds* mesh = AppendChunk(AppendChunk(Editor(*db), kTagNamedObject3ds), kTagTriangleMesh3ds);
    AppendRecord<VertexListData3ds>(mesh, kTagVertexList3ds)->vertices.resize(65536);
    file = OpenFile3ds("bad.3ds", "w");
    WriteDatabase3ds(file, db.get());
    EXPECT_EQ(TakeErrors3ds(), Codes({ERR_INVALID_DATA, ERR_WRITING_DATABASE}));
    CloseAllFiles3ds();
    const Bytes bytes = ReadFileBytes("bad.3ds");
    ASSERT_GE(bytes.size(), 6u);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 6), Bytes({0x4D, 0x4D, 0, 0, 0, 0}));
}

} // namespace
