// What every put operation shares: the checks of its target, what it refuses
// in its record (one table per kind of record, one runner for all), replacing
// by name, and allocation failures. The camera's own bytes are in the golden
// file, so it has no test file of its own.

#include "toolkit3ds/put_support.h"

#include "tests/support/allocation_hooks.h"
#include "tests/support/tree_outline.h"
#include "toolkit3ds/camera.h"
#include "toolkit3ds/material.h"
#include "toolkit3ds/mesh_object.h"
#include "toolkit3ds/scene_settings.h"
#include "toolkit3ds/viewport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

class PutSupport : public ToolkitTest {};

struct Records {
    std::unique_ptr<Material3ds> material;
    std::unique_ptr<Mesh3ds> mesh;
    std::unique_ptr<Camera3ds> camera;
    std::unique_ptr<MeshSettings3ds> settings;
    std::unique_ptr<Background3ds> background;
    std::unique_ptr<Viewport3ds> viewport;
};

// One record of every kind in its initial state, each text at its full
// capacity; the mesh and the camera share their name.
Records NewRecords() {
    Records r;
    InitMaterial3ds(&r.material);
    r.material->name = "Sixteen chars...";
    InitMeshObj3ds(&r.mesh, 0, 0, 0);
    r.mesh->name = "Ten chars.";
    InitCamera3ds(&r.camera);
    r.camera->name = "Ten chars.";
    InitMeshSettings3ds(&r.settings);
    InitBackground3ds(&r.background);
    InitViewport3ds(&r.viewport);
    r.viewport->viewType = kViewCamera3ds;
    r.viewport->cameraName = "Ten chars.";
    return r;
}

// NewRecords, each using most of what its put writes.
Records FullRecords() {
    Records r = NewRecords();
    r.material->textureMap.fileName = r.material->specularMask.fileName = "sixteen_chars.bm";
    r.material->bumpMap.fileName = std::string("skin.bmp\0 and more", 18); // "skin.bmp" is written
    r.material->bumpMap.mapData = {1, 2, 3};
    r.material->autoReflect = true;
    InitMeshObj3ds(&r.mesh, 3, 1, kMeshVertices3ds | kMeshTexVertices3ds | kMeshFaces3ds);
    r.mesh->name = "Ten chars.";
    r.mesh->smoothGroups = {1};
    r.mesh->matGroupCount = 1;
    r.mesh->matGroups = {{"Sixteen chars...", 1, {0}}};
    r.mesh->vertexFlagCount = 3;
    r.mesh->vertexFlags = {1, 2, 3};
    r.mesh->useMapInfo = r.mesh->useBoxMap = r.mesh->isHidden = true;
    r.mesh->boxMapNames[2] = "Sixteen chars...";
    r.mesh->procData = {1, 2};
    r.mesh->procSize = 2;
    r.mesh->procName = "Fifteen chars..";
    r.mesh->useProc = 1;
    r.background->backgroundType = kBackgroundGradient3ds;
    r.viewport->orthoZoom = r.viewport->userZoom = 0; // no width is divided by them
    return r;
}

// A put of one of the records, or of no record (none for r).
template <auto field, auto put> void PutRecord(Database3ds* db, const Records* r) {
    put(db, r == nullptr ? nullptr : (r->*field).get());
}

struct PutStep {
    const char* name;
    void (*put)(Database3ds*, const Records*);
    std::vector<uint32_t> rootTags; // the roots it takes
};

const std::vector<uint32_t> kMeshOrProject = {kTagMeshFile3ds, kTagProjectFile3ds};
const PutStep kPuts[] = {
    {"settings", PutRecord<&Records::settings, PutMeshSettings3ds>, kMeshOrProject},
    {"background", PutRecord<&Records::background, PutBackground3ds>, kMeshOrProject},
    {"camera", PutRecord<&Records::camera, PutCamera3ds>, {kTagMeshFile3ds}},
    {"material",
     PutRecord<&Records::material, PutMaterial3ds>,
     {kTagMeshFile3ds, kTagProjectFile3ds, kTagMaterialLibrary3ds}},
    {"mesh", PutRecord<&Records::mesh, PutMesh3ds>, kMeshOrProject},
    {"viewport", PutRecord<&Records::viewport, PutViewport3ds>, kMeshOrProject},
};

