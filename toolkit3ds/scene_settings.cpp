#include "toolkit3ds/scene_settings.h"

#include "toolkit3ds/errors.h"

#include <new>
#include <string_view>
#include <utility>

namespace {

// Markers of the active background, in the order an old one is looked for.
constexpr ChunkTag3ds kMarkerTags[] = {kTagUseBackgroundBitmap3ds, kTagUseSolidBackground3ds,
                                       kTagUseGradientBackground3ds};

// The put checks shared by both settings records; each raises its error.
bool CheckDatabase(const Database3ds* db, const void* record) {
    if (db == nullptr || record == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return false;
    }
    if (db->root == nullptr) {
        RaiseError3ds(ERR_INVALID_DATABASE);
        return false;
    }
    if (db->root->tag != kTagMeshFile3ds && db->root->tag != kTagProjectFile3ds) {
        RaiseError3ds(ERR_WRONG_DATABASE);
        return false;
    }
    return true;
}

// The 3D editor section, made when absent.
Chunk3ds* EditorSection(Chunk3ds* root) {
    Chunk3ds* section = nullptr;
    SearchChunk3ds(root, kTagEditor3ds, &section);
    if (ErrorPending3ds || section != nullptr) {
        return section;
    }
    std::unique_ptr<Chunk3ds> added;
    NewChunkWithTag3ds(&added, kTagEditor3ds);
    if (ErrorPending3ds) {
        return nullptr;
    }
    return InsertChildInOrder3ds(root, std::move(added));
}

// The section's child with the tag, emptied in its place or added, with a new
// record of the tag's layout; returns the chunk.
Chunk3ds* ResetChild(Chunk3ds* section, ChunkTag3ds tag) {
    Chunk3ds* chunk = nullptr;
    ResetOrAddChild3ds(section, tag, &chunk);
    if (ErrorPending3ds) {
        return nullptr;
    }
    NewChunkData3ds(chunk);
    if (ErrorPending3ds) {
        return nullptr;
    }
    return chunk;
}

template <typename Layout>
void ResetValue(Chunk3ds* section, ChunkTag3ds tag, const Layout& value) {
    Chunk3ds* chunk = ResetChild(section, tag);
    if (ErrorPending3ds) {
        return;
    }
    *GetChunkData3ds<Layout>(chunk) = value;
}

// The colour as 0x0010 and then 0x0013, both holding it, under the parent.
// Inserting in order and appending give the same place: both tags have key 0.
void AddColorPair(Chunk3ds* parent, const ColorFloatData3ds& color) {
    for (ChunkTag3ds tag : {kTagColorFloat3ds, kTagLinColorFloat3ds}) {
        std::unique_ptr<Chunk3ds> chunk;
        auto* record = GetChunkData3ds<ColorFloatData3ds>(NewChunkAndData3ds(&chunk, tag));
        if (ErrorPending3ds) {
            return;
        }
        *record = color;
        AppendChild3ds(parent, std::move(chunk));
    }
}

void PutSettingsChunks(Chunk3ds* section, const MeshSettings3ds& settings) {
    // A new mesh-version record; the defaults refresh before a write fills it.
    ResetChild(section, kTagMeshVersion3ds);
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
    Chunk3ds* ambient = ResetChild(section, kTagAmbientLight3ds);
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
               StringData3ds{std::string(std::string_view(background.bitmapName.c_str()))});
    if (ErrorPending3ds) {
        return;
    }
    Chunk3ds* solid = ResetChild(section, kTagSolidBackground3ds);
    if (ErrorPending3ds) {
        return;
    }
    AddColorPair(solid, background.solidColor);
    if (ErrorPending3ds) {
        return;
    }
    Chunk3ds* gradient = ResetChild(section, kTagGradientBackground3ds);
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
        std::unique_ptr<Chunk3ds> added;
        NewChunkWithTag3ds(&added, kTagUseBackgroundBitmap3ds);
        if (ErrorPending3ds) {
            return;
        }
        marker = InsertChildInOrder3ds(section, std::move(added));
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
    if (settings == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    try {
        if (*settings == nullptr) {
            *settings = std::make_unique<MeshSettings3ds>();
        } else {
            **settings = MeshSettings3ds{};
        }
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
    }
}

void ReleaseMeshSettings3ds(std::unique_ptr<MeshSettings3ds>* settings) {
    if (settings == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    settings->reset();
}

void PutMeshSettings3ds(Database3ds* db, const MeshSettings3ds* settings) {
    if (!CheckDatabase(db, settings)) {
        return;
    }
    try {
        Chunk3ds* section = EditorSection(db->root.get());
        if (ErrorPending3ds) {
            return;
        }
        PutSettingsChunks(section, *settings);
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
    }
}

void InitBackground3ds(std::unique_ptr<Background3ds>* background) {
    if (background == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    try {
        if (*background == nullptr) {
            *background = std::make_unique<Background3ds>();
        } else {
            **background = Background3ds{};
        }
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
    }
}

void ReleaseBackground3ds(std::unique_ptr<Background3ds>* background) {
    if (background != nullptr) {
        background->reset();
    }
}

void PutBackground3ds(Database3ds* db, const Background3ds* background) {
    if (!CheckDatabase(db, background)) {
        return;
    }
    if (background->backgroundType > kBackgroundBitmap3ds) {
        RaiseError3ds(ERR_INVALID_DATA);
        return;
    }
    try {
        Chunk3ds* section = EditorSection(db->root.get());
        if (ErrorPending3ds) {
            return;
        }
        PutBackgroundChunks(section, *background);
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
    }
}
