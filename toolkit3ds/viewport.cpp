#include "toolkit3ds/viewport.h"

#include "toolkit3ds/chunk_data.h"
#include "toolkit3ds/errors.h"
#include "toolkit3ds/put_support.h"

#include <utility>

namespace {

constexpr std::array<int16_t, 7> kLayoutState = {0, 0, 1, 0, 0, 0, 0};
constexpr std::array<int16_t, 2> kEntryState = {1, 0};
constexpr int kEntryCopies = 5; // of each entry tag

// Angles of the entries of the orthographic and camera views, in degrees.
constexpr float kFixedHorizAngle = 20.0f;
constexpr float kFixedVertAngle = 30.0f;

// The user view's back angle, which the record has no field for.
constexpr float kUserBackAngle = 0.0f;

struct ViewKind {
    uint16_t viewCode;      // in the viewport entries
    ChunkTag3ds defaultTag; // view chunk of the default view; none for the ninth kind
};

// Indexed by view type - 1.
constexpr ViewKind kViewKinds[] = {
    {1, kTagTopView3ds},
    {2, kTagBottomView3ds},
    {3, kTagLeftView3ds},
    {4, kTagRightView3ds},
    {5, kTagFrontView3ds},
    {6, kTagBackView3ds},
    {7, kTagUserView3ds},
    {kViewCodeCamera3ds, kTagCameraView3ds},
    {kViewCodeNinth3ds, kTagNone3ds},
};

bool IsOrthographic(uint32_t viewType) {
    return viewType >= kViewTop3ds && viewType <= kViewBack3ds;
}

// The record checks shared by the three puts; each raises its error.
bool CheckViewport(const Viewport3ds& viewport) {
    const uint32_t type = viewport.viewType;
    if (type < kViewTop3ds || type > kViewNinth3ds ||
        (IsOrthographic(type) && viewport.orthoZoom == 0.0f) ||
        (type == kViewUser3ds && viewport.userZoom == 0.0f)) {
        RaiseError3ds(ERR_INVALID_DATA);
        return false;
    }
    if (type == kViewCamera3ds &&
        !FitsCapacity3ds(viewport.cameraName, kViewportCameraNameCapacity3ds)) {
        RaiseError3ds(ERR_STRING_TOO_LONG);
        return false;
    }
    return true;
}

// The root's direct child with the tag, made when absent.
Chunk3ds* RootSection(Chunk3ds* root, ChunkTag3ds tag) {
    Chunk3ds* section = nullptr;
    SearchSiblings3ds(root->child.get(), tag, &section);
    if (section != nullptr) {
        return section;
    }
    return AddChunk3ds(root, tag);
}

void FillEntry(ViewportEntryData3ds& entry, const Viewport3ds& viewport) {
    entry.entryState = kEntryState;
    entry.left = static_cast<int16_t>(viewport.left);
    entry.top = static_cast<int16_t>(viewport.top);
    entry.width = static_cast<int16_t>(viewport.width);
    entry.height = static_cast<int16_t>(viewport.height);
    entry.viewCode = kViewKinds[viewport.viewType - 1].viewCode;
    // The ninth kind keeps the zeros and empty name of a new record.
    if (IsOrthographic(viewport.viewType)) {
        entry.zoom = viewport.orthoZoom;
        entry.center = viewport.orthoTarget;
        entry.horizAngle = kFixedHorizAngle;
        entry.vertAngle = kFixedVertAngle;
    } else if (viewport.viewType == kViewUser3ds) {
        entry.zoom = viewport.userZoom;
        entry.center = viewport.userTarget;
        entry.horizAngle = viewport.userHorizAngle;
        entry.vertAngle = viewport.userVertAngle;
    } else if (viewport.viewType == kViewCamera3ds) {
        entry.horizAngle = kFixedHorizAngle;
        entry.vertAngle = kFixedVertAngle;
        entry.cameraName.assign(WrittenText3ds(viewport.cameraName));
    }
}

void PutLayout(Chunk3ds* section, const Viewport3ds& viewport) {
    Chunk3ds* layout = ResetChild3ds(section, kTagViewportLayout3ds);
    if (ErrorPending3ds) {
        return;
    }
    GetChunkData3ds<ViewportLayoutData3ds>(layout)->state = kLayoutState;

    auto* size = AddRecord3ds<ViewportSizeData3ds>(layout, kTagViewportSize3ds);
    if (ErrorPending3ds) {
        return;
    }
    *size = {viewport.left, viewport.top, viewport.width, viewport.height};

    // One entry, copied five times under each of its two tags.
    std::unique_ptr<Chunk3ds> entry;
    auto* entryData = GetChunkData3ds<ViewportEntryData3ds>(
        NewChunkAndData3ds(&entry, kTagViewportEntryDefault3ds));
    if (ErrorPending3ds) {
        return;
    }
    FillEntry(*entryData, viewport);
    for (ChunkTag3ds tag : {kTagViewportEntryDefault3ds, kTagViewportEntry3ds}) {
        entry->tag = tag;
        for (int i = 0; i < kEntryCopies; ++i) {
            std::unique_ptr<Chunk3ds> copy;
            DuplicateChunk3ds(entry.get(), &copy);
            if (ErrorPending3ds) {
                return;
            }
            InsertChildInOrder3ds(layout, std::move(copy));
            if (ErrorPending3ds) {
                return;
            }
        }
    }
}

void PutView(Chunk3ds* section, const Viewport3ds& viewport) {
    if (section->tag != kTagEditor3ds) {
        return;
    }
    Chunk3ds* defaultView = ResetChild3ds(section, kTagDefaultView3ds);
    if (ErrorPending3ds) {
        return;
    }
    const ChunkTag3ds viewTag = kViewKinds[viewport.viewType - 1].defaultTag;
    if (viewTag == kTagNone3ds) {
        return;
    }
    Chunk3ds* view = AddChunk3ds(defaultView, viewTag);
    if (ErrorPending3ds) {
        return;
    }
    // Widths are divided in single precision.
    const float width = viewport.width;
    if (IsOrthographic(viewport.viewType)) {
        *GetChunkData3ds<OrthoViewData3ds>(view) = {viewport.orthoTarget,
                                                    width / viewport.orthoZoom};
    } else if (viewport.viewType == kViewUser3ds) {
        *GetChunkData3ds<UserViewData3ds>(view) = {viewport.userTarget, width / viewport.userZoom,
                                                   viewport.userHorizAngle, viewport.userVertAngle,
                                                   kUserBackAngle};
    } else {
        GetChunkData3ds<StringData3ds>(view)->text.assign(WrittenText3ds(viewport.cameraName));
    }
}

// One of the two steps of PutViewport3ds on its own, after the argument checks.
void PutSectionStep(Chunk3ds* section, const Viewport3ds* viewport,
                    void (*step)(Chunk3ds*, const Viewport3ds&)) {
    if (section == nullptr || viewport == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    if (!CheckViewport(*viewport)) {
        return;
    }
    GuardAllocations3ds([&] { step(section, *viewport); });
}

} // namespace

void InitViewport3ds(std::unique_ptr<Viewport3ds>* viewport) {
    InitRecord3ds(viewport);
}

void ReleaseViewport3ds(std::unique_ptr<Viewport3ds>* viewport) {
    ReleaseRecord3ds(viewport);
}

void PutViewport3ds(Database3ds* db, const Viewport3ds* viewport) {
    if (!CheckPutTarget3ds(db, viewport, {kTagMeshFile3ds, kTagProjectFile3ds}) ||
        !CheckViewport(*viewport)) {
        return;
    }
    GuardAllocations3ds([&] {
        Chunk3ds* editor = RootSection(db->root.get(), kTagEditor3ds);
        if (ErrorPending3ds) {
            return;
        }
        PutLayout(editor, *viewport);
        if (ErrorPending3ds) {
            return;
        }
        PutView(editor, *viewport);
        if (ErrorPending3ds) {
            return;
        }
        Chunk3ds* keyframer = RootSection(db->root.get(), kTagKeyframer3ds);
        if (ErrorPending3ds) {
            return;
        }
        PutLayout(keyframer, *viewport);
    });
}

void PutViewportLayout3ds(Chunk3ds* section, const Viewport3ds* viewport) {
    PutSectionStep(section, viewport, PutLayout);
}

void PutDefaultView3ds(Chunk3ds* section, const Viewport3ds* viewport) {
    PutSectionStep(section, viewport, PutView);
}
