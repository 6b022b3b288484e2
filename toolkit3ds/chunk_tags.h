#pragma once
// Chunk tags: the 16-bit identifiers of the chunks of a 3DS file, each named
// once. Every other module uses these names, never the bare numbers. What data
// each tag carries is in chunk_data.h; the order of children in chunk_tree.h.

#include <cstdint>

using ChunkTag3ds = uint16_t;

// --- Roots, sections and versions --------------------------------------------

inline constexpr ChunkTag3ds kTagNone3ds = 0x0000;        // no tag; never written
inline constexpr ChunkTag3ds kTagFileVersion3ds = 0x0002; // long version
inline constexpr ChunkTag3ds kTagShaperFile3ds = 0x2D2D;  // root of another file kind; ordered only
inline constexpr ChunkTag3ds kTagLofterFile3ds = 0x2D3D;  // root of another file kind; ordered only
inline constexpr ChunkTag3ds kTagEditor3ds = 0x3D3D;      // 3D editor section
inline constexpr ChunkTag3ds kTagMeshVersion3ds = 0x3D3E; // long version
inline constexpr ChunkTag3ds kTagMaterialLibrary3ds = 0x3DAA; // material-library root
inline constexpr ChunkTag3ds kTagMeshFile3ds = 0x4D4D;        // mesh-file root
inline constexpr ChunkTag3ds kTagKeyframer3ds = 0xB000;       // keyframer section
inline constexpr ChunkTag3ds kTagProjectFile3ds = 0xC23D;     // project-file root

// --- Colours and percentages ---------------------------------------------------

inline constexpr ChunkTag3ds kTagColorFloat3ds = 0x0010;
inline constexpr ChunkTag3ds kTagColorByte3ds = 0x0011;
inline constexpr ChunkTag3ds kTagLinColorByte3ds = 0x0012;
inline constexpr ChunkTag3ds kTagLinColorFloat3ds = 0x0013;
inline constexpr ChunkTag3ds kTagPercentInt3ds = 0x0030;
inline constexpr ChunkTag3ds kTagPercentFloat3ds = 0x0031;

// --- 3D editor settings, backgrounds and atmosphere ---------------------------

inline constexpr ChunkTag3ds kTagMasterScale3ds = 0x0100;
inline constexpr ChunkTag3ds kTagBackgroundBitmap3ds = 0x1100;
inline constexpr ChunkTag3ds kTagUseBackgroundBitmap3ds = 0x1101; // flag
inline constexpr ChunkTag3ds kTagSolidBackground3ds = 0x1200;
inline constexpr ChunkTag3ds kTagUseSolidBackground3ds = 0x1201; // flag
inline constexpr ChunkTag3ds kTagGradientBackground3ds = 0x1300;
inline constexpr ChunkTag3ds kTagUseGradientBackground3ds = 0x1301; // flag
inline constexpr ChunkTag3ds kTagShadowMapBias3ds = 0x1400;
inline constexpr ChunkTag3ds kTagSecondShadowBias3ds = 0x1410;
inline constexpr ChunkTag3ds kTagShadowMapSize3ds = 0x1420;
inline constexpr ChunkTag3ds kTagShadowSamples3ds = 0x1430;
inline constexpr ChunkTag3ds kTagShadowRange3ds = 0x1440;
inline constexpr ChunkTag3ds kTagShadowFilter3ds = 0x1450;
inline constexpr ChunkTag3ds kTagRayTraceBias3ds = 0x1460;
inline constexpr ChunkTag3ds kTagConstantsPoint3ds = 0x1500;
inline constexpr ChunkTag3ds kTagAmbientLight3ds = 0x2100;
inline constexpr ChunkTag3ds kTagFog3ds = 0x2200;
inline constexpr ChunkTag3ds kTagDistanceCue3ds = 0x2300;
inline constexpr ChunkTag3ds kTagLayeredFog3ds = 0x2302;

// --- Views and viewports -------------------------------------------------------

inline constexpr ChunkTag3ds kTagDefaultView3ds = 0x3000;
inline constexpr ChunkTag3ds kTagTopView3ds = 0x3010;
inline constexpr ChunkTag3ds kTagBottomView3ds = 0x3020;
inline constexpr ChunkTag3ds kTagLeftView3ds = 0x3030;
inline constexpr ChunkTag3ds kTagRightView3ds = 0x3040;
inline constexpr ChunkTag3ds kTagFrontView3ds = 0x3050;
inline constexpr ChunkTag3ds kTagBackView3ds = 0x3060;
inline constexpr ChunkTag3ds kTagUserView3ds = 0x3070;
inline constexpr ChunkTag3ds kTagCameraView3ds = 0x3080;
inline constexpr ChunkTag3ds kTagViewportLayout3ds = 0x7001;
inline constexpr ChunkTag3ds kTagViewportEntry3ds = 0x7011;
inline constexpr ChunkTag3ds kTagViewportEntryDefault3ds = 0x7012;
inline constexpr ChunkTag3ds kTagViewportSize3ds = 0x7020;

