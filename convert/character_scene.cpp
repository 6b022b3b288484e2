#include "convert/character_scene.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>

#include "convert/body_parts.h"
#include "convert/conversion_context.h"
#include "convert/geometry.h"
#include "convert/materials.h"
#include "convert/model_assembly.h"
#include "convert/part_mesh.h"
#include "convert/texture_bitmaps.h"
#include "level/animation_decoder.h"
#include "toolkit3ds/errors.h"
#include "toolkit3ds/material.h"

namespace {

inline constexpr double kPi = 3.14159265358979323846;
// Model units are tenths of level units.
inline constexpr double kMetresPerModelUnit = kMetresPerLevelUnit / 0.1;
inline constexpr size_t kHeadPart = 14;
inline constexpr size_t kFirstPonytailPart = 15;

// Level to scene axes: a half turn about z. Its own inverse.
constexpr AffineMatrix kLevelAxes = {{-1, 0, 0, 0, -1, 0, 0, 0, 1, 0, 0, 0}};
// 3DS (X, Y, Z) to scene axes (X, Z, -Y).
constexpr AffineMatrix k3dsAxes = {{1, 0, 0, 0, 0, 1, 0, -1, 0, 0, 0, 0}};

std::array<double, 4> Normalised(const std::array<double, 4>& q) {
    const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    return {q[0] / length, q[1] / length, q[2] / length, q[3] / length};
}

// The unit quaternion (x, y, z, w) of the rotation part of a rigid transform.
std::array<double, 4> QuaternionOf(const AffineMatrix& matrix) {
    const auto& m = matrix.m;
    const double trace = m[0] + m[4] + m[8];
    std::array<double, 4> q;
    if (trace > 0) {
        const double s = std::sqrt(trace + 1.0) * 2;
        q = {(m[7] - m[5]) / s, (m[2] - m[6]) / s, (m[3] - m[1]) / s, 0.25 * s};
    } else if (m[0] > m[4] && m[0] > m[8]) {
        const double s = std::sqrt(1.0 + m[0] - m[4] - m[8]) * 2;
        q = {0.25 * s, (m[1] + m[3]) / s, (m[2] + m[6]) / s, (m[7] - m[5]) / s};
    } else if (m[4] > m[8]) {
        const double s = std::sqrt(1.0 + m[4] - m[0] - m[8]) * 2;
        q = {(m[1] + m[3]) / s, 0.25 * s, (m[5] + m[7]) / s, (m[2] - m[6]) / s};
    } else {
        const double s = std::sqrt(1.0 + m[8] - m[0] - m[4]) * 2;
        q = {(m[2] + m[6]) / s, (m[5] + m[7]) / s, 0.25 * s, (m[3] - m[1]) / s};
    }
    return Normalised(q);
}

// Where the fixed pose puts part p's vertices, in scene axes: the vertex
// stored at (-x, -y, z) * s for level vertex (x, y, z) goes where the 3DS
// figure has it. The stored vertices are in metres already, so only the
// pose's offset is scaled.
AffineMatrix RestWorld(size_t part) {
    AffineMatrix pose = PoseMatrix(ConvertPose(kPoseTable[kBodyParts[part].meshNumber]));
    for (size_t i = 9; i < 12; ++i) {
        pose.m[i] *= kMetresPerModelUnit;
    }
    return Compose(k3dsAxes, Compose(pose, kLevelAxes));
}

// `child` relative to `parent`, both rigid: parent's inverse, then child.
AffineMatrix Relative(const AffineMatrix& parent, const AffineMatrix& child) {
    const auto& m = parent.m;
    AffineMatrix inverse = {{m[0], m[3], m[6], m[1], m[4], m[7], m[2], m[5], m[8], 0, 0, 0}};
    Vec3d origin;
    TransformPoint({m[9], m[10], m[11]}, inverse, origin);
    inverse.m[9] = -origin.x;
    inverse.m[10] = -origin.y;
    inverse.m[11] = -origin.z;
    return Compose(inverse, child);
}

// A level position or offset in scene axes and metres.
Float3 ScenePoint(double x, double y, double z) {
    return {static_cast<float>(-x * kMetresPerLevelUnit),
            static_cast<float>(-y * kMetresPerLevelUnit),
            static_cast<float>(z * kMetresPerLevelUnit)};
}

Float3 UnitVector(const std::array<double, 3>& v) {
    const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length == 0) {
        return {0, 0, 0};
    }
    return {static_cast<float>(v[0] / length), static_cast<float>(v[1] / length),
            static_cast<float>(v[2] / length)};
}

