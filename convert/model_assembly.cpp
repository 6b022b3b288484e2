#include "convert/model_assembly.h"

#include <memory>

#include "convert/body_parts.h"
#include "convert/conversion_context.h"
#include "convert/geometry.h"
#include "convert/part_mesh.h"
#include "convert/scene_setup.h"
#include "toolkit3ds/errors.h"
#include "toolkit3ds/mesh_object.h"

namespace {

inline constexpr double kOffsetScale = 10.0;
inline constexpr double kPi = 3.141592653589;
inline constexpr double kDegreesToTurns = 0.005555555555555556;         // 1 / 180
inline constexpr double kNegatedDegreesToTurns = -0.005555555555555556; // the x angle's factor

// The last two steps turn the assembled figure, which stands along +y, half
// round about Y and then up onto +z, the scene's up axis.
inline constexpr double kTurnAboutY = 3.141592653589;
inline constexpr double kTurnAboutX = -1.5707963267945;

// Widens each vertex to double, moves it through the matrix and stores it
// back as floats.
void TransformVertices(std::span<Point3ds> vertices, const AffineMatrix& matrix) {
    for (Point3ds& vertex : vertices) {
        const Vec3d point = {vertex.x, vertex.y, vertex.z};
        Vec3d moved;
        TransformPoint(point, matrix, moved);
        vertex = {static_cast<float>(moved.x), static_cast<float>(moved.y),
                  static_cast<float>(moved.z)};
    }
}

void RotateVertices(std::span<Point3ds> vertices, Axis axis, double angle) {
    AffineMatrix matrix;
    SetRotation(matrix, axis, angle);
    TransformVertices(vertices, matrix);
}

} // namespace

// clang-format off
const std::array<PoseRecord, 36> kPoseTable = {{
    //  offset x       y      z      angle x   y    z
    {   0.0,  -0.2,         0.0,     180, 0,   0},  // 0 Hips
    {  -0.4,  -0.48,        0.0,     185, 0,  15},  // 1 L Thigh
    {  -0.75, -2.2,        -0.2,     175, 0,  14},  // 2 L Calf
    {   1.25, -3.99999999,  0.05,    180, 0,   0},  // 3 L Foot
    {   0.4,  -0.48,        0.0,     185, 0, -15},  // 4 R Thigh
    {   0.75, -2.2,        -0.1,     175, 0, -14},  // 5 R Calf
    {  -1.18, -3.99999999,  0.05,    180, 0,   0},  // 6 R Foot
    {   0.0,   0.3,        -0.1,     180, 0,   0},  // 7 Torso
    {   0.5,   1.7,         0.0,     175, 0, -35},  // 8 R UpperArm
    {   1.2,   1.0,         0.1,     195, 0,  25},  // 9 R Forearm
    {   0.78,  0.12,       -0.18,    180, 0,   0},  // 10 R Hand
    {  -0.5,   1.7,         0.0,     175, 0,  35},  // 11 L UpperArm
    {  -1.2,   1.0,         0.1,     195, 0, -25},  // 12 L Forearm
    {  -0.78,  0.12,       -0.18,    180, 0,   0},  // 13 L Hand
    {   0.05,  2.29,        0.2,     180, 0,   0},  // 14 Head
    {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {},  // 15..29 unused
    {   0.0,   2.35,        0.72,     70, 0,   0},  // 30 Ptail Top
    {   0.0,   1.9,         0.89,     90, 0,   0},  // 31 Ptail 2
    {   0.0,   1.4,         0.89,     90, 0,   0},  // 32 Ptail 3
    {   0.0,   0.9,         0.89,     90, 0,   0},  // 33 Ptail 4
    {   0.0,   0.5,         0.89,     90, 0,   0},  // 34 Ptail 5
    {   0.0,   0.2,         0.89,     85, 0,   0},  // 35 Ptail Bot
}};
// clang-format on

PoseRecord ConvertPose(const PoseRecord& given) {
    PoseRecord pose;
    pose.offsetX = given.offsetX * kOffsetScale;
    pose.offsetY = given.offsetY * kOffsetScale;
    pose.offsetZ = given.offsetZ * kOffsetScale;
    pose.angleX = given.angleX * kPi * kNegatedDegreesToTurns;
    pose.angleY = given.angleY * kPi * kDegreesToTurns;
    pose.angleZ = given.angleZ * kPi * kDegreesToTurns;
    return pose;
}

void PoseVertices(std::span<Point3ds> vertices, const PoseRecord& pose) {
    RotateVertices(vertices, Axis::kX, pose.angleX);
    RotateVertices(vertices, Axis::kY, pose.angleY);
    RotateVertices(vertices, Axis::kZ, pose.angleZ);
    for (Point3ds& vertex : vertices) {
        vertex = {static_cast<float>(vertex.x + pose.offsetX),
                  static_cast<float>(vertex.y + pose.offsetY),
                  static_cast<float>(vertex.z + pose.offsetZ)};
    }
    RotateVertices(vertices, Axis::kY, kTurnAboutY);
    RotateVertices(vertices, Axis::kX, kTurnAboutX);
}

AffineMatrix PoseMatrix(const PoseRecord& pose) {
    AffineMatrix step;
    AffineMatrix matrix;
    SetRotation(matrix, Axis::kX, pose.angleX);
    SetRotation(step, Axis::kY, pose.angleY);
    matrix = Compose(step, matrix);
    SetRotation(step, Axis::kZ, pose.angleZ);
    matrix = Compose(step, matrix);
    matrix.m[9] += pose.offsetX;
    matrix.m[10] += pose.offsetY;
    matrix.m[11] += pose.offsetZ;
    SetRotation(step, Axis::kY, kTurnAboutY);
    matrix = Compose(step, matrix);
    SetRotation(step, Axis::kX, kTurnAboutX);
    return Compose(step, matrix);
}

void ConvertModel(ConversionContext& context, Database3ds* db) {
    PutSceneSettings(db);
    if (ErrorPending3ds) {
        return;
    }

    std::array<PoseRecord, kPoseTable.size()> poses;
    for (size_t i = 0; i < kPoseTable.size(); ++i) {
        poses[i] = ConvertPose(kPoseTable[i]);
    }

    for (uint32_t part = 0; part < kBodyParts.size(); ++part) {
        const uint32_t meshNumber = kBodyParts[part].meshNumber;
        std::unique_ptr<Mesh3ds> mesh;
        if (!BuildPartMesh(context, db, context.level.meshes[meshNumber], part, &mesh)) {
            return;
        }
        // Unchecked: a part without vertices raises ERR_INVALID_DATA here,
        // which the check after the put reports.
        CenterMeshMatrix3ds(mesh.get());
        PoseVertices(std::span(mesh->vertices).first(mesh->vertexCount), poses[meshNumber]);
        // The origin (the last three values) goes to 0; the identity axes stay.
        mesh->matrix[9] = 0.0f;
        mesh->matrix[10] = 0.0f;
        mesh->matrix[11] = 0.0f;
        PutMesh3ds(db, mesh.get());
        if (ErrorPending3ds) {
            return;
        }
        ReleaseMeshObj3ds(&mesh);
        if (ErrorPending3ds) {
            return;
        }
    }

    PutCameraViewport(db);
}