// --- Named objects and triangle meshes -----------------------------------------

inline constexpr ChunkTag3ds kTagNamedObject3ds = 0x4000;
inline constexpr ChunkTag3ds kTagObjectHidden3ds = 0x4010;          // flag
inline constexpr ChunkTag3ds kTagObjectVisLofter3ds = 0x4011;       // flag
inline constexpr ChunkTag3ds kTagObjectNoCast3ds = 0x4012;          // flag
inline constexpr ChunkTag3ds kTagObjectMatte3ds = 0x4013;           // flag
inline constexpr ChunkTag3ds kTagObjectFast3ds = 0x4014;            // flag
inline constexpr ChunkTag3ds kTagObjectProcedural3ds = 0x4015;      // flag
inline constexpr ChunkTag3ds kTagObjectFrozen3ds = 0x4016;          // flag
inline constexpr ChunkTag3ds kTagObjectNoReceiveShadow3ds = 0x4017; // flag
inline constexpr ChunkTag3ds kTagTriangleMesh3ds = 0x4100;
inline constexpr ChunkTag3ds kTagVertexList3ds = 0x4110;
inline constexpr ChunkTag3ds kTagVertexFlags3ds = 0x4111;
inline constexpr ChunkTag3ds kTagFaceList3ds = 0x4120;
inline constexpr ChunkTag3ds kTagMaterialGroup3ds = 0x4130;
inline constexpr ChunkTag3ds kTagTexVerts3ds = 0x4140;
inline constexpr ChunkTag3ds kTagSmoothGroups3ds = 0x4150;
inline constexpr ChunkTag3ds kTagLocalAxes3ds = 0x4160;
inline constexpr ChunkTag3ds kTagMeshColor3ds = 0x4165;
inline constexpr ChunkTag3ds kTagMappingIcon3ds = 0x4170;
inline constexpr ChunkTag3ds kTagProcedureName3ds = 0x4181;
inline constexpr ChunkTag3ds kTagProcedureData3ds = 0x4182;
inline constexpr ChunkTag3ds kTagBoxMap3ds = 0x4190;

// --- Lights ----------------------------------------------------------------------

inline constexpr ChunkTag3ds kTagLight3ds = 0x4600;
inline constexpr ChunkTag3ds kTagSpotlight3ds = 0x4610;
inline constexpr ChunkTag3ds kTagLightShadow3ds = 0x4641;
inline constexpr ChunkTag3ds kTagProjectorBitmap3ds = 0x4653;
inline constexpr ChunkTag3ds kTagExcludedObject3ds = 0x4654;
inline constexpr ChunkTag3ds kTagSpotRoll3ds = 0x4656;
inline constexpr ChunkTag3ds kTagSpotAspect3ds = 0x4657;
inline constexpr ChunkTag3ds kTagLightRayBias3ds = 0x4658;
inline constexpr ChunkTag3ds kTagLightInnerRange3ds = 0x4659;
inline constexpr ChunkTag3ds kTagLightOuterRange3ds = 0x465A;
inline constexpr ChunkTag3ds kTagLightMultiplier3ds = 0x465B;

// --- Cameras ---------------------------------------------------------------------

inline constexpr ChunkTag3ds kTagCamera3ds = 0x4700;
inline constexpr ChunkTag3ds kTagCameraCone3ds = 0x4710; // flag
inline constexpr ChunkTag3ds kTagCameraRanges3ds = 0x4720;

// --- Extra data --------------------------------------------------------------------

inline constexpr ChunkTag3ds kTagExtraData3ds = 0x8000;
inline constexpr ChunkTag3ds kTagExtraDataEntry3ds = 0x8001;
inline constexpr ChunkTag3ds kTagExtraDataAppName3ds = 0x8002;
inline constexpr ChunkTag3ds kTagExtraDataText3ds = 0x8003;
inline constexpr ChunkTag3ds kTagExtraDataGroup3ds = 0x8009;
inline constexpr ChunkTag3ds kTagParentName3ds = 0x80F0; // in memory only, never written