// Every record put once, up to the first error.
void PutAll(Database3ds* db, const Records& r) {
    for (size_t i = 0; i < std::size(kPuts) && !ErrorPending3ds; ++i) {
        kPuts[i].put(db, &r);
    }
}

template <typename Record> struct Invalid {
    const char* what;
    void (*change)(Record&);
    int32_t code;
};

// Puts a changed copy of valid for each row; each must raise its code alone
// and leave the database as it was.
template <typename Record>
void ExpectRefused(Database3ds& db, const Record& valid, void (*put)(Database3ds*, const Record*),
                   std::initializer_list<Invalid<Record>> rows) {
    const std::unique_ptr<Chunk3ds> before = CopyTree(db.root.get());
    for (const Invalid<Record>& row : rows) {
        SCOPED_TRACE(row.what);
        Record record = valid;
        row.change(record);
        put(&db, &record);
        EXPECT_EQ(TakeErrors3ds(), Codes{row.code});
        EXPECT_TRUE(SameTree(db.root.get(), before.get()));
    }
}

// Texts one character over their capacity, arrays short of their counts,
// values the put cannot write.
TEST_F(PutSupport, InvalidRecordsAreRefusedChangingNothing) {
    const Records r = FullRecords();
    auto db = MakeDatabase();
    // Records of the same names are in place: a refused put must not empty them.
    PutAll(db.get(), r);
    ASSERT_EQ(RaisedErrors(), Codes{});

    ExpectRefused<Material3ds>(
        *db, *r.material, PutMaterial3ds,
        {
            {"material name", [](Material3ds& m) { m.name += "x"; }, ERR_STRING_TOO_LONG},
            {"map", [](Material3ds& m) { m.specularMask.fileName += "x"; }, ERR_STRING_TOO_LONG},
        });
    ExpectRefused<Mesh3ds>(
        *db, *r.mesh, PutMesh3ds,
        {
            {"mesh name", [](Mesh3ds& m) { m.name += "x"; }, ERR_STRING_TOO_LONG},
            {"group name", [](Mesh3ds& m) { m.matGroups[0].name += "x"; }, ERR_STRING_TOO_LONG},
            {"box map name", [](Mesh3ds& m) { m.boxMapNames[2] += "x"; }, ERR_STRING_TOO_LONG},
            {"procedure name", [](Mesh3ds& m) { m.procName += "x"; }, ERR_STRING_TOO_LONG},
            {"vertices", [](Mesh3ds& m) { m.vertices.pop_back(); }, ERR_INVALID_DATA},
            {"texture vertices", [](Mesh3ds& m) { m.texVertices.pop_back(); }, ERR_INVALID_DATA},
            {"vertex flags", [](Mesh3ds& m) { m.vertexFlags.pop_back(); }, ERR_INVALID_DATA},
            {"faces", [](Mesh3ds& m) { m.faces.clear(); }, ERR_INVALID_DATA},
            {"smoothing", [](Mesh3ds& m) { m.faces.resize(++m.faceCount); }, ERR_INVALID_DATA},
            {"groups", [](Mesh3ds& m) { m.matGroupCount = 2; }, ERR_INVALID_DATA},
            {"group faces", [](Mesh3ds& m) { m.matGroups[0].faces.clear(); }, ERR_INVALID_DATA},
            {"procedure data", [](Mesh3ds& m) { m.procSize = 3; }, ERR_INVALID_DATA},
        });
    ExpectRefused<Camera3ds>(
        *db, *r.camera, PutCamera3ds,
        {
            {"camera name", [](Camera3ds& c) { c.name += "x"; }, ERR_STRING_TOO_LONG},
            {"zero field of view", [](Camera3ds& c) { c.fov = -0.0f; }, ERR_INVALID_DATA},
        });
    ExpectRefused<Background3ds>(
        *db, *r.background, PutBackground3ds,
        {{"unknown type", [](Background3ds& b) { b.backgroundType = 4; }, ERR_INVALID_DATA}});
    ExpectRefused<Viewport3ds>(
        *db, *r.viewport, PutViewport3ds,
        {
            {"camera name", [](Viewport3ds& v) { v.cameraName += "x"; }, ERR_STRING_TOO_LONG},
            {"view type 0", [](Viewport3ds& v) { v.viewType = 0; }, ERR_INVALID_DATA},
            {"view type 10", [](Viewport3ds& v) { v.viewType = 10; }, ERR_INVALID_DATA},
            {"back, zoom 0", [](Viewport3ds& v) { v.viewType = kViewBack3ds; }, ERR_INVALID_DATA},
            {"user, zoom 0", [](Viewport3ds& v) { v.viewType = kViewUser3ds; }, ERR_INVALID_DATA},
        });
}

