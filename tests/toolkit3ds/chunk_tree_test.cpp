#include "toolkit3ds/chunk_tree.h"

#include "tests/support/tree_outline.h"
#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class ChunkTree : public ToolkitTest {};

// A chunk with a string record, such as a named object or a material name.
std::unique_ptr<Chunk3ds> MakeNamed(uint32_t tag, const std::string& name) {
    std::unique_ptr<Chunk3ds> chunk;
    GetChunkData3ds<StringData3ds>(NewChunkAndData3ds(&chunk, tag))->text = name;
    return chunk;
}

std::vector<std::string> ChildNames(Chunk3ds* parent) {
    std::vector<std::string> names;
    for (Chunk3ds* child : Children(parent)) {
        auto* name = GetChunkData3ds<StringData3ds>(child);
        names.push_back(name == nullptr ? "" : name->text);
    }
    return names;
}

Chunk3ds* AddObject(Database3ds& db, const std::string& name) {
    return InsertChildInOrder3ds(Editor(db), MakeNamed(kTagNamedObject3ds, name));
}

Chunk3ds* AddMaterial(Database3ds& db, const std::string& name) {
    Chunk3ds* material = InsertChildInOrder3ds(Editor(db), MakeChunk(kTagMaterial3ds));
    InsertChildInOrder3ds(material, MakeNamed(kTagMaterialName3ds, name));
    return material;
}

TEST_F(ChunkTree, InsertionFollowsOrderKeysAndRefusesChains) {
    auto editor = MakeChunk(kTagEditor3ds);
    InsertChildInOrder3ds(editor.get(), MakeChunk(kTagMeshVersion3ds));
    for (const char* name : {"Hips", "Torso", "Head"}) {
        InsertChildInOrder3ds(editor.get(), MakeNamed(kTagNamedObject3ds, name));
    }
    // A material and settings put after the objects still go in front of them.
    InsertChildInOrder3ds(editor.get(), MakeChunk(kTagMaterial3ds));
    InsertChildInOrder3ds(editor.get(), MakeChunk(kTagMasterScale3ds));
    InsertChildInOrder3ds(editor.get(), MakeChunk(kTagViewportLayout3ds));
    // A tag without a key goes to the end, even behind the lowest keyed ones.
    InsertChildInOrder3ds(editor.get(), MakeChunk(0x1234));
    InsertChildInOrder3ds(editor.get(), MakeChunk(kTagDefaultView3ds));
    ASSERT_FALSE(ErrorPending3ds);

    EXPECT_EQ(ChildOutline(editor.get()), "3D3E AFFF 0100 7001 3000 4000 4000 4000 1234");
    EXPECT_EQ(ChildNames(editor.get()),
              (std::vector<std::string>{"", "", "", "", "", "Hips", "Torso", "Head", ""}));

    // Missing arguments and sibling chains are refused.
    auto parent = MakeChunk(kTagEditor3ds);
    EXPECT_EQ(InsertChildInOrder3ds(nullptr, MakeChunk(kTagNamedObject3ds)), nullptr);
    EXPECT_EQ(TakeErrors3ds(), Codes{ERR_INVALID_ARG});

    auto chain = MakeChunk(kTagNamedObject3ds);
    chain->next = MakeChunk(kTagNamedObject3ds);
    EXPECT_EQ(InsertChildInOrder3ds(parent.get(), std::move(chain)), nullptr);
    EXPECT_EQ(TakeErrors3ds(), Codes{ERR_INVALID_ARG});
    EXPECT_EQ(parent->child, nullptr);

    // Appending takes a whole chain and ignores keys.
    InsertChildInOrder3ds(parent.get(), MakeChunk(kTagNamedObject3ds));
    chain = MakeChunk(kTagMeshVersion3ds);
    chain->next = MakeChunk(kTagMaterial3ds);
    AppendChild3ds(parent.get(), std::move(chain));
    EXPECT_EQ(ChildOutline(parent.get()), "4000 3D3E AFFF");
    EXPECT_FALSE(ErrorPending3ds);
}