// --- Materials -----------------------------------------------------------------------

inline constexpr ChunkTag3ds kTagMaterialName3ds = 0xA000;
inline constexpr ChunkTag3ds kTagMatAmbient3ds = 0xA010;
inline constexpr ChunkTag3ds kTagMatDiffuse3ds = 0xA020;
inline constexpr ChunkTag3ds kTagMatSpecular3ds = 0xA030;
inline constexpr ChunkTag3ds kTagMatShininess3ds = 0xA040;
inline constexpr ChunkTag3ds kTagMatShininessStrength3ds = 0xA041;
inline constexpr ChunkTag3ds kTagMatSecondShininessStrength3ds = 0xA042;
inline constexpr ChunkTag3ds kTagMatTransparency3ds = 0xA050;
inline constexpr ChunkTag3ds kTagMatTransparencyFalloff3ds = 0xA052;
inline constexpr ChunkTag3ds kTagMatReflectionBlur3ds = 0xA053;
inline constexpr ChunkTag3ds kTagMatSelfIlluminated3ds = 0xA080;        // flag
inline constexpr ChunkTag3ds kTagMatTwoSided3ds = 0xA081;               // flag
inline constexpr ChunkTag3ds kTagMatDecal3ds = 0xA083;                  // flag
inline constexpr ChunkTag3ds kTagMatSelfIllumination3ds = 0xA084;       // container of a percentage
inline constexpr ChunkTag3ds kTagMatWireframe3ds = 0xA085;              // flag
inline constexpr ChunkTag3ds kTagMatWireThickness3ds = 0xA087;          // float
inline constexpr ChunkTag3ds kTagMatFaceMapped3ds = 0xA088;             // flag
inline constexpr ChunkTag3ds kTagMatFalloffIn3ds = 0xA08A;              // flag
inline constexpr ChunkTag3ds kTagMatSoften3ds = 0xA08C;                 // flag
inline constexpr ChunkTag3ds kTagMatWireInUnits3ds = 0xA08E;            // flag
inline constexpr ChunkTag3ds kTagMatShading3ds = 0xA100;                // short
inline constexpr ChunkTag3ds kTagMatUseTransparencyFalloff3ds = 0xA240; // flag
inline constexpr ChunkTag3ds kTagMatUseReflectionBlur3ds = 0xA250;      // flag
inline constexpr ChunkTag3ds kTagMatBumpAmount3ds = 0xA252; // short, under kTagBumpMap3ds
inline constexpr ChunkTag3ds kTagMapFileName3ds = 0xA300;   // string, under a map slot
inline constexpr ChunkTag3ds kTagMatAutoReflection3ds = 0xA310;
inline constexpr ChunkTag3ds kTagMaterial3ds = 0xAFFF;

// Texture and mask map slots (containers of map parameters).
inline constexpr ChunkTag3ds kTagTextureMap3ds = 0xA200;
inline constexpr ChunkTag3ds kTagSpecularMap3ds = 0xA204;
inline constexpr ChunkTag3ds kTagOpacityMap3ds = 0xA210;
inline constexpr ChunkTag3ds kTagReflectionMap3ds = 0xA220;
inline constexpr ChunkTag3ds kTagBumpMap3ds = 0xA230;
inline constexpr ChunkTag3ds kTagTexture2Map3ds = 0xA33A;
inline constexpr ChunkTag3ds kTagShininessMap3ds = 0xA33C;
inline constexpr ChunkTag3ds kTagSelfIllumMap3ds = 0xA33D;
inline constexpr ChunkTag3ds kTagTextureMask3ds = 0xA33E;
inline constexpr ChunkTag3ds kTagTexture2Mask3ds = 0xA340;
inline constexpr ChunkTag3ds kTagOpacityMask3ds = 0xA342;
inline constexpr ChunkTag3ds kTagBumpMask3ds = 0xA344;
inline constexpr ChunkTag3ds kTagShininessMask3ds = 0xA346;
inline constexpr ChunkTag3ds kTagSpecularMask3ds = 0xA348;
inline constexpr ChunkTag3ds kTagSelfIllumMask3ds = 0xA34A;
inline constexpr ChunkTag3ds kTagReflectionMask3ds = 0xA34C;

