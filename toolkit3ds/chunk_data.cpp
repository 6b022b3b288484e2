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

template <typename Layout> constexpr ChunkTagInfo3ds Data(ChunkTag3ds tag) {
    return {tag, ChunkKind3ds::kData, kLayout<Layout>, 0};
}

constexpr ChunkTagInfo3ds Text(ChunkTag3ds tag, uint32_t limit) {
    return {tag, ChunkKind3ds::kData, kLayout<StringData3ds>, limit};
}

constexpr ChunkTagInfo3ds Container(ChunkTag3ds tag) {
    return {tag, ChunkKind3ds::kContainer, 0, 0};
}

constexpr ChunkTagInfo3ds Flag(ChunkTag3ds tag) {
    return {tag, ChunkKind3ds::kFlag, 0, 0};
}

// Every tag the toolkit knows, sorted by tag.
constexpr ChunkTagInfo3ds kTagTable[] = {
    Data<LongData3ds>(kTagFileVersion3ds),
    Data<ColorFloatData3ds>(kTagColorFloat3ds),
    Data<ColorByteData3ds>(kTagColorByte3ds),
    Data<ColorByteData3ds>(kTagLinColorByte3ds),
    Data<ColorFloatData3ds>(kTagLinColorFloat3ds),
    Data<ShortData3ds>(kTagPercentInt3ds),
    Data<FloatData3ds>(kTagPercentFloat3ds),
    Data<FloatData3ds>(kTagMasterScale3ds),
    Text(kTagBackgroundBitmap3ds, kBitmapNameLimit3ds),
    Flag(kTagUseBackgroundBitmap3ds),
    Container(kTagSolidBackground3ds),
    Flag(kTagUseSolidBackground3ds),
    Data<FloatData3ds>(kTagGradientBackground3ds), // the midpoint; colours are children
    Flag(kTagUseGradientBackground3ds),
    Data<FloatData3ds>(kTagShadowMapBias3ds),
    Data<FloatData3ds>(kTagSecondShadowBias3ds),
    Data<ShortData3ds>(kTagShadowMapSize3ds),
    Data<ShortData3ds>(kTagShadowSamples3ds),
    Data<LongData3ds>(kTagShadowRange3ds),
    Data<FloatData3ds>(kTagShadowFilter3ds),
    Data<FloatData3ds>(kTagRayTraceBias3ds),
    Data<PointData3ds>(kTagConstantsPoint3ds),
    Container(kTagAmbientLight3ds),
    Data<FogData3ds>(kTagFog3ds),
    Data<FogData3ds>(kTagDistanceCue3ds),
    Data<LayeredFogData3ds>(kTagLayeredFog3ds),
    Container(kTagDefaultView3ds),
    Data<OrthoViewData3ds>(kTagTopView3ds),
    Data<OrthoViewData3ds>(kTagBottomView3ds),
    Data<OrthoViewData3ds>(kTagLeftView3ds),
    Data<OrthoViewData3ds>(kTagRightView3ds),
    Data<OrthoViewData3ds>(kTagFrontView3ds),
    Data<OrthoViewData3ds>(kTagBackView3ds),
    Data<UserViewData3ds>(kTagUserView3ds),
    Text(kTagCameraView3ds, kObjectNameLimit3ds),
    Container(kTagEditor3ds),
    Data<LongData3ds>(kTagMeshVersion3ds),
    Container(kTagMaterialLibrary3ds),
    Text(kTagNamedObject3ds, kObjectNameLimit3ds),
    Flag(kTagObjectHidden3ds),
    Flag(kTagObjectVisLofter3ds),
    Flag(kTagObjectNoCast3ds),
    Flag(kTagObjectMatte3ds),
    Flag(kTagObjectFast3ds),
    Flag(kTagObjectProcedural3ds),
    Flag(kTagObjectFrozen3ds),
    Flag(kTagObjectNoReceiveShadow3ds),
    Container(kTagTriangleMesh3ds),
    Data<VertexListData3ds>(kTagVertexList3ds),
    Data<VertexFlagsData3ds>(kTagVertexFlags3ds),
    Data<FaceListData3ds>(kTagFaceList3ds),
    Data<MaterialGroupData3ds>(kTagMaterialGroup3ds),
    Data<TexVertsData3ds>(kTagTexVerts3ds),
    Data<SmoothGroupsData3ds>(kTagSmoothGroups3ds),
    Data<LocalAxesData3ds>(kTagLocalAxes3ds),
    Data<ByteData3ds>(kTagMeshColor3ds),
    Data<MappingIconData3ds>(kTagMappingIcon3ds),
    Text(kTagProcedureName3ds, kBitmapNameLimit3ds),
    Data<RawData3ds>(kTagProcedureData3ds),
    Data<BoxMapData3ds>(kTagBoxMap3ds),
    Data<PointData3ds>(kTagLight3ds),
    Data<SpotlightData3ds>(kTagSpotlight3ds),
    Data<LightShadowData3ds>(kTagLightShadow3ds),
    Text(kTagProjectorBitmap3ds, kBitmapNameLimit3ds),
    Text(kTagExcludedObject3ds, kObjectNameLimit3ds),
    Data<FloatData3ds>(kTagSpotRoll3ds),
    Data<FloatData3ds>(kTagSpotAspect3ds),
    Data<FloatData3ds>(kTagLightRayBias3ds),
    Data<FloatData3ds>(kTagLightInnerRange3ds),
    Data<FloatData3ds>(kTagLightOuterRange3ds),
    Data<FloatData3ds>(kTagLightMultiplier3ds),
    Data<CameraData3ds>(kTagCamera3ds),
    Flag(kTagCameraCone3ds),
    Data<CameraRangesData3ds>(kTagCameraRanges3ds),
    Container(kTagMeshFile3ds),
    Data<ViewportLayoutData3ds>(kTagViewportLayout3ds),
    Data<ViewportEntryData3ds>(kTagViewportEntry3ds),
    Data<ViewportEntryData3ds>(kTagViewportEntryDefault3ds),
    Data<ViewportSizeData3ds>(kTagViewportSize3ds),
    Container(kTagExtraData3ds),
    Data<RawData3ds>(kTagExtraDataEntry3ds),
    Text(kTagExtraDataAppName3ds, kTextLimitChunk3ds),
    Text(kTagExtraDataText3ds, kTextLimitChunk3ds),
    Container(kTagExtraDataGroup3ds),
    {kTagParentName3ds, ChunkKind3ds::kNote, kLayout<StringData3ds>, 0},
    Text(kTagMaterialName3ds, kMaterialNameLimit3ds),
    Container(kTagMatAmbient3ds),
    Container(kTagMatDiffuse3ds),
    Container(kTagMatSpecular3ds),
    Container(kTagMatShininess3ds),
    Container(kTagMatShininessStrength3ds),
    Container(kTagMatSecondShininessStrength3ds),
    Container(kTagMatTransparency3ds),
    Container(kTagMatTransparencyFalloff3ds),
    Container(kTagMatReflectionBlur3ds),
    Flag(kTagMatSelfIlluminated3ds),
    Flag(kTagMatTwoSided3ds),
    Flag(kTagMatDecal3ds),
    Container(kTagMatSelfIllumination3ds),
    Flag(kTagMatWireframe3ds),
    Data<FloatData3ds>(kTagMatWireThickness3ds),
    Flag(kTagMatFaceMapped3ds),
    Flag(kTagMatFalloffIn3ds),
    Flag(kTagMatSoften3ds),
    Flag(kTagMatWireInUnits3ds),
    Data<ShortData3ds>(kTagMatShading3ds),
    Container(kTagTextureMap3ds),
    Container(kTagSpecularMap3ds),
    Container(kTagOpacityMap3ds),
    Container(kTagReflectionMap3ds),
    Container(kTagBumpMap3ds),
    Flag(kTagMatUseTransparencyFalloff3ds),
    Flag(kTagMatUseReflectionBlur3ds),
    Data<ShortData3ds>(kTagMatBumpAmount3ds),
    Text(kTagMapFileName3ds, kMaterialNameLimit3ds),
    Data<AutoReflectionData3ds>(kTagMatAutoReflection3ds),
    Data<RawData3ds>(kTagTextureMapData3ds),
    Data<RawData3ds>(kTagTexture2MapData3ds),
    Data<RawData3ds>(kTagOpacityMapData3ds),
    Data<RawData3ds>(kTagBumpMapData3ds),
    Data<RawData3ds>(kTagSpecularMapData3ds),
    Data<RawData3ds>(kTagShininessMapData3ds),
    Data<RawData3ds>(kTagSelfIllumMapData3ds),
    Data<RawData3ds>(kTagTextureMaskData3ds),
    Data<RawData3ds>(kTagTexture2MaskData3ds),
    Data<RawData3ds>(kTagOpacityMaskData3ds),
    Data<RawData3ds>(kTagBumpMaskData3ds),
    Data<RawData3ds>(kTagSpecularMaskData3ds),
    Data<RawData3ds>(kTagShininessMaskData3ds),
    Data<RawData3ds>(kTagSelfIllumMaskData3ds),
    Data<RawData3ds>(kTagReflectionMaskData3ds),
    Container(kTagTexture2Map3ds),
    Container(kTagShininessMap3ds),
    Container(kTagSelfIllumMap3ds),
    Container(kTagTextureMask3ds),
    Container(kTagTexture2Mask3ds),
    Container(kTagOpacityMask3ds),
    Container(kTagBumpMask3ds),
    Container(kTagShininessMask3ds),
    Container(kTagSpecularMask3ds),
    Container(kTagSelfIllumMask3ds),
    Container(kTagReflectionMask3ds),
    Data<WordData3ds>(kTagMapTiling3ds),
    Data<FloatData3ds>(kTagMapBlur3ds),
    Data<FloatData3ds>(kTagMapUScale3ds),
    Data<FloatData3ds>(kTagMapVScale3ds),
    Data<FloatData3ds>(kTagMapUOffset3ds),
    Data<FloatData3ds>(kTagMapVOffset3ds),
    Data<FloatData3ds>(kTagMapRotation3ds),
    Data<ColorByteData3ds>(kTagMapTint1Color3ds),
    Data<ColorByteData3ds>(kTagMapTint2Color3ds),
    Data<ColorByteData3ds>(kTagMapRedTint3ds),
    Data<ColorByteData3ds>(kTagMapGreenTint3ds),
    Data<ColorByteData3ds>(kTagMapBlueTint3ds),
    Container(kTagMaterial3ds),
    Container(kTagKeyframer3ds),
    Container(kTagAmbientNode3ds),
    Container(kTagObjectNode3ds),
    Container(kTagCameraNode3ds),
    Container(kTagCameraTargetNode3ds),
    Container(kTagLightNode3ds),
    Container(kTagLightTargetNode3ds),
    Container(kTagSpotlightNode3ds),
    Data<FrameRangeData3ds>(kTagFrameRange3ds),
    Data<LongData3ds>(kTagCurrentFrame3ds),
    Data<KeyframerHeaderData3ds>(kTagKeyframerHeader3ds),
    Data<NodeHeaderData3ds>(kTagNodeHeader3ds),
    Text(kTagInstanceName3ds, kObjectNameLimit3ds),
    Data<PointData3ds>(kTagPivot3ds),
    Data<BoundingBoxData3ds>(kTagBoundingBox3ds),
    Data<FloatData3ds>(kTagMorphSmooth3ds),
    Data<PointTrackData3ds>(kTagPositionTrack3ds),
    Data<RotationTrackData3ds>(kTagRotationTrack3ds),
    Data<PointTrackData3ds>(kTagScaleTrack3ds),
    Data<FloatTrackData3ds>(kTagFovTrack3ds),
    Data<FloatTrackData3ds>(kTagRollTrack3ds),
    Data<PointTrackData3ds>(kTagColorTrack3ds),
    Data<MorphTrackData3ds>(kTagMorphTrack3ds),
    Data<FloatTrackData3ds>(kTagHotspotTrack3ds),
    Data<FloatTrackData3ds>(kTagFalloffTrack3ds),
    Data<HideTrackData3ds>(kTagHideTrack3ds),
    Data<WordData3ds>(kTagNodeId3ds),
    Container(kTagProjectFile3ds),
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
