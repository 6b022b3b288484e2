#include "toolkit3ds/mesh_object.h"

#include "tests/support/tree_outline.h"
#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class MeshObject : public ToolkitTest {};

std::unique_ptr<Mesh3ds> NewMesh(const std::string& name, uint16_t vertexCount, uint16_t faceCount,
                                 uint32_t fields = 7) {
    std::unique_ptr<Mesh3ds> mesh;
    InitMeshObj3ds(&mesh, vertexCount, faceCount, fields);
    mesh->name = name;
    return mesh;
}

// Three vertices, one face in one material group, smoothing group 1.
std::unique_ptr<Mesh3ds> SmallMesh(const std::string& name) {
    auto mesh = NewMesh(name, 3, 1);
    mesh->smoothGroups = {1};
    mesh->matGroupCount = 1;
    mesh->matGroups = {{"Skin", 1, {0}}};
    return mesh;
}

TEST_F(MeshObject, FieldOperationsKeepElementsAndInitKeepsTheRecord) {
    auto mesh = NewMesh("Hips", 8, 3);
    ASSERT_FALSE(ErrorPending3ds);
    EXPECT_EQ(mesh->texVertices.size(), 8u); // texture vertices follow the vertices
    // Grown arrays keep their elements; new ones get the defaults; a count of 0 frees.
    mesh->faces[0] = {4, 5, 6, 7};
    mesh->faceCount = 4;
    mesh->texVertexCount = 0;
    InitMeshObjField3ds(mesh.get(), kMeshFaces3ds | kMeshTexVertices3ds);
    EXPECT_EQ(mesh->faces,
              (std::vector<Face3ds>{{4, 5, 6, 7}, {0, 1, 2, 0}, {0, 1, 2, 0}, {0, 1, 2, 0}}));
    EXPECT_TRUE(mesh->texVertices.empty());

    // Initialised again, the record keeps its other arrays and resizes vertices and faces.
    Mesh3ds* record = mesh.get();
    mesh->vertices[1] = {5, 6, 7};
    mesh->isHidden = true;
    mesh->smoothGroups = {1};
    InitMeshObj3ds(&mesh, 2, 1, 0);
    EXPECT_EQ(mesh.get(), record);
    EXPECT_FALSE(mesh->isHidden);
    EXPECT_EQ(mesh->vertices, (std::vector<Point3ds>{{0, 0, 0}, {5, 6, 7}}));
    EXPECT_EQ(mesh->smoothGroups, std::vector<uint32_t>{1});
    EXPECT_FALSE(ErrorPending3ds);
    InitMeshObj3ds(nullptr, 1, 1, 0);
    InitMeshObjField3ds(nullptr, kMeshVertices3ds);
    EXPECT_EQ(RaisedErrors(), (Codes{ERR_INVALID_ARG, ERR_INVALID_ARG}));
}

TEST_F(MeshObject, CenterMatrixUsesTheBoundingBox) {
    auto mesh = NewMesh("Hips", 4, 0, 0);
    // x spans the first two vertices; the top of y and the bottom of z come from the last.
    mesh->vertices = {{-2, 0, 0}, {8, 1, -1}, {1, 2, 1}, {0, 4, -6}};
    mesh->matrix.fill(9);
    CenterMeshMatrix3ds(mesh.get());
    EXPECT_EQ(mesh->matrix, (std::array<float, 12>{1, 0, 0, 0, 1, 0, 0, 0, 1, 3, 2, -2.5f}));
    EXPECT_EQ(mesh->vertices[1], (Point3ds{8, 1, -1}));

    // Without vertices the matrix stays as it is.
    mesh->matrix.fill(9);
    mesh->vertexCount = 0;
    CenterMeshMatrix3ds(mesh.get());
    mesh->vertexCount = 5; // more than the array holds
    CenterMeshMatrix3ds(mesh.get());
    CenterMeshMatrix3ds(nullptr);
    EXPECT_EQ(RaisedErrors(), (Codes{ERR_INVALID_DATA, ERR_INVALID_DATA, ERR_INVALID_ARG}));
    EXPECT_EQ(mesh->matrix[0], 9.0f);
}

