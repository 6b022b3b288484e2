#include "toolkit3ds/database_writer.h"

#include "tests/support/chunk_tree_walk.h"
#include "tests/support/temp_dir.h"
#include "tests/support/toolkit_state.h"
#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Codes = std::vector<int32_t>;

// A new mesh database as written: every length equals its chunk's bytes.
const Bytes kNewMeshFile = {
    0x4D, 0x4D, 0x33, 0x00, 0x00, 0x00,                         // root, 51 bytes
    0x02, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, // file version 3
    0x3D, 0x3D, 0x10, 0x00, 0x00, 0x00,                         // 3D editor, 16 bytes
    0x3E, 0x3D, 0x0A, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, //   mesh version 3
    0x00, 0xB0, 0x13, 0x00, 0x00, 0x00,                         // keyframer, 19 bytes
    0x0A, 0xB0, 0x0D, 0x00, 0x00, 0x00,                         //   header, 13 bytes:
    0x05, 0x00, 0x00, 0x1E, 0x00, 0x00, 0x00, //     revision 5, empty name, length 30
};

class DatabaseWriter : public ::testing::Test {
protected:
    void SetUp() override { ResetToolkitState(); }
    void TearDown() override { ResetToolkitState(); }

    ScopedTempDir dir;
};

std::unique_ptr<Database3ds> NewDatabase(DatabaseKind3ds kind = kDatabaseMeshFile3ds) {
    std::unique_ptr<Database3ds> db;
    InitDatabase3ds(db);
    CreateNewDatabase3ds(db.get(), kind);
    return db;
}

Chunk3ds* Find(Chunk3ds* chunk, uint32_t tag) {
    Chunk3ds* found = nullptr;
    SearchChunk3ds(chunk, tag, &found);
    return found;
}

// Appends a chunk with a fresh record (none for a container) under parent.
template <typename Layout = RawData3ds>
Layout* Append(Chunk3ds* parent, uint32_t tag, Chunk3ds** added = nullptr) {
    std::unique_ptr<Chunk3ds> chunk;
    ChunkData3ds* data = NewChunkAndData3ds(&chunk, tag);
    Chunk3ds* placed = AppendChild3ds(parent, std::move(chunk));
    if (added != nullptr) {
        *added = placed;
    }
    return GetChunkData3ds<Layout>(data);
}

// Writes the database to a new file and returns the file's bytes.
Bytes WriteToFile(Database3ds* db, const char* name) {
    File3ds* file = OpenFile3ds(name, "w");
    WriteDatabase3ds(file, db);
    EXPECT_FALSE(ErrorPending3ds);
    CloseFile3ds(file);
    return ReadFileBytes(name);
}

TEST_F(DatabaseWriter, NewMeshDatabaseIsItsDefaultChunks) {
    std::unique_ptr<Database3ds> db = NewDatabase();
    File3ds* file = OpenFile3ds("new.3ds", "w");
    WriteDatabase3ds(file, db.get());
    EXPECT_FALSE(ErrorPending3ds);
    EXPECT_EQ(GetCurrentFile3ds(), file);
    CloseFile3ds(file);

    const Bytes bytes = ReadFileBytes("new.3ds");
    EXPECT_EQ(bytes, kNewMeshFile);
    EXPECT_EQ(DescribeChunkTree(ReadChunkTree(bytes)), "4D4D(0002 3D3D(3D3E) B000(B00A))");
    // The written lengths are recorded in the tree.
    EXPECT_EQ(db->root->size, 51u);
    EXPECT_EQ(Find(db->root.get(), kTagKeyframer3ds)->size, 19u);
    EXPECT_EQ(Find(db->root.get(), kTagKeyframerHeader3ds)->writeFileIndex, 0);
}