TEST_F(ChunkTree, ResetOrAddChildKeepsTheNodeInPlace) {
    auto root = MakeChunk(kTagMeshFile3ds);
    InsertChildInOrder3ds(root.get(), MakeChunk(kTagFileVersion3ds));
    Chunk3ds* editor = InsertChildInOrder3ds(root.get(), MakeChunk(kTagEditor3ds));
    InsertChildInOrder3ds(root.get(), MakeChunk(kTagKeyframer3ds));
    InsertChildInOrder3ds(editor, MakeChunk(kTagMeshVersion3ds));
    editor->size = 40;
    editor->position = 12;
    editor->readFileIndex = 3;
    editor->writeFileIndex = 2;

    // Emptied in place: no children, no record, no file; its sibling link stays.
    Chunk3ds* reset = nullptr;
    ResetOrAddChild3ds(root.get(), kTagEditor3ds, &reset);
    EXPECT_EQ(reset, editor);
    EXPECT_EQ(TreeOutline(root.get()), "4D4D(0002 3D3D B000)");
    EXPECT_EQ(reset->data, nullptr);
    EXPECT_EQ(reset->size + reset->position, 0u);
    EXPECT_EQ(reset->readFileIndex, kNoFileIndex3ds);
    EXPECT_EQ(reset->writeFileIndex, kNoFileIndex3ds);

    Chunk3ds* added = nullptr;
    ResetOrAddChild3ds(editor, kTagMasterScale3ds, &added);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(editor->child.get(), added);

    ResetOrAddChild3ds(root.get(), kTagEditor3ds, nullptr);
    EXPECT_EQ(ErrorList3ds()[0].code, ERR_INVALID_ARG);
}

TEST_F(ChunkTree, DuplicateCopiesRecordsDeeplyButNotSiblings) {
    auto source = MakeChunk(kTagViewportLayout3ds);
    GetChunkData3ds<ViewportLayoutData3ds>(NewChunkData3ds(source.get()))->state[2] = 1;
    source->size = source->position = 77;
    std::unique_ptr<Chunk3ds> entry;
    auto* record = GetChunkData3ds<ViewportEntryData3ds>(
        NewChunkAndData3ds(&entry, kTagViewportEntryDefault3ds));
    record->cameraName = "Camera1";
    AppendChild3ds(source.get(), std::move(entry));
    AppendChild3ds(source.get(), MakeChunk(kTagViewportSize3ds));
    source->next = MakeChunk(kTagDefaultView3ds); // siblings are not copied

    std::unique_ptr<Chunk3ds> copy;
    DuplicateChunk3ds(source.get(), &copy);
    ASSERT_FALSE(ErrorPending3ds);
    source.reset();

    EXPECT_EQ(TreeOutline(copy.get()), "7001(7012 7020)");
    EXPECT_EQ(copy->size + copy->position, 154u);
    EXPECT_EQ(copy->next, nullptr);
    EXPECT_EQ(GetChunkData3ds<ViewportLayoutData3ds>(copy.get())->state[2], 1);
    EXPECT_EQ(GetChunkData3ds<ViewportEntryData3ds>(copy->child.get())->cameraName, "Camera1");

    // A record that its file can supply again moves to the copy.
    auto named = MakeNamed(kTagNamedObject3ds, "Hips");
    named->readFileIndex = 4;
    ChunkData3ds* namedRecord = named->data.get();
    DuplicateChunk3ds(named.get(), &copy);
    EXPECT_EQ(copy->data.get(), namedRecord);
    EXPECT_EQ(copy->readFileIndex, 4);
    EXPECT_EQ(named->data, nullptr);

    DuplicateChunk3ds(nullptr, &copy);
    EXPECT_EQ(ErrorList3ds()[0].code, ERR_INVALID_ARG);
}

TEST_F(ChunkTree, FreesLongChainsAndDeepTreesWithoutRecursion) {
    constexpr int kCount = 100000;
    auto siblings = MakeChunk(kTagNamedObject3ds);
    Chunk3ds* tail = siblings.get();
    for (int i = 1; i < kCount; ++i) {
        tail->next = MakeNamed(kTagNamedObject3ds, "Part");
        tail = tail->next.get();
    }
    FreeChunkTree3ds(siblings);

    // Each chunk with a sibling and a child: both links long.
    auto deep = MakeChunk(kTagEditor3ds);
    Chunk3ds* bottom = deep.get();
    for (int i = 1; i < kCount; ++i) {
        bottom->next = MakeChunk(kTagMaterial3ds);
        bottom->child = MakeChunk(kTagEditor3ds);
        bottom = bottom->child.get();
    }
    FreeChunkTree3ds(deep);
}

