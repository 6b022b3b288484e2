#include "tools/scenebuilder/every_layout_scene.h"

#include "toolkit3ds/errors.h"

#include <string>
#include <utility>
#include <vector>

namespace {

// Tags the toolkit does not know; their bytes are kept as they are.
constexpr ChunkTag3ds kUnknownTag = 0x1234;
constexpr ChunkTag3ds kUnknownEmptyTag = 0x2345;

// A chunk of a container or flag tag, behind the parent's children.
Chunk3ds* Add(Chunk3ds* parent, ChunkTag3ds tag) {
    std::unique_ptr<Chunk3ds> chunk;
    NewChunkWithTag3ds(&chunk, tag);
    return AppendChild3ds(parent, std::move(chunk));
}

// A chunk of a data tag holding the record, behind the parent's children.
template <typename Layout> Chunk3ds* Add(Chunk3ds* parent, ChunkTag3ds tag, Layout record) {
    std::unique_ptr<Chunk3ds> chunk;
    if (auto* data = GetChunkData3ds<Layout>(NewChunkAndData3ds(&chunk, tag))) {
        *data = std::move(record);
    }
    return AppendChild3ds(parent, std::move(chunk));
}

Chunk3ds* AddText(Chunk3ds* parent, ChunkTag3ds tag, std::string text) {
    return Add(parent, tag, StringData3ds{std::move(text)});
}

// Raw bytes under a tag the table does not know: they are written as many as
// the chunk's size gives.
void AddUnknown(Chunk3ds* parent, ChunkTag3ds tag, std::vector<uint8_t> bytes) {
    std::unique_ptr<Chunk3ds> chunk;
    NewChunkWithTag3ds(&chunk, tag);
    if (chunk == nullptr) {
        return;
    }
    chunk->size = static_cast<uint32_t>(kChunkHeaderSize3ds + bytes.size());
    chunk->data = std::make_unique<ChunkData3ds>(RawData3ds{std::move(bytes)});
    AppendChild3ds(parent, std::move(chunk));
}

void AddColors(Chunk3ds* parent, ColorFloatData3ds color) {
    Add(parent, kTagColorFloat3ds, color);
    Add(parent, kTagLinColorFloat3ds, ColorFloatData3ds{color.blue, color.green, color.red});
}

// Keys at frames 0, 10, 20, ... with spline flags that take none, all and two
// of the five floats.
template <typename Value> TrackData3ds<Value> Track(std::vector<Value> values) {
    constexpr uint16_t kSplineFlags[] = {0, 0x1F, kSplineTension3ds | kSplineBias3ds};
    TrackData3ds<Value> track;
    track.flags = 0x0040;
    track.reserved1 = 7;
    track.reserved2 = 9;
    for (size_t i = 0; i < values.size(); ++i) {
        TrackKey3ds<Value> key;
        key.header.time = static_cast<uint32_t>(10 * i);
        key.header.splineFlags = kSplineFlags[i % 3];
        const float base = static_cast<float>(i) + 0.5f;
        const uint16_t flags = key.header.splineFlags;
        key.header.tension = (flags & kSplineTension3ds) != 0 ? base : 0;
        key.header.continuity = (flags & kSplineContinuity3ds) != 0 ? -base : 0;
        key.header.bias = (flags & kSplineBias3ds) != 0 ? base * 2 : 0;
        key.header.easeTo = (flags & kSplineEaseTo3ds) != 0 ? 0.25f : 0;
        key.header.easeFrom = (flags & kSplineEaseFrom3ds) != 0 ? 0.75f : 0;
        key.value = values[i];
        track.keys.push_back(std::move(key));
    }
    return track;
}

struct NodeRow {
    ChunkTag3ds tag;
    const char* name;
    const char* instance;   // object nodes only; none for the others
    const char* parentName; // a parent-name note, or none
    uint16_t parentNumber;  // kept in the header when parentName is none
};

// A keyframer node with its number, header, instance and parent link.
Chunk3ds* AddNode(Chunk3ds* keyframer, const NodeRow& row, uint16_t number) {
    Chunk3ds* node = Add(keyframer, row.tag);
    Add(node, kTagNodeId3ds, WordData3ds{number});
    Chunk3ds* header = Add(node, kTagNodeHeader3ds,
                           NodeHeaderData3ds{row.name, 0x4000, 0x0001, row.parentNumber});
    if (row.parentName != nullptr) {
        AddText(header, kTagParentName3ds, row.parentName);
    } else if (row.parentNumber != 0xFFFF) {
        // A note without text: the numbering keeps the header's parent number.
        Add(header, kTagParentName3ds);
    }
    if (row.instance != nullptr) {
        AddText(node, kTagInstanceName3ds, row.instance);
    }
    return node;
}

void AddEditorSettings(Chunk3ds* editor) {
    Add(editor, kTagMasterScale3ds, FloatData3ds{2.5f});
    AddText(editor, kTagBackgroundBitmap3ds, "sky.bmp");
    Add(editor, kTagUseBackgroundBitmap3ds);
    AddColors(Add(editor, kTagSolidBackground3ds), {0.1f, 0.2f, 0.3f});
    Chunk3ds* gradient = Add(editor, kTagGradientBackground3ds, FloatData3ds{0.4f});
    AddColors(gradient, {1, 0, 0});
    AddColors(gradient, {0, 1, 0});
    AddColors(gradient, {0, 0, 1});
    Add(editor, kTagUseGradientBackground3ds);
    Add(editor, kTagShadowMapBias3ds, FloatData3ds{1.5f});
    Add(editor, kTagShadowMapSize3ds, ShortData3ds{512});
    Add(editor, kTagShadowRange3ds, LongData3ds{-70000});
    Add(editor, kTagConstantsPoint3ds, PointData3ds{{1, -2, 3}});
    AddColors(Add(editor, kTagAmbientLight3ds), {0.25f, 0.5f, 0.75f});
    AddColors(Add(editor, kTagFog3ds, FogData3ds{1, 0.1f, 100, 0.9f}), {0.5f, 0.5f, 0.5f});
    Add(editor, kTagDistanceCue3ds, FogData3ds{2, 0.2f, 200, 0.8f});
    Add(editor, kTagLayeredFog3ds, LayeredFogData3ds{-1, 5, 0.5f, 0x80000003u});

    Chunk3ds* view = Add(editor, kTagDefaultView3ds);
    Add(view, kTagTopView3ds, OrthoViewData3ds{{1, 2, 3}, 100});
    Add(view, kTagUserView3ds, UserViewData3ds{{4, 5, 6}, 200, 20, 30, 45});
    AddText(view, kTagCameraView3ds, "Camera1");

    Chunk3ds* layout =
        Add(editor, kTagViewportLayout3ds, ViewportLayoutData3ds{{0, 0, 1, 0, 2, 0, 3}});
    Add(layout, kTagViewportSize3ds, ViewportSizeData3ds{1, 2, 640, 480});
    const ViewportEntryData3ds entry{{1, 0}, 1,         2,  640, 480,      0xFFFF,
                                     0.75f,  {1, 1, 1}, 20, 30,  "Camera1"};
    Add(layout, kTagViewportEntryDefault3ds, entry);
    Add(layout, kTagViewportEntry3ds, entry);
}

void AddMaterial(Chunk3ds* editor) {
    Chunk3ds* material = Add(editor, kTagMaterial3ds);
    AddText(material, kTagMaterialName3ds, "Checker");
    Chunk3ds* ambient = Add(material, kTagMatAmbient3ds);
    Add(ambient, kTagColorByte3ds, ColorByteData3ds{10, 20, 30});
    Add(ambient, kTagLinColorByte3ds, ColorByteData3ds{11, 21, 31});
    AddColors(Add(material, kTagMatDiffuse3ds), {0.9f, 0.8f, 0.7f});
    Add(Add(material, kTagMatShininess3ds), kTagPercentInt3ds, ShortData3ds{45});
    Add(Add(material, kTagMatShininessStrength3ds), kTagPercentFloat3ds, FloatData3ds{12.5f});
    Add(material, kTagMatTwoSided3ds);
    Add(material, kTagMatWireThickness3ds, FloatData3ds{1.25f});
    Add(material, kTagMatShading3ds, ShortData3ds{3});

    Chunk3ds* texture = Add(material, kTagTextureMap3ds);
    Add(texture, kTagPercentInt3ds, ShortData3ds{100});
    AddText(texture, kTagMapFileName3ds, "check.bmp");
    Add(texture, kTagMapTiling3ds, WordData3ds{0x0120});
    Add(texture, kTagMapBlur3ds, FloatData3ds{0.1f});
    Add(texture, kTagMapUScale3ds, FloatData3ds{2});
    Add(texture, kTagMapTint1Color3ds, ColorByteData3ds{255, 128, 0});
    Add(texture, kTagTextureMapData3ds, RawData3ds{{1, 2, 3, 0, 255}});
    Chunk3ds* bump = Add(material, kTagBumpMap3ds);
    Add(bump, kTagMatBumpAmount3ds, ShortData3ds{-12});
    AddText(bump, kTagMapFileName3ds, "bump.bmp");
    Add(bump, kTagBumpMapData3ds, RawData3ds{{9, 8, 7}});
    Add(material, kTagMatAutoReflection3ds, AutoReflectionData3ds{-3, 4, 0x11, 256, 5});
}

void AddMesh(Chunk3ds* editor) {
    Chunk3ds* object = AddText(editor, kTagNamedObject3ds, "Box");
    Chunk3ds* mesh = Add(object, kTagTriangleMesh3ds);
    Add(mesh, kTagVertexList3ds,
        VertexListData3ds{{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0.5f}}});
    Add(mesh, kTagVertexFlags3ds, VertexFlagsData3ds{{1, 0, 0xFFFF, 2}});
    Add(mesh, kTagTexVerts3ds, TexVertsData3ds{{{0, 0}, {1, 0}, {1, 1}, {0, 1}}});
    Add(mesh, kTagLocalAxes3ds, LocalAxesData3ds{{1, 0, 0, 0, 1, 0, 0, 0, 1, 5, 6, 7}});
    Add(mesh, kTagMeshColor3ds, ByteData3ds{7});
    MappingIconData3ds icon;
    icon.mapType = 2;
    icon.tileX = 1.5f;
    icon.tileY = 2.5f;
    icon.iconPosition = {1, 2, 3};
    icon.iconScaling = 0.5f;
    icon.iconMatrix = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    icon.planarWidth = 10;
    icon.planarHeight = 20;
    icon.cylinderHeight = 30;
    Add(mesh, kTagMappingIcon3ds, icon);
    AddText(mesh, kTagProcedureName3ds, "twist");
    Add(mesh, kTagProcedureData3ds, RawData3ds{{0xDE, 0xAD, 0xBE, 0xEF}});
    Chunk3ds* faces = Add(mesh, kTagFaceList3ds, FaceListData3ds{{{0, 1, 2, 7}, {2, 3, 0, 3}}});
    Add(faces, kTagMaterialGroup3ds, MaterialGroupData3ds{"Checker", {0, 1}});
    Add(faces, kTagSmoothGroups3ds, SmoothGroupsData3ds{{1, 0x80000000u}});
    Add(faces, kTagBoxMap3ds, BoxMapData3ds{{"Checker", "b", "c", "d", "e", "f"}});
    Chunk3ds* extra = Add(Add(mesh, kTagExtraData3ds), kTagExtraDataGroup3ds);
    AddText(extra, kTagExtraDataAppName3ds, "Tarvik");
    AddText(extra, kTagExtraDataText3ds, "a note that is longer than any name");
    Add(extra, kTagExtraDataEntry3ds, RawData3ds{{0, 1, 2}});
    Add(object, kTagObjectHidden3ds);
}