TEST_F(DatabaseWriter, WritingTwiceGivesIdenticalFiles) {
    std::unique_ptr<Database3ds> db = NewDatabase();
    Chunk3ds* editor = Find(db->root.get(), kTagEditor3ds);
    Chunk3ds* object = nullptr;
    Append<StringData3ds>(editor, kTagNamedObject3ds, &object)->text = "Box";
    // A wrong recorded size is replaced by the true length.
    object->size = 999;
    Chunk3ds* mesh = nullptr;
    Append(object, kTagTriangleMesh3ds, &mesh);
    Append<VertexListData3ds>(mesh, kTagVertexList3ds)->vertices = {{1, 2, 3}, {4, 5, 6}};
    Chunk3ds* node = nullptr;
    Append(Find(db->root.get(), kTagKeyframer3ds), kTagObjectNode3ds, &node);
    Append<WordData3ds>(node, kTagNodeId3ds);
    Chunk3ds* header = nullptr;
    Append<NodeHeaderData3ds>(node, kTagNodeHeader3ds, &header)->name = "Box";
    Append<StringData3ds>(header, kTagParentName3ds)->text = "Box";

    File3ds* first = OpenFile3ds("first.3ds", "w");
    File3ds* second = OpenFile3ds("second.3ds", "w");
    WriteDatabase3ds(first, db.get());
    WriteDatabase3ds(second, db.get());
    EXPECT_FALSE(ErrorPending3ds);
    CloseAllFiles3ds();

    const Bytes bytes = ReadFileBytes("first.3ds");
    EXPECT_EQ(ReadFileBytes("second.3ds"), bytes);
    EXPECT_EQ(DescribeChunkTree(ReadChunkTree(bytes)),
              "4D4D(0002 3D3D(3D3E 4000) B000(B00A B002(B030 B010)))");
    // Header 6, name "Box" 4, mesh: header 6, vertex list 6 + 2 + 24.
    EXPECT_EQ(object->size, 48u);
    EXPECT_EQ(db->root->size, bytes.size());
}

TEST_F(DatabaseWriter, FileOpenedForReadingIsLeftAloneButDefaultsAreRefreshed) {
    std::unique_ptr<Database3ds> db = NewDatabase();
    GetChunkData3ds<LongData3ds>(Find(db->root.get(), kTagFileVersion3ds))->value = 7;
    Chunk3ds* node = nullptr;
    Append(Find(db->root.get(), kTagKeyframer3ds), kTagObjectNode3ds, &node);
    Append<WordData3ds>(node, kTagNodeId3ds)->value = 0x1234;
    WriteFileBytes("old.3ds", {1, 2, 3});
    File3ds* reader = OpenFile3ds("old.3ds", "r");

    WriteDatabase3ds(reader, db.get());
    EXPECT_FALSE(ErrorPending3ds);
    CloseAllFiles3ds();

    EXPECT_EQ(ReadFileBytes("old.3ds"), Bytes({1, 2, 3}));
    EXPECT_EQ(GetChunkData3ds<LongData3ds>(Find(db->root.get(), kTagFileVersion3ds))->value, 3);
    // Nodes are numbered only for a write.
    EXPECT_EQ(GetChunkData3ds<WordData3ds>(Find(node, kTagNodeId3ds))->value, 0x1234);
}

TEST_F(DatabaseWriter, DatabaseWithoutKeyframerIsWrittenAsItStands) {
    std::unique_ptr<Database3ds> db = NewDatabase(kDatabaseMaterialLibrary3ds);
    Chunk3ds* node = nullptr;
    Append(db->root.get(), kTagObjectNode3ds, &node);
    Append<WordData3ds>(node, kTagNodeId3ds)->value = 7;

    EXPECT_EQ(WriteToFile(db.get(), "library.3ds"),
              Bytes({
                  0xAA, 0x3D, 0x14, 0x00, 0x00, 0x00,             // material-library root
                  0x02, 0xB0, 0x0E, 0x00, 0x00, 0x00,             //   object node
                  0x30, 0xB0, 0x08, 0x00, 0x00, 0x00, 0x07, 0x00, //     number 7, not renumbered
              }));
}