bool IsZero(const Float3& v) {
    return v[0] == 0 && v[1] == 0 && v[2] == 0;
}

// Level normals mapped like positions; a zero or missing normal takes the
// normal of a face that uses its vertex, or +Y when no face with an area does.
std::vector<Float3> SceneNormals(const MeshRecord& levelMesh, const Mesh3ds& record,
                                 const std::vector<uint16_t>& levelVertices,
                                 const std::vector<Float3>& positions) {
    std::vector<Float3> normals(positions.size());
    bool zero = false;
    for (size_t i = 0; i < normals.size(); ++i) {
        // The level checks cover only the normals that decide a face's winding.
        if (levelVertices[i] < levelMesh.normals.size()) {
            const Vertex16& n = levelMesh.normals[levelVertices[i]];
            normals[i] = UnitVector(
                {-static_cast<double>(n.x), -static_cast<double>(n.y), static_cast<double>(n.z)});
        }
        zero = zero || IsZero(normals[i]);
    }
    if (!zero) {
        return normals;
    }
    for (const Face3ds& face : record.faces) {
        const std::array<uint16_t, 3> corners = {face.vertexA, face.vertexB, face.vertexC};
        std::array<double, 3> edge1, edge2;
        for (size_t i = 0; i < 3; ++i) {
            edge1[i] = double{positions[corners[1]][i]} - positions[corners[0]][i];
            edge2[i] = double{positions[corners[2]][i]} - positions[corners[0]][i];
        }
        const Float3 faceNormal = UnitVector({edge1[1] * edge2[2] - edge1[2] * edge2[1],
                                              edge1[2] * edge2[0] - edge1[0] * edge2[2],
                                              edge1[0] * edge2[1] - edge1[1] * edge2[0]});
        for (const uint16_t corner : corners) {
            if (IsZero(normals[corner])) {
                normals[corner] = faceNormal;
            }
        }
    }
    for (Float3& normal : normals) {
        if (IsZero(normal)) {
            normal = {0, 1, 0};
        }
    }
    return normals;
}

// The material of a group, added to the scene on first use.
uint32_t SceneMaterialIndex(ConversionContext& context, CharacterScene& scene,
                            const std::string& name, bool textured, uint32_t number) {
    for (uint32_t i = 0; i < scene.materials.size(); ++i) {
        if (scene.materials[i].name == name) {
            return i;
        }
    }
    SceneMaterial material;
    material.name = name;
    if (textured) {
        // Cut already, while the faces were built.
        const TextureArea& area = *GetTextureArea(context, number, kQuadArea);
        material.width = static_cast<uint32_t>(area.width);
        material.height = static_cast<uint32_t>(area.height);
        material.rgb = TextureAreaRgb(area);
    } else {
        const ColorFloatData3ds diffuse =
            ColourMaterialDiffuse(context.level.palette[static_cast<uint8_t>(number)]);
        const auto linear = [](float component) {
            const double srgb = ColorByte3ds(component) / 255.0;
            const double value =
                srgb <= 0.04045 ? srgb / 12.92 : std::pow((srgb + 0.055) / 1.055, 2.4);
            return static_cast<float>(value);
        };
        material.linearColour = {linear(diffuse.red), linear(diffuse.green), linear(diffuse.blue)};
    }
    scene.materials.push_back(std::move(material));
    return static_cast<uint32_t>(scene.materials.size() - 1);
}

