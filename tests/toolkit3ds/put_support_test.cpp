// The checks every put operation shares. What each put refuses in its own
// record is tested with the put.

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
#include <functional>
#include <vector>

namespace {

using Codes = std::vector<int32_t>;

class PutSupport : public ToolkitTest {};

// A put of a record in its initial state, or of no record.
using PutCall = std::function<void(Database3ds* db, bool withRecord)>;

template <typename Record>
PutCall Put(void (*init)(std::unique_ptr<Record>*), void (*put)(Database3ds*, const Record*)) {
    return [=](Database3ds* db, bool withRecord) {
        std::unique_ptr<Record> record;
        init(&record);
        put(db, withRecord ? record.get() : nullptr);
    };
}

struct PutCase {
    const char* name;
    PutCall put;
    std::vector<uint32_t> rootTags; // the roots it takes
};

TEST_F(PutSupport, EveryPutRefusesMissingArgumentsAndForeignRootsChangingNothing) {
    const auto initMesh = [](std::unique_ptr<Mesh3ds>* mesh) { InitMeshObj3ds(mesh, 0, 0, 0); };
    const std::vector<uint32_t> meshOrProject = {kTagMeshFile3ds, kTagProjectFile3ds};
    const PutCase cases[] = {
        {"material",
         Put(InitMaterial3ds, PutMaterial3ds),
         {kTagMeshFile3ds, kTagProjectFile3ds, kTagMaterialLibrary3ds}},
        {"mesh", Put<Mesh3ds>(initMesh, PutMesh3ds), meshOrProject},
        {"camera", Put(InitCamera3ds, PutCamera3ds), {kTagMeshFile3ds}},
        {"settings", Put(InitMeshSettings3ds, PutMeshSettings3ds), meshOrProject},
        {"background", Put(InitBackground3ds, PutBackground3ds), meshOrProject},
        {"viewport", Put(InitViewport3ds, PutViewport3ds), meshOrProject},
    };
    for (const PutCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<Database3ds> rootless;
        InitDatabase3ds(rootless);
        auto db = MakeDatabase();
        const std::unique_ptr<Chunk3ds> before = CopyTree(db->root.get());
        c.put(nullptr, true);
        c.put(db.get(), false);
        c.put(rootless.get(), true);
        EXPECT_EQ(RaisedErrors(), Codes({ERR_INVALID_ARG, ERR_INVALID_ARG, ERR_INVALID_DATABASE}));
        EXPECT_TRUE(SameTree(db->root.get(), before.get()));
        EXPECT_EQ(rootless->root, nullptr);

        for (int kind = kDatabaseMeshFile3ds; kind <= 4; ++kind) {
            ClearErrors3ds();
            auto target = MakeDatabase(static_cast<DatabaseKind3ds>(kind));
            const std::unique_ptr<Chunk3ds> untouched = CopyTree(target->root.get());
            const bool takes = std::ranges::count(c.rootTags, target->root->tag) > 0;
            c.put(target.get(), true);
            if (takes) {
                EXPECT_FALSE(ErrorPending3ds) << "kind " << kind;
            } else {
                EXPECT_EQ(RaisedErrors(), Codes({ERR_WRONG_DATABASE})) << "kind " << kind;
                EXPECT_TRUE(SameTree(target->root.get(), untouched.get()));
            }
        }
        ClearErrors3ds();
    }
}

// Each run fails one allocation while every kind of record is put into a new
// database and then put again over what the first puts made.
TEST_F(PutSupport, EveryAllocationFailureIsReported) {
    std::unique_ptr<Material3ds> material;
    InitMaterial3ds(&material);
    material->name = "Skin";
    material->textureMap.fileName = material->bumpMap.fileName = "skin.bmp";
    material->bumpMap.mapData = {1, 2, 3};
    material->autoReflect = true;
    std::unique_ptr<Mesh3ds> mesh;
    InitMeshObj3ds(&mesh, 3, 1, kMeshVertices3ds | kMeshTexVertices3ds | kMeshFaces3ds);
    mesh->name = "Hips";
    mesh->smoothGroups = {1};
    mesh->matGroupCount = 1;
    mesh->matGroups = {{"Skin", 1, {0}}};
    mesh->vertexFlagCount = 3;
    mesh->vertexFlags = {1, 2, 3};
    mesh->useMapInfo = mesh->useBoxMap = mesh->isHidden = true;
    mesh->procData = {1, 2};
    mesh->useProc = 1;
    std::unique_ptr<Camera3ds> camera;
    InitCamera3ds(&camera);
    camera->name = "Camera1";
    std::unique_ptr<MeshSettings3ds> settings;
    InitMeshSettings3ds(&settings);
    std::unique_ptr<Background3ds> background;
    InitBackground3ds(&background);
    background->backgroundType = kBackgroundGradient3ds;
    std::unique_ptr<Viewport3ds> viewport;
    InitViewport3ds(&viewport);
    viewport->cameraName = "Camera1";
    std::unique_ptr<Database3ds> db;
    const std::vector<std::function<void()>> puts = {
        [&] { PutMeshSettings3ds(db.get(), settings.get()); },
        [&] { PutBackground3ds(db.get(), background.get()); },
        [&] { PutCamera3ds(db.get(), camera.get()); },
        [&] { PutMaterial3ds(db.get(), material.get()); },
        [&] { PutMesh3ds(db.get(), mesh.get()); },
        [&] { PutViewport3ds(db.get(), viewport.get()); },
    };
    int meshStages = 0;
    const int failures = SweepAllocationFaults(
        [&] {
            ClearErrors3ds();
            db = MakeDatabase();
        },
        [&] {
            for (int round = 0; round < 2 * static_cast<int>(puts.size()) && !ErrorPending3ds;
                 ++round) {
                viewport->viewType = round < 6 ? kViewUser3ds : kViewCamera3ds;
                puts[round % puts.size()]();
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
