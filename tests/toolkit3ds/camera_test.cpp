#include "toolkit3ds/camera.h"

#include "tests/support/tree_outline.h"
#include "toolkit3ds/errors.h"
#include "toolkit3ds/mesh_object.h"

#include <gtest/gtest.h>

namespace {

class Camera : public ToolkitTest {};

// What the camera writes is in the golden file; the refusals are in put_support_test.
TEST_F(Camera, PutEmptiesTheObjectOfItsNameAndAddsItBehindTheLast) {
    auto db = MakeDatabase();
    for (const char* name : {"Camera1", "Hips"}) {
        std::unique_ptr<Mesh3ds> mesh;
        InitMeshObj3ds(&mesh, 0, 0, 0);
        mesh->name = name;
        PutMesh3ds(db.get(), mesh.get());
    }
    AppendChunk(FindChunk(ObjectByName(*db, "Camera1"), kTagTriangleMesh3ds), kTagExtraData3ds);
    std::unique_ptr<Camera3ds> camera;
    InitCamera3ds(&camera);
    camera->name = "Camera1";
    camera->showCone = true;

    PutCamera3ds(db.get(), camera.get());
    ASSERT_FALSE(ErrorPending3ds);
    EXPECT_EQ(TreeOutline(Editor(*db)), "3D3D(3D3E 0000 4000(4100(4160 4165)) "
                                        "4000(4700(4710 4720 8000)))");
    EXPECT_EQ(Children(Editor(*db)).back(), ObjectByName(*db, "Camera1"));

    // A second put empties the first camera the same way, extra data and all.
    PutCamera3ds(db.get(), camera.get());
    EXPECT_EQ(ChildOutline(Editor(*db)), "3D3E 0000 4000 0000 4000");
    EXPECT_EQ(TreeOutline(ObjectByName(*db, "Camera1")), "4000(4700(4710 4720 8000))");
    EXPECT_FALSE(ErrorPending3ds);
}

} // namespace