TEST_F(DatabaseWriter, ParentNotesAndUntaggedChunksNeverReachTheFile) {
    std::unique_ptr<Database3ds> db = NewDatabase();
    Chunk3ds* untagged = nullptr;
    Append(Find(db->root.get(), kTagEditor3ds), kTagNone3ds, &untagged);
    Append<FloatData3ds>(untagged, kTagMasterScale3ds);
    Chunk3ds* node = nullptr;
    Append(Find(db->root.get(), kTagKeyframer3ds), kTagObjectNode3ds, &node);
    Append<WordData3ds>(node, kTagNodeId3ds)->value = 0x1234;
    Chunk3ds* header = nullptr;
    auto* headerRecord = Append<NodeHeaderData3ds>(node, kTagNodeHeader3ds, &header);
    headerRecord->name = "N";
    headerRecord->parentId = 77;
    Chunk3ds* note = nullptr;
    Append<StringData3ds>(header, kTagParentName3ds, &note)->text = "Nobody";
    Append<LongData3ds>(note, kTagFileVersion3ds);

    EXPECT_EQ(WriteToFile(db.get(), "notes.3ds"),
              Bytes({
                  0x4D, 0x4D, 0x4F, 0x00, 0x00, 0x00,                         // root, 79 bytes
                  0x02, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, // file version
                  0x3D, 0x3D, 0x10, 0x00, 0x00, 0x00,                         // 3D editor
                  0x3E, 0x3D, 0x0A, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, //   mesh version
                  0x00, 0xB0, 0x2F, 0x00, 0x00, 0x00,                         // keyframer
                  0x0A, 0xB0, 0x0D, 0x00, 0x00, 0x00,                         //   header
                  0x05, 0x00, 0x00, 0x1E, 0x00, 0x00, 0x00,                   //
                  0x02, 0xB0, 0x1C, 0x00, 0x00, 0x00,                         //   object node
                  0x30, 0xB0, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00,             //     number 0
                  0x10, 0xB0, 0x0E, 0x00, 0x00, 0x00,                         //     node header:
                  0x4E, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, //       "N", flags, no parent
              }));
    EXPECT_EQ(note->writeFileIndex, kNoFileIndex3ds);
}

TEST_F(DatabaseWriter, RecordsFromASourceFileAreWrittenThenDropped) {
    // Four bytes of something else, then a master-scale chunk holding 2.5.
    WriteFileBytes("source.3ds", {0xAA, 0xBB, 0xCC, 0xDD, 0x00, 0x01, 0x0A, 0x00, 0x00, 0x00, 0x00,
                                  0x00, 0x20, 0x40});
    File3ds* source = OpenFile3ds("source.3ds", "r");
    std::unique_ptr<Database3ds> db = NewDatabase();
    std::unique_ptr<Chunk3ds> loaded;
    NewChunkWithTag3ds(&loaded, kTagMasterScale3ds);
    loaded->readFileIndex = source->index;
    loaded->position = 4;
    loaded->size = 10;
    Chunk3ds* scale = InsertChildInOrder3ds(Find(db->root.get(), kTagEditor3ds), std::move(loaded));

    Bytes expected = kNewMeshFile;
    expected[2] = 0x3D;  // root, 61 bytes
    expected[18] = 0x1A; // 3D editor, 26 bytes
    const Bytes scaleChunk = {0x00, 0x01, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x40};
    expected.insert(expected.begin() + 32, scaleChunk.begin(), scaleChunk.end());
    EXPECT_EQ(WriteToFile(db.get(), "out.3ds"), expected);
    EXPECT_EQ(scale->data, nullptr);
    EXPECT_EQ(scale->size, 10u);
    // Records made in memory stay.
    EXPECT_NE(Find(db->root.get(), kTagKeyframerHeader3ds)->data, nullptr);
}