TEST_F(ChunkTree, UpdatingDefaultsRenewsRecordsAndKindsGiveTheirRoots) {
    auto db = MakeDatabase();
    Chunk3ds* version = db->root->child.get();
    GetChunkData3ds<LongData3ds>(version)->value = 9;
    version->size = 10;
    Chunk3ds* header = FindChunk(db->root.get(), kTagKeyframerHeader3ds);
    auto* headerRecord = GetChunkData3ds<KeyframerHeaderData3ds>(header);
    headerRecord->revision = 1;
    headerRecord->animLength = 100;

    UpdateDatabaseDefaults3ds(db.get());
    ASSERT_FALSE(ErrorPending3ds);
    EXPECT_EQ(db->root->child.get(), version);
    EXPECT_EQ(version->size, 0u);
    EXPECT_EQ(GetChunkData3ds<LongData3ds>(version)->value, 3);
    EXPECT_EQ(FindChunk(db->root.get(), kTagKeyframerHeader3ds), header);
    EXPECT_EQ(*GetChunkData3ds<KeyframerHeaderData3ds>(header),
              (KeyframerHeaderData3ds{5, "", 100}));

    // A header that lost its record, with no file to load it from, gets a new one.
    FreeChunkData3ds(header);
    UpdateDatabaseDefaults3ds(db.get());
    EXPECT_FALSE(ErrorPending3ds);
    EXPECT_EQ(*GetChunkData3ds<KeyframerHeaderData3ds>(header),
              (KeyframerHeaderData3ds{5, "", 30}));

    // The mesh file's default chunks are pinned where they are written.
    EXPECT_EQ(GetDatabaseKind3ds(db.get()), kDatabaseMeshFile3ds);
    CreateNewDatabase3ds(db.get(), kDatabaseProjectFile3ds);
    EXPECT_EQ(TreeOutline(db->root.get()), "C23D(3D3D(3D3E) B000(B00A))");
    CreateNewDatabase3ds(db.get(), kDatabaseMaterialLibrary3ds);
    EXPECT_EQ(TreeOutline(db->root.get()), "3DAA");
    CreateNewDatabase3ds(db.get(), DatabaseKind3ds(7));
    EXPECT_EQ(TreeOutline(db->root.get()), "0000");
    EXPECT_EQ(GetDatabaseKind3ds(db.get()), kDatabaseNone3ds);
    EXPECT_FALSE(ErrorPending3ds);
    CreateNewDatabase3ds(nullptr, kDatabaseMeshFile3ds);
    EXPECT_EQ(ErrorList3ds()[0].code, ERR_INVALID_ARG);
}

TEST_F(ChunkTree, ObjectLookupIsCaseSensitiveAndRebuiltOnlyWhenStale) {
    auto db = MakeDatabase();
    Chunk3ds* hips = AddObject(*db, "Hips");
    AddMaterial(*db, "Torso"); // materials are not objects
    EXPECT_EQ(ObjectByName(*db, "Hips"), hips);
    EXPECT_EQ(ObjectByName(*db, "hips"), nullptr);
    EXPECT_EQ(ObjectByName(*db, "Torso"), nullptr);
    EXPECT_FALSE(db->objectIndexStale);

    // Until the index is marked stale, a new object is not seen.
    Chunk3ds* head = AddObject(*db, "Head");
    EXPECT_EQ(ObjectByName(*db, "Head"), nullptr);
    MarkObjectIndexStale3ds(db.get());
    EXPECT_EQ(ObjectByName(*db, "Head"), head);
    // A new database drops the tree and the index.
    CreateNewDatabase3ds(db.get(), kDatabaseMeshFile3ds);
    EXPECT_EQ(ObjectByName(*db, "Hips"), nullptr);
    EXPECT_FALSE(ErrorPending3ds);

    Chunk3ds* found = nullptr;
    FindNamedObject3ds(db.get(), nullptr, &found);
    FindNamedObject3ds(nullptr, "Head", &found);
    MarkObjectIndexStale3ds(nullptr);
    EXPECT_EQ(RaisedErrors(), Codes(3, ERR_INVALID_ARG));
}

