#include "toolkit3ds/viewport.h"

#include "toolkit3ds/chunk_data.h"
#include "toolkit3ds/errors.h"

#include <new>
#include <string_view>
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
    {1, kTagTopView3ds},   {2, kTagBottomView3ds},      {3, kTagLeftView3ds},
    {4, kTagRightView3ds}, {5, kTagFrontView3ds},       {6, kTagBackView3ds},
    {7, kTagUserView3ds},  {0xFFFF, kTagCameraView3ds}, {18, kTagNone3ds},
};

bool IsOrthographic(uint32_t viewType) {
    return viewType >= kViewTop3ds && viewType <= kViewBack3ds;
}

std::string_view Text(const std::string& text) {
    return text.c_str();
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
        Text(viewport.cameraName).size() > kViewportCameraNameCapacity3ds) {
        RaiseError3ds(ERR_STRING_TOO_LONG);
        return false;
    }
    return true;
}

// A new chunk with its record (none for a container) inserted in order under
// the parent; returns it, or none after an error.
Chunk3ds* AddChunk(Chunk3ds* parent, ChunkTag3ds tag) {
    std::unique_ptr<Chunk3ds> chunk;
    NewChunkAndData3ds(&chunk, tag);
    if (ErrorPending3ds) {
        return nullptr;
    }
    return InsertChildInOrder3ds(parent, std::move(chunk));
}

// The root's direct child with the tag, made when absent.
Chunk3ds* RootSection(Chunk3ds* root, ChunkTag3ds tag) {
    Chunk3ds* section = nullptr;
    SearchSiblings3ds(root->child.get(), tag, &section);
    if (section != nullptr) {
        return section;
    }
    return AddChunk(root, tag);
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
        entry.cameraName.assign(Text(viewport.cameraName));
    }
}

void PutLayout(Chunk3ds* section, const Viewport3ds& viewport) {
    Chunk3ds* layout = nullptr;
    ResetOrAddChild3ds(section, kTagViewportLayout3ds, &layout);
    if (ErrorPending3ds) {
        return;
    }
    auto* state = GetChunkData3ds<ViewportLayoutData3ds>(NewChunkData3ds(layout));
    if (ErrorPending3ds) {
        return;
    }
    state->state = kLayoutState;

    Chunk3ds* sizeChunk = AddChunk(layout, kTagViewportSize3ds);
    if (ErrorPending3ds) {
        return;
    }
    *GetChunkData3ds<ViewportSizeData3ds>(sizeChunk) = {viewport.left, viewport.top, viewport.width,
                                                        viewport.height};

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
    Chunk3ds* defaultView = nullptr;
    ResetOrAddChild3ds(section, kTagDefaultView3ds, &defaultView);
    if (ErrorPending3ds) {
        return;
    }
    const ChunkTag3ds viewTag = kViewKinds[viewport.viewType - 1].defaultTag;
    if (viewTag == kTagNone3ds) {
        return;
    }
    Chunk3ds* view = AddChunk(defaultView, viewTag);
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
        GetChunkData3ds<StringData3ds>(view)->text.assign(Text(viewport.cameraName));
    }
}

} // namespace

void InitViewport3ds(std::unique_ptr<Viewport3ds>* viewport) {
    if (viewport == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    try {
        if (*viewport == nullptr) {
            *viewport = std::make_unique<Viewport3ds>();
        } else {
            **viewport = Viewport3ds{};
        }
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
    }
}

void ReleaseViewport3ds(std::unique_ptr<Viewport3ds>* viewport) {
    if (viewport != nullptr) {
        viewport->reset();
    }
}

void PutViewport3ds(Database3ds* db, const Viewport3ds* viewport) {
    if (db == nullptr || viewport == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    if (db->root == nullptr) {
        RaiseError3ds(ERR_INVALID_DATABASE);
        return;
    }
    if (db->root->tag != kTagMeshFile3ds && db->root->tag != kTagProjectFile3ds) {
        RaiseError3ds(ERR_WRONG_DATABASE);
        return;
    }
    if (!CheckViewport(*viewport)) {
        return;
    }
    try {
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
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
    }
}

void PutViewportLayout3ds(Chunk3ds* section, const Viewport3ds* viewport) {
    if (section == nullptr || viewport == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    if (!CheckViewport(*viewport)) {
        return;
    }
    try {
        PutLayout(section, *viewport);
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
    }
}

void PutDefaultView3ds(Chunk3ds* section, const Viewport3ds* viewport) {
    if (section == nullptr || viewport == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    if (!CheckViewport(*viewport)) {
        return;
    }
    try {
        PutView(section, *viewport);
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
    }
}