// The converter's meshes are in the golden file; the refusals are in put_support_test.
TEST_F(MeshObject, SubChunksAndFlagsFollowTheirOrder) {
    auto mesh = SmallMesh("Full");
    mesh->vertexFlagCount = 3;
    mesh->vertexFlags = {1, 2, 3};
    mesh->useMapInfo = mesh->useBoxMap = true;
    mesh->procData = {9, 8, 7};
    mesh->procSize = 2;
    mesh->useProc = 1;
    mesh->isHidden = mesh->isVisLofter = mesh->isMatte = mesh->isNoCast = true;
    mesh->isFast = mesh->isNoReceiveShadow = mesh->isFrozen = true;
    auto db = MakeDatabase();
    PutMesh3ds(db.get(), mesh.get());
    ASSERT_FALSE(ErrorPending3ds);
    Chunk3ds* object = ObjectByName(*db, "Full");
    EXPECT_EQ(TreeOutline(object), "4000(4100(4110 4140 4170 4111 4160 4165 4120(4130 4150 4190) "
                                   "4181 4182) 4010 4011 4013 4012 4014 4017 4016 4015)");
    EXPECT_EQ(FindRecord<RawData3ds>(object, kTagProcedureData3ds)->bytes,
              (std::vector<uint8_t>{9, 8}));

    // Hidden and frozen only; useProc other than 1 writes no procedure flag.
    auto plain = SmallMesh("Plain");
    plain->isHidden = plain->isFrozen = true;
    plain->procData = {1};
    plain->useProc = 2;
    PutMesh3ds(db.get(), plain.get());
    EXPECT_EQ(ChildOutline(ObjectByName(*db, "Plain")), "4100 4010 4016");
}

TEST_F(MeshObject, CountsDecideWhatIsWritten) {
    auto db = MakeDatabase();
    auto noVertices = NewMesh("Empty", 0, 0);
    PutMesh3ds(db.get(), noVertices.get());
    EXPECT_EQ(TreeOutline(ObjectByName(*db, "Empty")), "4000(4100(4160 4165))");

    // Groups and smoothing groups without faces are not written.
    auto noFaces = SmallMesh("NoFaces");
    noFaces->faceCount = 0;
    noFaces->matGroupCount = 2;
    noFaces->matGroups.resize(2);
    noFaces->useBoxMap = true;
    PutMesh3ds(db.get(), noFaces.get());
    EXPECT_EQ(TreeOutline(ObjectByName(*db, "NoFaces")), "4000(4100(4110 4140 4160 4165))");

    // Arrays longer than their counts give only the counted elements.
    auto longer = NewMesh("Longer", 8, 2);
    longer->vertexCount = 5;
    longer->texVertexCount = 0;
    longer->faceCount = 1;
    longer->matGroupCount = 1;
    longer->matGroups = {{"Empty", 0, {3, 4}}, {"Unused", 0, {}}};
    longer->smoothGroups = {1, 2};
    PutMesh3ds(db.get(), longer.get());
    ASSERT_FALSE(ErrorPending3ds);
    Chunk3ds* object = ObjectByName(*db, "Longer");
    EXPECT_EQ(TreeOutline(object), "4000(4100(4110 4160 4165 4120(4130 4150)))");
    EXPECT_EQ(FindRecord<VertexListData3ds>(object, kTagVertexList3ds)->vertices.size(), 5u);
    EXPECT_EQ(FindRecord<FaceListData3ds>(object, kTagFaceList3ds)->faces.size(), 1u);
    EXPECT_EQ(FindRecord<SmoothGroupsData3ds>(object, kTagSmoothGroups3ds)->groups.size(), 1u);
    EXPECT_EQ(*FindRecord<MaterialGroupData3ds>(object, kTagMaterialGroup3ds),
              (MaterialGroupData3ds{"Empty", {}}));
}

TEST_F(MeshObject, FailedLookupReturnsWithItsError) {
    auto db = MakeDatabase();
    // An object whose name record would have to come from a file that is not open.
    Chunk3ds* object = AppendChunk(Editor(*db), kTagNamedObject3ds);
    object->data.reset();
    object->readFileIndex = 7;
    PutMesh3ds(db.get(), SmallMesh("Hips").get());
    EXPECT_EQ(RaisedErrors(), Codes{ERR_READING_FILE});
}

} // namespace
