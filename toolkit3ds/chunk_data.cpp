#include "toolkit3ds/chunk_data.h"

#include "toolkit3ds/chunk_tree.h"
#include "toolkit3ds/errors.h"

#include <algorithm>
#include <new>
#include <type_traits>
#include <utility>

namespace {

// Index of a layout among the alternatives of ChunkData3ds.
template <typename Layout, typename... Layouts>
constexpr uint8_t IndexOf(const std::variant<Layouts...>*) {
    constexpr bool matches[] = {std::is_same_v<Layout, Layouts>...};
    for (uint8_t i = 0; i < sizeof...(Layouts); ++i) {
        if (matches[i]) {
            return i;
        }
    }
    return UINT8_MAX;
}

template <typename Layout>
constexpr uint8_t kLayout = IndexOf<Layout>(static_cast<const ChunkData3ds*>(nullptr));

static_assert(std::variant_size_v<ChunkData3ds> < UINT8_MAX);

template <typename Layout> constexpr ChunkTagInfo3ds Data(ChunkTag3ds tag, const char* name) {
    return {tag, ChunkKind3ds::kData, kLayout<Layout>, 0, name};
}

constexpr ChunkTagInfo3ds Text(ChunkTag3ds tag, uint32_t limit, const char* name) {
    return {tag, ChunkKind3ds::kData, kLayout<StringData3ds>, limit, name};
}

constexpr ChunkTagInfo3ds Container(ChunkTag3ds tag, const char* name) {
    return {tag, ChunkKind3ds::kContainer, 0, 0, name};
}

constexpr ChunkTagInfo3ds Flag(ChunkTag3ds tag, const char* name) {
    return {tag, ChunkKind3ds::kFlag, 0, 0, name};
}

// Every tag the toolkit knows, sorted by tag.
constexpr ChunkTagInfo3ds kTagTable[] = {
    Data<LongData3ds>(kTagFileVersion3ds, "file version"),
    Data<ColorFloatData3ds>(kTagColorFloat3ds, "colour, floats"),
    Data<ColorByteData3ds>(kTagColorByte3ds, "colour, bytes"),
    Data<ColorByteData3ds>(kTagLinColorByte3ds, "linear colour, bytes"),
    Data<ColorFloatData3ds>(kTagLinColorFloat3ds, "linear colour, floats"),
    Data<ShortData3ds>(kTagPercentInt3ds, "percentage, integer"),
    Data<FloatData3ds>(kTagPercentFloat3ds, "percentage, float"),
    Data<FloatData3ds>(kTagMasterScale3ds, "master scale"),
    Text(kTagBackgroundBitmap3ds, kBitmapNameLimit3ds, "background bitmap"),
    Flag(kTagUseBackgroundBitmap3ds, "use bitmap background"),
    Container(kTagSolidBackground3ds, "solid-colour background"),
    Flag(kTagUseSolidBackground3ds, "use solid background"),
    Data<FloatData3ds>(kTagGradientBackground3ds,
                       "gradient background"), // the midpoint; colours are children
    Flag(kTagUseGradientBackground3ds, "use gradient background"),
    Data<FloatData3ds>(kTagShadowMapBias3ds, "shadow map bias"),
    Data<FloatData3ds>(kTagSecondShadowBias3ds, "second shadow bias"),
    Data<ShortData3ds>(kTagShadowMapSize3ds, "shadow map size"),
    Data<ShortData3ds>(kTagShadowSamples3ds, "shadow samples"),
    Data<LongData3ds>(kTagShadowRange3ds, "shadow range"),
    Data<FloatData3ds>(kTagShadowFilter3ds, "shadow filter"),
    Data<FloatData3ds>(kTagRayTraceBias3ds, "ray-trace bias"),
    Data<PointData3ds>(kTagConstantsPoint3ds, "constants point"),
    Container(kTagAmbientLight3ds, "ambient light"),
    Data<FogData3ds>(kTagFog3ds, "fog"),
    Data<FogData3ds>(kTagDistanceCue3ds, "distance cue"),
    Data<LayeredFogData3ds>(kTagLayeredFog3ds, "layered fog"),
    Container(kTagDefaultView3ds, "default view"),
    Data<OrthoViewData3ds>(kTagTopView3ds, "top view"),
    Data<OrthoViewData3ds>(kTagBottomView3ds, "bottom view"),
    Data<OrthoViewData3ds>(kTagLeftView3ds, "left view"),
    Data<OrthoViewData3ds>(kTagRightView3ds, "right view"),
    Data<OrthoViewData3ds>(kTagFrontView3ds, "front view"),
    Data<OrthoViewData3ds>(kTagBackView3ds, "back view"),
    Data<UserViewData3ds>(kTagUserView3ds, "user view"),
    Text(kTagCameraView3ds, kObjectNameLimit3ds, "camera view"),
    Container(kTagEditor3ds, "3D editor section"),
    Data<LongData3ds>(kTagMeshVersion3ds, "mesh version"),
    Container(kTagMaterialLibrary3ds, "material-library root"),
    Text(kTagNamedObject3ds, kObjectNameLimit3ds, "named object"),
    Flag(kTagObjectHidden3ds, "object hidden"),
    Flag(kTagObjectVisLofter3ds, "object shown in lofter"),
    Flag(kTagObjectNoCast3ds, "object casts no shadows"),
    Flag(kTagObjectMatte3ds, "object is matte"),
    Flag(kTagObjectFast3ds, "object in fast display"),
    Flag(kTagObjectProcedural3ds, "object has a procedure"),
    Flag(kTagObjectFrozen3ds, "object frozen"),
    Flag(kTagObjectNoReceiveShadow3ds, "object receives no shadows"),
    Container(kTagTriangleMesh3ds, "triangle mesh"),
    Data<VertexListData3ds>(kTagVertexList3ds, "vertex list"),
    Data<VertexFlagsData3ds>(kTagVertexFlags3ds, "vertex flags"),
    Data<FaceListData3ds>(kTagFaceList3ds, "face list"),
    Data<MaterialGroupData3ds>(kTagMaterialGroup3ds, "material group"),
    Data<TexVertsData3ds>(kTagTexVerts3ds, "texture vertices"),
    Data<SmoothGroupsData3ds>(kTagSmoothGroups3ds, "smoothing groups"),
    Data<LocalAxesData3ds>(kTagLocalAxes3ds, "local axes"),
    Data<ByteData3ds>(kTagMeshColor3ds, "mesh colour"),
    Data<MappingIconData3ds>(kTagMappingIcon3ds, "mapping icon"),
    Text(kTagProcedureName3ds, kBitmapNameLimit3ds, "procedure name"),
    Data<RawData3ds>(kTagProcedureData3ds, "procedure data"),
    Data<BoxMapData3ds>(kTagBoxMap3ds, "box map"),
    Data<PointData3ds>(kTagLight3ds, "light"),
    Data<SpotlightData3ds>(kTagSpotlight3ds, "spotlight"),
    Data<LightShadowData3ds>(kTagLightShadow3ds, "light shadow settings"),
    Text(kTagProjectorBitmap3ds, kBitmapNameLimit3ds, "projector bitmap"),
    Text(kTagExcludedObject3ds, kObjectNameLimit3ds, "excluded object"),
    Data<FloatData3ds>(kTagSpotRoll3ds, "spotlight roll"),
    Data<FloatData3ds>(kTagSpotAspect3ds, "spotlight aspect"),
    Data<FloatData3ds>(kTagLightRayBias3ds, "light ray-trace bias"),
    Data<FloatData3ds>(kTagLightInnerRange3ds, "light inner range"),
    Data<FloatData3ds>(kTagLightOuterRange3ds, "light outer range"),
    Data<FloatData3ds>(kTagLightMultiplier3ds, "light multiplier"),
    Data<CameraData3ds>(kTagCamera3ds, "camera"),
    Flag(kTagCameraCone3ds, "camera cone shown"),
    Data<CameraRangesData3ds>(kTagCameraRanges3ds, "camera ranges"),
    Container(kTagMeshFile3ds, "mesh-file root"),
    Data<ViewportLayoutData3ds>(kTagViewportLayout3ds, "viewport layout"),
    Data<ViewportEntryData3ds>(kTagViewportEntry3ds, "viewport entry"),
    Data<ViewportEntryData3ds>(kTagViewportEntryDefault3ds, "viewport entry, default set"),
    Data<ViewportSizeData3ds>(kTagViewportSize3ds, "viewport size"),
    Container(kTagExtraData3ds, "extra-data section"),
    Data<RawData3ds>(kTagExtraDataEntry3ds, "extra-data entry"),
    Text(kTagExtraDataAppName3ds, kTextLimitChunk3ds, "extra-data application name"),
    Text(kTagExtraDataText3ds, kTextLimitChunk3ds, "extra-data text"),
    Container(kTagExtraDataGroup3ds, "extra-data group"),
    {kTagParentName3ds, ChunkKind3ds::kNote, kLayout<StringData3ds>, 0, "parent-name note"},
    Text(kTagMaterialName3ds, kMaterialNameLimit3ds, "material name"),
    Container(kTagMatAmbient3ds, "ambient colour"),
    Container(kTagMatDiffuse3ds, "diffuse colour"),
    Container(kTagMatSpecular3ds, "specular colour"),
    Container(kTagMatShininess3ds, "shininess"),
    Container(kTagMatShininessStrength3ds, "shininess strength"),
    Container(kTagMatSecondShininessStrength3ds, "second shininess strength"),
    Container(kTagMatTransparency3ds, "transparency"),
    Container(kTagMatTransparencyFalloff3ds, "transparency falloff"),
    Container(kTagMatReflectionBlur3ds, "reflection blur"),
    Flag(kTagMatSelfIlluminated3ds, "self-illuminated"),
    Flag(kTagMatTwoSided3ds, "two-sided"),
    Flag(kTagMatDecal3ds, "decal"),
    Container(kTagMatSelfIllumination3ds, "self-illumination"),
    Flag(kTagMatWireframe3ds, "wireframe"),
    Data<FloatData3ds>(kTagMatWireThickness3ds, "wire thickness"),
    Flag(kTagMatFaceMapped3ds, "face mapped"),
    Flag(kTagMatFalloffIn3ds, "falloff inside"),
    Flag(kTagMatSoften3ds, "soften"),
    Flag(kTagMatWireInUnits3ds, "wire thickness in units"),
    Data<ShortData3ds>(kTagMatShading3ds, "shading mode"),
    Container(kTagTextureMap3ds, "texture map"),
    Container(kTagSpecularMap3ds, "specular map"),
    Container(kTagOpacityMap3ds, "opacity map"),
    Container(kTagReflectionMap3ds, "reflection map"),
    Container(kTagBumpMap3ds, "bump map"),
    Flag(kTagMatUseTransparencyFalloff3ds, "use transparency falloff"),
    Flag(kTagMatUseReflectionBlur3ds, "use reflection blur"),
    Data<ShortData3ds>(kTagMatBumpAmount3ds, "bump amount"),
    Text(kTagMapFileName3ds, kMaterialNameLimit3ds, "map file name"),
    Data<AutoReflectionData3ds>(kTagMatAutoReflection3ds, "automatic reflection map"),
    Data<RawData3ds>(kTagTextureMapData3ds, "texture map data"),
    Data<RawData3ds>(kTagTexture2MapData3ds, "second texture map data"),
    Data<RawData3ds>(kTagOpacityMapData3ds, "opacity map data"),
    Data<RawData3ds>(kTagBumpMapData3ds, "bump map data"),
    Data<RawData3ds>(kTagSpecularMapData3ds, "specular map data"),
    Data<RawData3ds>(kTagShininessMapData3ds, "shininess map data"),
    Data<RawData3ds>(kTagSelfIllumMapData3ds, "self-illumination map data"),
    Data<RawData3ds>(kTagTextureMaskData3ds, "texture mask data"),
    Data<RawData3ds>(kTagTexture2MaskData3ds, "second texture mask data"),
    Data<RawData3ds>(kTagOpacityMaskData3ds, "opacity mask data"),
    Data<RawData3ds>(kTagBumpMaskData3ds, "bump mask data"),
    Data<RawData3ds>(kTagSpecularMaskData3ds, "specular mask data"),
    Data<RawData3ds>(kTagShininessMaskData3ds, "shininess mask data"),
    Data<RawData3ds>(kTagSelfIllumMaskData3ds, "self-illumination mask data"),
    Data<RawData3ds>(kTagReflectionMaskData3ds, "reflection mask data"),
    Container(kTagTexture2Map3ds, "second texture map"),
    Container(kTagShininessMap3ds, "shininess map"),
    Container(kTagSelfIllumMap3ds, "self-illumination map"),
    Container(kTagTextureMask3ds, "texture mask"),
    Container(kTagTexture2Mask3ds, "second texture mask"),
    Container(kTagOpacityMask3ds, "opacity mask"),
    Container(kTagBumpMask3ds, "bump mask"),
    Container(kTagShininessMask3ds, "shininess mask"),
    Container(kTagSpecularMask3ds, "specular mask"),
    Container(kTagSelfIllumMask3ds, "self-illumination mask"),
    Container(kTagReflectionMask3ds, "reflection mask"),
    Data<WordData3ds>(kTagMapTiling3ds, "map tiling flags"),
    Data<FloatData3ds>(kTagMapBlur3ds, "map blur"),
    Data<FloatData3ds>(kTagMapUScale3ds, "map u scale"),
    Data<FloatData3ds>(kTagMapVScale3ds, "map v scale"),
    Data<FloatData3ds>(kTagMapUOffset3ds, "map u offset"),
    Data<FloatData3ds>(kTagMapVOffset3ds, "map v offset"),
    Data<FloatData3ds>(kTagMapRotation3ds, "map rotation angle"),
    Data<ColorByteData3ds>(kTagMapTint1Color3ds, "map first tint"),
    Data<ColorByteData3ds>(kTagMapTint2Color3ds, "map second tint"),
    Data<ColorByteData3ds>(kTagMapRedTint3ds, "map red tint"),
    Data<ColorByteData3ds>(kTagMapGreenTint3ds, "map green tint"),
    Data<ColorByteData3ds>(kTagMapBlueTint3ds, "map blue tint"),
    Container(kTagMaterial3ds, "material"),
    Container(kTagKeyframer3ds, "keyframer section"),
    Container(kTagAmbientNode3ds, "ambient light node"),
    Container(kTagObjectNode3ds, "object node"),
    Container(kTagCameraNode3ds, "camera node"),
    Container(kTagCameraTargetNode3ds, "camera target node"),
    Container(kTagLightNode3ds, "light node"),
    Container(kTagLightTargetNode3ds, "light target node"),
    Container(kTagSpotlightNode3ds, "spotlight node"),
    Data<FrameRangeData3ds>(kTagFrameRange3ds, "frame range"),
    Data<LongData3ds>(kTagCurrentFrame3ds, "current frame"),
    Data<KeyframerHeaderData3ds>(kTagKeyframerHeader3ds, "keyframer header"),
    Data<NodeHeaderData3ds>(kTagNodeHeader3ds, "node header"),
    Text(kTagInstanceName3ds, kObjectNameLimit3ds, "instance name"),
    Data<PointData3ds>(kTagPivot3ds, "pivot"),
    Data<BoundingBoxData3ds>(kTagBoundingBox3ds, "bounding box"),
    Data<FloatData3ds>(kTagMorphSmooth3ds, "morph smoothing angle"),
    Data<PointTrackData3ds>(kTagPositionTrack3ds, "position track"),
    Data<RotationTrackData3ds>(kTagRotationTrack3ds, "rotation track"),
    Data<PointTrackData3ds>(kTagScaleTrack3ds, "scale track"),
    Data<FloatTrackData3ds>(kTagFovTrack3ds, "field-of-view track"),
    Data<FloatTrackData3ds>(kTagRollTrack3ds, "roll track"),
    Data<PointTrackData3ds>(kTagColorTrack3ds, "colour track"),
    Data<MorphTrackData3ds>(kTagMorphTrack3ds, "morph track"),
    Data<FloatTrackData3ds>(kTagHotspotTrack3ds, "hotspot track"),
    Data<FloatTrackData3ds>(kTagFalloffTrack3ds, "falloff track"),
    Data<HideTrackData3ds>(kTagHideTrack3ds, "hide track"),
    Data<WordData3ds>(kTagNodeId3ds, "node number"),
    Container(kTagProjectFile3ds, "project-file root"),
};

// Sorted and without duplicates, so that a binary search finds each tag.
static_assert(std::adjacent_find(std::begin(kTagTable), std::end(kTagTable),
                                 [](const ChunkTagInfo3ds& a, const ChunkTagInfo3ds& b) {
                                     return a.tag >= b.tag;
                                 }) == std::end(kTagTable));

// Builds a record of the layout with the given index, in place on the heap.
template <size_t... Index>
std::unique_ptr<ChunkData3ds> MakeLayout(uint8_t layout, std::index_sequence<Index...>) {
    constexpr std::unique_ptr<ChunkData3ds> (*kMakers[])() = {
        [] { return std::make_unique<ChunkData3ds>(std::in_place_index<Index>); }...};
    return kMakers[layout]();
}

} // namespace

