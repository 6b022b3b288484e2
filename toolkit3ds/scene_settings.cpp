#include "toolkit3ds/scene_settings.h"

#include "toolkit3ds/errors.h"
#include "toolkit3ds/put_support.h"

namespace {

// Markers of the active background, in the order an old one is looked for.
constexpr ChunkTag3ds kMarkerTags[] = {kTagUseBackgroundBitmap3ds, kTagUseSolidBackground3ds,
                                       kTagUseGradientBackground3ds};

template <typename Layout>
void ResetValue(Chunk3ds* section, ChunkTag3ds tag, const Layout& value) {
    Chunk3ds* chunk = ResetChild3ds(section, tag);
    if (ErrorPending3ds) {
        return;
    }
    *GetChunkData3ds<Layout>(chunk) = value;
}

// The colour as 0x0010 and then 0x0013, both holding it, behind the parent's
// other children: both tags have ordering key 0, so inserting in order appends.
void AddColorPair(Chunk3ds* parent, const ColorFloatData3ds& color) {
    for (ChunkTag3ds tag : {kTagColorFloat3ds, kTagLinColorFloat3ds}) {
        auto* record = AddRecord3ds<ColorFloatData3ds>(parent, tag);
        if (ErrorPending3ds) {
            return;
        }
        *record = color;
    }
}

void PutSettingsChunks(Chunk3ds* section, const MeshSettings3ds& settings) {
    // A new mesh-version record; the defaults refresh before a write fills it.
    ResetChild3ds(section, kTagMeshVersion3ds);
    if (ErrorPending3ds) {
        return;
    }
    ResetValue(section, kTagMasterScale3ds, FloatData3ds{settings.masterScale});
    if (ErrorPending3ds) {
        return;
    }
    ResetValue(section, kTagShadowMapBias3ds, FloatData3ds{settings.shadowBias});
    if (ErrorPending3ds) {
        return;
    }
    ResetValue(section, kTagShadowMapSize3ds, ShortData3ds{settings.shadowMapSize});
    if (ErrorPending3ds) {
        return;
    }
    ResetValue(section, kTagShadowFilter3ds, FloatData3ds{settings.shadowFilter});
    if (ErrorPending3ds) {
        return;
    }
    ResetValue(section, kTagRayTraceBias3ds, FloatData3ds{settings.rayTraceBias});
    if (ErrorPending3ds) {
        return;
    }
    Chunk3ds* ambient = ResetChild3ds(section, kTagAmbientLight3ds);
    if (ErrorPending3ds) {
        return;
    }
    AddColorPair(ambient, settings.ambientLight);
    if (ErrorPending3ds) {
        return;
    }
    ResetValue(section, kTagConstantsPoint3ds, PointData3ds{settings.constPoint});
}

void PutBackgroundChunks(Chunk3ds* section, const Background3ds& background) {
    ResetValue(section, kTagBackgroundBitmap3ds,
               StringData3ds{std::string(WrittenText3ds(background.bitmapName))});
    if (ErrorPending3ds) {
        return;
    }
    Chunk3ds* solid = ResetChild3ds(section, kTagSolidBackground3ds);
    if (ErrorPending3ds) {
        return;
    }
    AddColorPair(solid, background.solidColor);
    if (ErrorPending3ds) {
        return;
    }
    Chunk3ds* gradient = ResetChild3ds(section, kTagGradientBackground3ds);
    if (ErrorPending3ds) {
        return;
    }
    GetChunkData3ds<FloatData3ds>(gradient)->value = background.gradientMidpoint;
    for (const ColorFloatData3ds* color :
         {&background.gradientTop, &background.gradientMiddle, &background.gradientBottom}) {
        AddColorPair(gradient, *color);
        if (ErrorPending3ds) {
            return;
        }
    }

    Chunk3ds* marker = nullptr;
    for (ChunkTag3ds tag : kMarkerTags) {
        SearchChunk3ds(section, tag, &marker);
        if (marker != nullptr) {
            break;
        }
    }
    // An emptied marker has tag 0 and is no longer written.
    EmptyChunk3ds(marker);
    if (background.backgroundType == kBackgroundNone3ds) {
        return;
    }
    if (marker == nullptr) {
        marker = AddChunk3ds(section, kTagUseBackgroundBitmap3ds);
        if (ErrorPending3ds) {
            return;
        }
    }
    switch (background.backgroundType) {
    case kBackgroundSolid3ds:
        marker->tag = kTagUseSolidBackground3ds;
        break;
    case kBackgroundGradient3ds:
        marker->tag = kTagUseGradientBackground3ds;
        break;
    default:
        marker->tag = kTagUseBackgroundBitmap3ds;
        break;
    }
}

} // namespace

void InitMeshSettings3ds(std::unique_ptr<MeshSettings3ds>* settings) {
    InitRecord3ds(settings);
}

void ReleaseMeshSettings3ds(std::unique_ptr<MeshSettings3ds>* settings) {
    if (settings == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    settings->reset();
}

void PutMeshSettings3ds(Database3ds* db, const MeshSettings3ds* settings) {
    if (!CheckPutTarget3ds(db, settings, {kTagMeshFile3ds, kTagProjectFile3ds})) {
        return;
    }
    GuardAllocations3ds([&] {
        Chunk3ds* section = FindOrAddEditor3ds(db->root.get());
        if (ErrorPending3ds) {
            return;
        }
        PutSettingsChunks(section, *settings);
    });
}

void InitBackground3ds(std::unique_ptr<Background3ds>* background) {
    InitRecord3ds(background);
}

void ReleaseBackground3ds(std::unique_ptr<Background3ds>* background) {
    ReleaseRecord3ds(background);
}

void PutBackground3ds(Database3ds* db, const Background3ds* background) {
    if (!CheckPutTarget3ds(db, background, {kTagMeshFile3ds, kTagProjectFile3ds})) {
        return;
    }
    if (background->backgroundType > kBackgroundBitmap3ds) {
        RaiseError3ds(ERR_INVALID_DATA);
        return;
    }
    GuardAllocations3ds([&] {
        Chunk3ds* section = FindOrAddEditor3ds(db->root.get());
        if (ErrorPending3ds) {
            return;
        }
        PutBackgroundChunks(section, *background);
    });
}
