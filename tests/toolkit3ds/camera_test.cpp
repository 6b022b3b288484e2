#include "toolkit3ds/camera.h"

#include "tests/support/tree_outline.h"
#include "toolkit3ds/errors.h"
#include "toolkit3ds/mesh_object.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class Camera : public ToolkitTest {};

// The camera as the converter puts it.
std::unique_ptr<Camera3ds> ConverterCamera() {
    std::unique_ptr<Camera3ds> camera;
    InitCamera3ds(&camera);
    camera->name = "Camera1";
    camera->position = {-38, -80, 25};
    camera->target = {0, 0, 0};
    camera->fov = 60;
    camera->showCone = true;
    camera->nearRange = 40;
    camera->farRange = 90;
    return camera;
}

void PutNamedMesh(Database3ds& db, const char* name) {
    std::unique_ptr<Mesh3ds> mesh;
    InitMeshObj3ds(&mesh, 0, 0, 0);
    mesh->name = name;
    PutMesh3ds(&db, mesh.get());
}

TEST_F(Camera, ConverterCameraHasExactBytes) {
    auto db = MakeDatabase();
    PutCamera3ds(db.get(), ConverterCamera().get());
    ASSERT_FALSE(ErrorPending3ds);
    EXPECT_EQ(EncodeChunk(ObjectByName(*db, "Camera1")),
              Hex("0040 48000000 43616D65726131 00"    // object "Camera1", 72 bytes
                  "0047 3A000000"                      // camera
                  "000018C2 0000A0C2 0000C841"         // position -38, -80, 25
                  "00000000 00000000 00000000"         // target 0, 0, 0
                  "00000000 00002042"                  // roll 0, focal length 2400 / 60 = 40
                  "1047 06000000"                      // cone shown
                  "2047 0E000000 00002042 0000B442")); // ranges 40, 90
}

TEST_F(Camera, SameNameEmptiesTheOldObjectAndAddsAfterTheLast) {
    auto db = MakeDatabase();
    PutNamedMesh(*db, "Camera1");
    PutNamedMesh(*db, "Hips");
    Chunk3ds* old = ObjectByName(*db, "Camera1");
    AppendChunk(FindChunk(old, kTagTriangleMesh3ds), kTagExtraData3ds);

    PutCamera3ds(db.get(), ConverterCamera().get());
    ASSERT_FALSE(ErrorPending3ds);
    Chunk3ds* section = Editor(*db);
    EXPECT_EQ(ChildOutline(section), "3D3E 0000 4000 4000");
    EXPECT_EQ(Children(section)[1], old);
    EXPECT_EQ(old->child, nullptr);
    EXPECT_EQ(old->data, nullptr);
    Chunk3ds* camera = ObjectByName(*db, "Camera1");
    EXPECT_EQ(Children(section)[3], camera);
    EXPECT_EQ(TreeOutline(camera), "4000(4700(4710 4720 8000))");

    // A second put of the camera empties the first one the same way.
    PutCamera3ds(db.get(), ConverterCamera().get());
    EXPECT_EQ(Children(section).back()->tag, kTagNamedObject3ds);
    EXPECT_EQ(camera->tag, kTagNone3ds);
    EXPECT_EQ(TreeOutline(ObjectByName(*db, "Camera1")), "4000(4700(4710 4720 8000))");
}

// The checks shared by every put are tested in put_support_test.
TEST_F(Camera, RefusedPutsChangeNothing) {
    auto db = MakeDatabase();
    PutNamedMesh(*db, "Camera1");
    const std::unique_ptr<Chunk3ds> before = CopyTree(db->root.get());
    auto zeroFov = ConverterCamera();
    zeroFov->fov = -0.0f;
    auto longName = ConverterCamera();
    longName->name = "Elevenchars";
    ASSERT_FALSE(ErrorPending3ds);

    PutCamera3ds(db.get(), zeroFov.get());
    PutCamera3ds(db.get(), longName.get());
    InitCamera3ds(nullptr);
    EXPECT_EQ(RaisedErrors(),
              (std::vector<int32_t>{ERR_INVALID_DATA, ERR_STRING_TOO_LONG, ERR_INVALID_ARG}));
    EXPECT_TRUE(SameTree(db->root.get(), before.get()));
}

} // namespace