// The part's mesh in its node's frame, from the 3DS path's record.
SceneMesh MakeSceneMesh(ConversionContext& context, CharacterScene& scene,
                        const MeshRecord& levelMesh, const Mesh3ds& record,
                        const std::vector<uint16_t>& levelVertices) {
    SceneMesh mesh;
    mesh.positions.reserve(record.vertexCount);
    for (size_t i = 0; i < record.vertexCount; ++i) {
        const Vertex16& v = levelMesh.vertices[levelVertices[i]];
        mesh.positions.push_back(ScenePoint(v.x, v.y, v.z));
    }
    if (!levelMesh.normalsAreLightValues) {
        mesh.normals = SceneNormals(levelMesh, record, levelVertices, mesh.positions);
    }
    const size_t textureGroups = context.usedTextures.size();
    if (textureGroups > 0) {
        mesh.texCoords.reserve(record.vertexCount);
        for (size_t i = 0; i < record.vertexCount; ++i) {
            mesh.texCoords.push_back({record.texVertices[i].u, 1.0f - record.texVertices[i].v});
        }
    }
    for (size_t g = 0; g < record.matGroups.size(); ++g) {
        const MatGroup3ds& group = record.matGroups[g];
        const bool textured = g < textureGroups;
        const uint32_t number =
            textured ? context.usedTextures[g] : context.usedColours[g - textureGroups];
        ScenePrimitive primitive;
        primitive.material = SceneMaterialIndex(context, scene, group.name, textured, number);
        for (const uint16_t f : group.faces) {
            const Face3ds& face = record.faces[f];
            primitive.indices.insert(primitive.indices.end(),
                                     {face.vertexA, face.vertexB, face.vertexC});
        }
        mesh.primitives.push_back(std::move(primitive));
    }
    return mesh;
}

bool HasFaces(const MeshRecord& mesh) {
    return !mesh.texturedQuads.empty() || !mesh.texturedTriangles.empty() ||
           !mesh.colouredQuads.empty() || !mesh.colouredTriangles.empty();
}

// The rotation of a joint in scene axes: C * Ry(y) * Rx(x) * Rz(z) * C.
Float4 JointRotation(const JointAngles& angles) {
    const auto half = [](uint16_t units) { return units * kPi / kAngleUnitsPerTurn; };
    const double hx = half(angles.x), hy = half(angles.y), hz = half(angles.z);
    const double sx = std::sin(hx), cx = std::cos(hx);
    const double sy = std::sin(hy), cy = std::cos(hy);
    const double sz = std::sin(hz), cz = std::cos(hz);
    // qy * qx, then * qz.
    const std::array<double, 4> yx = {cy * sx, sy * cx, -sy * sx, cy * cx};
    const std::array<double, 4> q = {yx[0] * cz + yx[1] * sz, yx[1] * cz - yx[0] * sz,
                                     yx[3] * sz + yx[2] * cz, yx[3] * cz - yx[2] * sz};
    // Conjugating by the half turn about z negates x and y.
    const std::array<double, 4> n = Normalised({-q[0], -q[1], q[2], q[3]});
    return {static_cast<float>(n[0]), static_cast<float>(n[1]), static_cast<float>(n[2]),
            static_cast<float>(n[3])};
}

SceneAnimation MakeSceneAnimation(const DecodedAnimation& decoded) {
    SceneAnimation animation;
    char name[16];
    std::snprintf(name, sizeof name, "Anim %03u", static_cast<unsigned>(decoded.index));
    animation.name = name;
    const size_t count = decoded.keyframes.size();
    animation.times.reserve(count);
    animation.rootTranslations.reserve(count);
    for (auto& rotations : animation.rotations) {
        rotations.reserve(count);
    }
    for (size_t k = 0; k < count; ++k) {
        const Keyframe& keyframe = decoded.keyframes[k];
        animation.times.push_back(
            static_cast<float>(double(k) * decoded.frameRate / kGameFramesPerSecond));
        animation.rootTranslations.push_back(
            ScenePoint(keyframe.rootOffset[0], keyframe.rootOffset[1], keyframe.rootOffset[2]));
        for (size_t j = 0; j < kSkeletonMeshCount; ++j) {
            animation.rotations[j].push_back(JointRotation(keyframe.angles[j]));
        }
    }
    return animation;
}