TEST_F(DatabaseWriter, FailureStopsTheWriteAndNamesTheStage) {
    std::unique_ptr<Database3ds> db = NewDatabase();

    // An error left pending: nothing is written.
    File3ds* file = OpenFile3ds("pending.3ds", "w");
    RaiseError3ds(ERR_NO_MEM);
    WriteDatabase3ds(file, db.get());
    EXPECT_EQ(RaisedErrors(), Codes({ERR_NO_MEM, ERR_WRITING_DATABASE}));
    ClearErrors3ds();
    CloseAllFiles3ds();
    EXPECT_TRUE(ReadFileBytes("pending.3ds").empty());

    // A record that cannot be encoded: the root's header keeps its provisional length.
    Chunk3ds* object = nullptr;
    Append<StringData3ds>(Find(db->root.get(), kTagEditor3ds), kTagNamedObject3ds, &object);
    Chunk3ds* mesh = nullptr;
    Append(object, kTagTriangleMesh3ds, &mesh);
    Append<VertexListData3ds>(mesh, kTagVertexList3ds)->vertices.resize(65536);
    file = OpenFile3ds("bad.3ds", "w");
    WriteDatabase3ds(file, db.get());
    EXPECT_EQ(RaisedErrors(), Codes({ERR_INVALID_DATA, ERR_WRITING_DATABASE}));
    ClearErrors3ds();
    CloseAllFiles3ds();
    const Bytes bytes = ReadFileBytes("bad.3ds");
    ASSERT_GE(bytes.size(), 6u);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 6), Bytes({0x4D, 0x4D, 0, 0, 0, 0}));
}

TEST_F(DatabaseWriter, FullDeviceFailsWithTheCauseThenTheStage) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    std::unique_ptr<Database3ds> db = NewDatabase();
    File3ds* file = OpenFile3ds("/dev/full", "w");
    ASSERT_NE(file, nullptr);
    WriteDatabase3ds(file, db.get());
    EXPECT_EQ(RaisedErrors(), Codes({ERR_WRITING_FILE, ERR_WRITING_DATABASE}));
    CloseAllFiles3ds();
    EXPECT_EQ(RaisedErrors(), Codes({ERR_WRITING_FILE, ERR_WRITING_DATABASE, ERR_CLOSING_FILE}));
}

TEST_F(DatabaseWriter, BadArgumentsAreRefused) {
    std::unique_ptr<Database3ds> db = NewDatabase();
    File3ds* file = OpenFile3ds("args.3ds", "w");
    WriteDatabase3ds(nullptr, db.get());
    WriteDatabase3ds(file, nullptr);
    WriteChunk3ds(nullptr, file->index);
    // A slot without a file: the bytes must not go to the current file.
    SetCurrentFile3ds(file);
    WriteChunk3ds(db->root.get(), 5);
    EXPECT_EQ(RaisedErrors(),
              Codes({ERR_INVALID_ARG, ERR_INVALID_ARG, ERR_INVALID_ARG, ERR_INVALID_ARG}));
    ClearErrors3ds();

    std::unique_ptr<Database3ds> rootless;
    InitDatabase3ds(rootless);
    WriteDatabase3ds(file, rootless.get());
    EXPECT_EQ(RaisedErrors(), Codes({ERR_INVALID_ARG, ERR_WRITING_DATABASE}));
    ClearErrors3ds();

    File3ds stranger;
    stranger.mode = kModeWrite3ds;
    WriteDatabase3ds(&stranger, db.get());
    EXPECT_EQ(RaisedErrors(), Codes({ERR_INVALID_ARG, ERR_WRITING_DATABASE}));
    ClearErrors3ds();

    std::unique_ptr<Chunk3ds> wide;
    NewChunkWithTag3ds(&wide, 0x10000);
    WriteChunk3ds(wide.get(), file->index);
    EXPECT_EQ(RaisedErrors(), Codes({ERR_INVALID_DATA}));
    ClearErrors3ds();
    CloseAllFiles3ds();
    EXPECT_TRUE(ReadFileBytes("args.3ds").empty());
}

} // namespace