std::span<const ChunkTagInfo3ds> ChunkTagTable3ds() {
    return kTagTable;
}

const ChunkTagInfo3ds* FindChunkTagInfo3ds(uint32_t tag) {
    const auto* found = std::lower_bound(
        std::begin(kTagTable), std::end(kTagTable), tag,
        [](const ChunkTagInfo3ds& entry, uint32_t key) { return entry.tag < key; });
    if (found == std::end(kTagTable) || found->tag != tag) {
        return nullptr;
    }
    return found;
}

ChunkKind3ds GetChunkKind3ds(uint32_t tag) {
    const ChunkTagInfo3ds* info = FindChunkTagInfo3ds(tag);
    return info == nullptr ? ChunkKind3ds::kUnknown : info->kind;
}

ChunkData3ds* NewChunkData3ds(Chunk3ds* chunk) {
    if (chunk == nullptr) {
        return nullptr;
    }
    const ChunkTagInfo3ds* info = FindChunkTagInfo3ds(chunk->tag);
    const ChunkKind3ds kind = info == nullptr ? ChunkKind3ds::kUnknown : info->kind;
    if (kind == ChunkKind3ds::kContainer) {
        chunk->data.reset();
        return nullptr;
    }
    if (kind != ChunkKind3ds::kData && kind != ChunkKind3ds::kNote) {
        return chunk->data.get();
    }
    chunk->data.reset();
    try {
        chunk->data = MakeLayout(info->layout,
                                 std::make_index_sequence<std::variant_size_v<ChunkData3ds>>{});
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
        return nullptr;
    }
    return chunk->data.get();
}

void FreeChunkData3ds(Chunk3ds* chunk) {
    if (chunk != nullptr) {
        chunk->data.reset();
    }
}

void CopyChunkData3ds(const Chunk3ds* source, Chunk3ds* copy) {
    if (source == nullptr || copy == nullptr || source->data == nullptr || copy->data != nullptr) {
        return;
    }
    try {
        copy->data = std::make_unique<ChunkData3ds>(*source->data);
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
    }
}