// Procedural map data of the slots above (raw bytes).
inline constexpr ChunkTag3ds kTagTextureMapData3ds = 0xA320;
inline constexpr ChunkTag3ds kTagTexture2MapData3ds = 0xA321;
inline constexpr ChunkTag3ds kTagOpacityMapData3ds = 0xA322;
inline constexpr ChunkTag3ds kTagBumpMapData3ds = 0xA324;
inline constexpr ChunkTag3ds kTagSpecularMapData3ds = 0xA325;
inline constexpr ChunkTag3ds kTagShininessMapData3ds = 0xA326;
inline constexpr ChunkTag3ds kTagSelfIllumMapData3ds = 0xA328;
inline constexpr ChunkTag3ds kTagTextureMaskData3ds = 0xA32A;
inline constexpr ChunkTag3ds kTagTexture2MaskData3ds = 0xA32C;
inline constexpr ChunkTag3ds kTagOpacityMaskData3ds = 0xA32E;
inline constexpr ChunkTag3ds kTagBumpMaskData3ds = 0xA330;
inline constexpr ChunkTag3ds kTagSpecularMaskData3ds = 0xA332;
inline constexpr ChunkTag3ds kTagShininessMaskData3ds = 0xA334;
inline constexpr ChunkTag3ds kTagSelfIllumMaskData3ds = 0xA336;
inline constexpr ChunkTag3ds kTagReflectionMaskData3ds = 0xA338;

// Map parameters (children of a map slot).
inline constexpr ChunkTag3ds kTagMapTiling3ds = 0xA351; // word of tiling flags
inline constexpr ChunkTag3ds kTagMapBlur3ds = 0xA353;
inline constexpr ChunkTag3ds kTagMapUScale3ds = 0xA354;
inline constexpr ChunkTag3ds kTagMapVScale3ds = 0xA356;
inline constexpr ChunkTag3ds kTagMapUOffset3ds = 0xA358;
inline constexpr ChunkTag3ds kTagMapVOffset3ds = 0xA35A;
inline constexpr ChunkTag3ds kTagMapRotation3ds = 0xA35C;
inline constexpr ChunkTag3ds kTagMapTint1Color3ds = 0xA360;
inline constexpr ChunkTag3ds kTagMapTint2Color3ds = 0xA362;
inline constexpr ChunkTag3ds kTagMapRedTint3ds = 0xA364;
inline constexpr ChunkTag3ds kTagMapGreenTint3ds = 0xA366;
inline constexpr ChunkTag3ds kTagMapBlueTint3ds = 0xA368;

// --- Keyframer -------------------------------------------------------------------------

inline constexpr ChunkTag3ds kTagAmbientNode3ds = 0xB001;
inline constexpr ChunkTag3ds kTagObjectNode3ds = 0xB002;
inline constexpr ChunkTag3ds kTagCameraNode3ds = 0xB003;
inline constexpr ChunkTag3ds kTagCameraTargetNode3ds = 0xB004;
inline constexpr ChunkTag3ds kTagLightNode3ds = 0xB005;
inline constexpr ChunkTag3ds kTagLightTargetNode3ds = 0xB006;
inline constexpr ChunkTag3ds kTagSpotlightNode3ds = 0xB007;
inline constexpr ChunkTag3ds kTagFrameRange3ds = 0xB008;
inline constexpr ChunkTag3ds kTagCurrentFrame3ds = 0xB009;
inline constexpr ChunkTag3ds kTagKeyframerHeader3ds = 0xB00A;
inline constexpr ChunkTag3ds kTagNodeHeader3ds = 0xB010;
inline constexpr ChunkTag3ds kTagInstanceName3ds = 0xB011;
inline constexpr ChunkTag3ds kTagPivot3ds = 0xB013;
inline constexpr ChunkTag3ds kTagBoundingBox3ds = 0xB014;
inline constexpr ChunkTag3ds kTagMorphSmooth3ds = 0xB015;
inline constexpr ChunkTag3ds kTagPositionTrack3ds = 0xB020;
inline constexpr ChunkTag3ds kTagRotationTrack3ds = 0xB021;
inline constexpr ChunkTag3ds kTagScaleTrack3ds = 0xB022;
inline constexpr ChunkTag3ds kTagFovTrack3ds = 0xB023;
inline constexpr ChunkTag3ds kTagRollTrack3ds = 0xB024;
inline constexpr ChunkTag3ds kTagColorTrack3ds = 0xB025;
inline constexpr ChunkTag3ds kTagMorphTrack3ds = 0xB026;
inline constexpr ChunkTag3ds kTagHotspotTrack3ds = 0xB027;
inline constexpr ChunkTag3ds kTagFalloffTrack3ds = 0xB028;
inline constexpr ChunkTag3ds kTagHideTrack3ds = 0xB029;
inline constexpr ChunkTag3ds kTagNodeId3ds = 0xB030;