void AddLightsAndCamera(Chunk3ds* editor) {
    Chunk3ds* light =
        Add(AddText(editor, kTagNamedObject3ds, "Spot"), kTagLight3ds, PointData3ds{{10, 20, 30}});
    AddColors(light, {1, 1, 0.5f});
    Chunk3ds* spot = Add(light, kTagSpotlight3ds, SpotlightData3ds{{0, 0, 0}, 30, 45});
    Add(spot, kTagLightShadow3ds, LightShadowData3ds{0.5f, 3, 256});
    AddText(spot, kTagProjectorBitmap3ds, "slide.bmp");
    Add(spot, kTagSpotRoll3ds, FloatData3ds{15});
    AddText(light, kTagExcludedObject3ds, "Box");
    Add(light, kTagLightMultiplier3ds, FloatData3ds{1.5f});
    Add(AddText(editor, kTagNamedObject3ds, "Omni"), kTagLight3ds, PointData3ds{{-5, 0, 5}});

    Chunk3ds* camera = Add(AddText(editor, kTagNamedObject3ds, "Camera1"), kTagCamera3ds,
                           CameraData3ds{{-38, -80, 25}, {0, 0, 0}, 2, 40});
    Add(camera, kTagCameraCone3ds);
    Add(camera, kTagCameraRanges3ds, CameraRangesData3ds{40, 90});
    AddUnknown(editor, kUnknownTag, {0x10, 0x20, 0x30, 0x00, 0x40});
    AddUnknown(editor, kUnknownEmptyTag, {});
}