// A put replaces what has its name: in place, or (a camera) by emptying it
// and adding itself behind the others. The old one's extra data moves along.
TEST_F(PutSupport, PutsReplaceByNameKeepingExtraData) {
    const Records r = NewRecords();
    enum { kCamera = 2, kMaterial = 3, kMesh = 4 }; // in kPuts
    struct Case {
        int first, second;
        const char* editor;
    };
    const Case cases[] = {
        {kMesh, kMesh, "3D3D(3D3E 4000(4100(4160 4165 8000)))"},
        {kCamera, kMesh, "3D3D(3D3E 4000(4100(4160 4165 8000)))"},
        {kMesh, kCamera, "3D3D(3D3E 0000 4000(4700(4720 8000)))"},
        {kCamera, kCamera, "3D3D(3D3E 0000 4000(4700(4720 8000)))"},
        {kMaterial, kMaterial,
         "3D3D(3D3E AFFF(A000 A010(0011 0012) A020(0011 0012) A030(0011 0012) A040(0030) "
         "A041(0030) A050(0030) A052(0030) A053(0030) A100 A084(0030) A087 8000))"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << kPuts[c.first].name << ", " << kPuts[c.second].name);
        auto db = MakeDatabase();
        kPuts[c.first].put(db.get(), &r);
        Chunk3ds* old = Children(Editor(*db)).back();
        AppendChunk(old, kTagExtraData3ds);
        kPuts[c.second].put(db.get(), &r);
        EXPECT_EQ(TakeErrors3ds(), Codes{});
        EXPECT_EQ(TreeOutline(Editor(*db)), c.editor);
        EXPECT_EQ(Children(Editor(*db))[1], old);
    }
}

// Puts keep the name indexes right without a rebuild: each new object and
// material lands behind the others (in front of a chunk without an order key),
// and a put of a name already there replaces it in its place.
TEST_F(PutSupport, PutsKeepTheNameIndexesFreshWithoutRebuilding) {
    const Records r = NewRecords();
    auto db = MakeDatabase();
    AppendChunk(Editor(*db), 0x1234);
    const auto put = [&db, &r](const char* name) {
        r.mesh->name = r.material->name = name;
        PutMesh3ds(db.get(), r.mesh.get());
        PutMaterial3ds(db.get(), r.material.get());
    };
    put("First");
    ASSERT_NE(ObjectByName(*db, "First"), nullptr);
    ASSERT_NE(MaterialByName(*db, "First"), nullptr);
    const uint32_t rebuilds = db->indexRebuilds;
    for (const char* name : {"Second", "First", "Third", "Second"}) {
        put(name);
        EXPECT_FALSE(db->objectIndexStale || db->materialIndexStale) << name;
    }
    EXPECT_EQ(ChildOutline(Editor(*db)), "3D3E AFFF AFFF AFFF 4000 4000 4000 1234");
    const std::vector<Chunk3ds*> chunks = Children(Editor(*db));
    for (size_t i = 0; i < 3; ++i) {
        const std::string name = std::vector<std::string>{"First", "Second", "Third"}[i];
        EXPECT_EQ(MaterialByName(*db, name), chunks[1 + i]) << name;
        EXPECT_EQ(ObjectByName(*db, name), chunks[4 + i]) << name;
    }
    EXPECT_EQ(db->indexRebuilds, rebuilds);
    EXPECT_EQ(TakeErrors3ds(), Codes{});
}