// A put's new object lands where inserting in order puts it; the index takes it
// without a rebuild only behind its last entry in a section found in order.
TEST_F(ChunkTree, NamedInsertionMatchesInsertingInOrder) {
    const auto putObject = [](Database3ds& db, const char* name) {
        Chunk3ds* object =
            InsertNamedChunk3ds(&db, Editor(db), MakeNamed(kTagNamedObject3ds, name));
        MarkObjectIndexStale3ds(&db);
        IndexPutObject3ds(&db, object);
        return object;
    };
    auto db = MakeDatabase();
    Chunk3ds* hips = AddObject(*db, "Hips");
    AppendChild3ds(Editor(*db), MakeChunk(0x1234));
    EXPECT_EQ(ObjectByName(*db, "Hips"), hips);
    Chunk3ds* head = putObject(*db, "Head");
    EXPECT_FALSE(db->objectIndexStale);
    EXPECT_EQ(ObjectByName(*db, "Head"), head);
    EXPECT_EQ(ChildOutline(Editor(*db)), "3D3E 4000 4000 1234");
    // Of two objects of one name, the first is found.
    putObject(*db, "Hips");
    MarkObjectIndexStale3ds(db.get());
    EXPECT_EQ(ObjectByName(*db, "Hips"), hips);

    // A keyless chunk in front of the objects: the new one goes before it, out of the index's
    // chain.
    auto unordered = MakeDatabase();
    AppendChild3ds(Editor(*unordered), MakeChunk(0x1234));
    AppendChild3ds(Editor(*unordered), MakeNamed(kTagNamedObject3ds, "Hips"));
    EXPECT_NE(ObjectByName(*unordered, "Hips"), nullptr);
    head = putObject(*unordered, "Head");
    EXPECT_TRUE(unordered->objectIndexStale);
    EXPECT_EQ(ObjectByName(*unordered, "Head"), head);
    EXPECT_EQ(ChildOutline(Editor(*unordered)), "3D3E 4000 1234 4000");
    EXPECT_FALSE(ErrorPending3ds);
}

TEST_F(ChunkTree, MaterialLookupSkipsUnnamedMaterialsAndWorksInALibrary) {
    auto db = MakeDatabase();
    Chunk3ds* skin = AddMaterial(*db, "Skin");
    InsertChildInOrder3ds(Editor(*db), MakeChunk(kTagMaterial3ds));
    Chunk3ds* hair = AddMaterial(*db, "Hair");
    AddObject(*db, "Body");
    EXPECT_EQ(MaterialByName(*db, "Hair"), hair);
    EXPECT_EQ(MaterialByName(*db, "Skin"), skin);
    EXPECT_EQ(MaterialByName(*db, ""), nullptr);
    EXPECT_EQ(MaterialByName(*db, "Body"), nullptr);
    EXPECT_EQ(db->materialIndex->entries.size(), 2u);

    CreateNewDatabase3ds(db.get(), kDatabaseMaterialLibrary3ds);
    Chunk3ds* material = AppendChild3ds(db->root.get(), MakeChunk(kTagMaterial3ds));
    AppendChild3ds(material, MakeNamed(kTagMaterialName3ds, "Skin"));
    EXPECT_EQ(MaterialByName(*db, "Skin"), material);
    EXPECT_FALSE(ErrorPending3ds);

    CreateNewDatabase3ds(db.get(), DatabaseKind3ds(7));
    EXPECT_EQ(MaterialByName(*db, "Skin"), nullptr);
    EXPECT_EQ(TakeErrors3ds(), Codes{ERR_WRONG_DATABASE});
    EXPECT_EQ(MaterialByName(*EmptyDatabase(), "Skin"), nullptr);
    EXPECT_EQ(TakeErrors3ds(), Codes{ERR_INVALID_DATABASE});
}

} // namespace