void AddKeyframer(Chunk3ds* keyframer) {
    Add(keyframer, kTagFrameRange3ds, FrameRangeData3ds{0, 100});
    Add(keyframer, kTagCurrentFrame3ds, LongData3ds{25});

    Chunk3ds* ambient = Add(keyframer, kTagAmbientNode3ds);
    Add(ambient, kTagNodeId3ds, WordData3ds{0xFFFF});
    Add(ambient, kTagNodeHeader3ds, NodeHeaderData3ds{"$AMBIENT$", 0, 0, 0xFFFF});
    Add(ambient, kTagColorTrack3ds, Track<Point3ds>({{0.1f, 0.1f, 0.1f}, {1, 1, 1}}));

    // Numbers in section order; the ambient node takes none. "Camera1" names
    // both the camera and its target, and "Arm.L" reads as a name and an
    // instance: nodes naming those as parents are linked by number.
    const NodeRow kNodes[] = {
        {kTagObjectNode3ds, "Box", nullptr, nullptr, 0xFFFF},
        {kTagObjectNode3ds, "Box", "2", "Box", 0},
        {kTagCameraNode3ds, "Camera1", nullptr, nullptr, 0xFFFF},
        {kTagCameraTargetNode3ds, "Camera1", nullptr, nullptr, 0xFFFF},
        {kTagSpotlightNode3ds, "Spot", nullptr, "Box.2", 1},
        {kTagLightTargetNode3ds, "Spot", nullptr, nullptr, 0xFFFF},
        {kTagLightNode3ds, "Omni", nullptr, nullptr, 3},
        {kTagObjectNode3ds, "Arm.L", nullptr, nullptr, 0xFFFF},
        {kTagObjectNode3ds, "Hand", nullptr, nullptr, 7},
    };
    std::vector<Chunk3ds*> nodes;
    for (const NodeRow& row : kNodes) {
        nodes.push_back(AddNode(keyframer, row, static_cast<uint16_t>(nodes.size())));
    }

    Chunk3ds* box = nodes[0];
    Add(box, kTagPivot3ds, PointData3ds{{0.5f, 0.5f, 0}});
    Add(box, kTagBoundingBox3ds, BoundingBoxData3ds{{0, 0, 0}, {1, 1, 0.5f}});
    Add(box, kTagMorphSmooth3ds, FloatData3ds{30});
    Add(box, kTagPositionTrack3ds, Track<Point3ds>({{0, 0, 0}, {1, 2, 3}, {4, 5, 6}}));
    Add(box, kTagRotationTrack3ds, Track<RotationValue3ds>({{0, 0, 0, 1}, {90, 1, 0, 0}}));
    Add(box, kTagScaleTrack3ds, Track<Point3ds>({{1, 1, 1}}));
    Add(box, kTagMorphTrack3ds, Track<std::string>({"Box", "Omni", ""}));
    Add(box, kTagHideTrack3ds, Track<NoValue3ds>({{}, {}, {}, {}}));
    Add(nodes[1], kTagPositionTrack3ds, Track<Point3ds>({{2, 0, 0}}));
    Add(nodes[2], kTagFovTrack3ds, Track<float>({45, 60}));
    Add(nodes[2], kTagRollTrack3ds, Track<float>({0, 5, 10}));
    Add(nodes[4], kTagHotspotTrack3ds, Track<float>({30}));
    Add(nodes[4], kTagFalloffTrack3ds, Track<float>({45}));
    Add(nodes[6], kTagColorTrack3ds, Track<Point3ds>({{1, 0.5f, 0.25f}}));
}

} // namespace

std::unique_ptr<Database3ds> BuildEveryLayoutScene() {
    std::unique_ptr<Database3ds> db;
    InitDatabase3ds(db);
    if (ErrorPending3ds) {
        return db;
    }
    CreateNewDatabase3ds(db.get(), kDatabaseMeshFile3ds);
    if (ErrorPending3ds) {
        return db;
    }
    Chunk3ds* editor = nullptr;
    SearchChunk3ds(db->root.get(), kTagEditor3ds, &editor);
    AddEditorSettings(editor);
    AddMaterial(editor);
    AddMesh(editor);
    AddLightsAndCamera(editor);
    Chunk3ds* keyframer = nullptr;
    SearchChunk3ds(db->root.get(), kTagKeyframer3ds, &keyframer);
    AddKeyframer(keyframer);
    MarkObjectIndexStale3ds(db.get());
    MarkMaterialIndexStale3ds(db.get());
    return db;
}