TEST_F(PutSupport, EveryPutRefusesMissingArgumentsAndForeignRootsChangingNothing) {
    Records r = FullRecords();
    for (const PutStep& step : kPuts) {
        SCOPED_TRACE(step.name);
        std::unique_ptr<Database3ds> rootless = EmptyDatabase();
        auto db = MakeDatabase();
        const std::unique_ptr<Chunk3ds> before = CopyTree(db->root.get());
        step.put(nullptr, &r);
        step.put(db.get(), nullptr);
        step.put(rootless.get(), &r);
        EXPECT_EQ(TakeErrors3ds(), Codes({ERR_INVALID_ARG, ERR_INVALID_ARG, ERR_INVALID_DATABASE}));
        EXPECT_TRUE(SameTree(db->root.get(), before.get()));
        EXPECT_EQ(rootless->root, nullptr);

        for (int kind = kDatabaseMeshFile3ds; kind <= 4; ++kind) {
            auto target = MakeDatabase(static_cast<DatabaseKind3ds>(kind));
            const std::unique_ptr<Chunk3ds> untouched = CopyTree(target->root.get());
            const bool takes = std::ranges::count(step.rootTags, target->root->tag) > 0;
            step.put(target.get(), &r);
            EXPECT_EQ(TakeErrors3ds(), takes ? Codes{} : Codes{ERR_WRONG_DATABASE})
                << "kind " << kind;
            if (!takes) {
                EXPECT_TRUE(SameTree(target->root.get(), untouched.get()));
            }
        }
    }

    // The other operations on put records and their parts.
    std::unique_ptr<Chunk3ds> section = MakeChunk(kTagEditor3ds);
    InitCamera3ds(nullptr); // every Init…3ds of a put record
    InitMaterialMap3ds(nullptr);
    PutMapChunks3ds(nullptr, &r.material->textureMap);
    PutMapChunks3ds(section.get(), nullptr);
    ReleaseMeshSettings3ds(nullptr);
    ReleaseBackground3ds(nullptr); // raises nothing, unlike the settings
    PutViewportLayout3ds(nullptr, r.viewport.get());
    PutDefaultView3ds(section.get(), nullptr);
    EXPECT_EQ(TakeErrors3ds(), Codes(7, ERR_INVALID_ARG));
    MaterialMap3ds longName = r.material->specularMask;
    longName.fileName += "x";
    PutMapChunks3ds(section.get(), &longName);
    r.viewport->viewType = 0;
    PutDefaultView3ds(section.get(), r.viewport.get());
    EXPECT_EQ(TakeErrors3ds(), Codes({ERR_STRING_TOO_LONG, ERR_INVALID_DATA}));
    EXPECT_EQ(TreeOutline(section.get()), "3D3D");
}

// Each run fails one allocation while every kind of record is put into a new
// database and then put again over what the first puts made.
TEST_F(PutSupport, EveryAllocationFailureIsReported) {
    Records r = FullRecords();
    r.viewport->userZoom = 2;
    std::unique_ptr<Database3ds> db;
    int meshStages = 0;
    const int failures = SweepAllocationFaults(
        [&] {
            ClearErrors3ds();
            db = MakeDatabase();
        },
        [&] {
            for (uint32_t viewType : {kViewUser3ds, kViewCamera3ds}) {
                r.viewport->viewType = viewType;
                PutAll(db.get(), r);
            }
        },
        [&] {
            // A mesh chunk that cannot be made is followed by the mesh put's own code.
            const Codes codes = RaisedErrors();
            EXPECT_TRUE(codes == Codes{ERR_NO_MEM} ||
                        codes == (Codes{ERR_NO_MEM, ERR_PUT_MESH_FAILED}));
            meshStages += codes.size() == 2 ? 1 : 0;
        });
    EXPECT_GT(meshStages, 40);
    EXPECT_GT(failures, 300);
    EXPECT_FALSE(ErrorPending3ds);
}

} // namespace