// The parent node of each part's node.
std::array<int32_t, kBodyPartCount> PartParents(const std::optional<PlayerSkeleton>& skeleton) {
    std::array<int32_t, kBodyPartCount> parents;
    parents.fill(0);
    if (skeleton) {
        for (size_t part = 1; part < kSkeletonMeshCount; ++part) {
            // Body parts 0-14 are meshes 0-14, so the mesh number is the part number.
            parents[part] = skeleton->joints[part].parent + 1;
        }
        for (size_t part = kFirstPonytailPart; part < kBodyPartCount; ++part) {
            parents[part] =
                static_cast<int32_t>(part == kFirstPonytailPart ? kHeadPart : part - 1) + 1;
        }
    }
    return parents;
}

bool BuildScene(ConversionContext& context, CharacterScene& scene) {
    const SkeletonResult skeleton = DecodePlayerSkeleton(context.level);
    if (!skeleton.skeleton) {
        scene.warnings.push_back("no usable skeleton (" + skeleton.problem +
                                 "): every part hangs below the root and there are no animations");
    }
    const std::array<int32_t, kBodyPartCount> parents = PartParents(skeleton.skeleton);

    scene.nodes.resize(kBodyPartCount + 1);
    scene.nodes[0].name = kSceneRootName;
    std::array<AffineMatrix, kBodyPartCount + 1> worlds;
    SetIdentity(worlds[0]);
    for (size_t part = 0; part < kBodyPartCount; ++part) {
        SceneNode& node = scene.nodes[part + 1];
        node.name = kBodyParts[part].name;
        node.parent = parents[part];
        worlds[part + 1] = RestWorld(part);
        const AffineMatrix local = Relative(worlds[node.parent], worlds[part + 1]);
        node.translation = {local.m[9], local.m[10], local.m[11]};
        node.rotation = QuaternionOf(local);

        MeshRecord& levelMesh = context.level.meshes[kBodyParts[part].meshNumber];
        if (!HasFaces(levelMesh)) {
            continue;
        }
        std::unique_ptr<Mesh3ds> record;
        std::vector<uint16_t> levelVertices;
        if (!BuildPartMesh(context, nullptr, levelMesh, static_cast<uint32_t>(part), &record,
                           &levelVertices)) {
            return false;
        }
        node.mesh = MakeSceneMesh(context, scene, levelMesh, *record, levelVertices);
        ReleaseMeshObj3ds(&record);
        if (ErrorPending3ds) {
            return false;
        }
    }

    if (!skeleton.skeleton) {
        return true;
    }
    for (size_t j = 0; j < kSkeletonMeshCount; ++j) {
        const std::array<int32_t, 3>& offset = skeleton.skeleton->joints[j].offset;
        scene.jointTranslations[j] = ScenePoint(offset[0], offset[1], offset[2]);
    }
    AnimationDecodeResult decoded = DecodePlayerAnimations(context.level, *skeleton.skeleton);
    for (std::string& warning : decoded.warnings) {
        scene.warnings.push_back(std::move(warning));
    }
    for (const DecodedAnimation& animation : decoded.animations) {
        scene.animations.push_back(MakeSceneAnimation(animation));
    }
    return true;
}

} // namespace

bool BuildCharacterScene(ConversionContext& context, CharacterScene& scene) {
    context.writeBitmaps = false;
    try {
        return BuildScene(context, scene);
    } catch (const std::bad_alloc&) {
        RecordFailure(context, "building the glTF scene", ENOMEM);
        return false;
    }
}
