#include "toolkit3ds/viewport.h"

#include "tests/support/tree_outline.h"
#include "toolkit3ds/chunk_data.h"
#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

namespace {

class Viewport : public ToolkitTest {};

const std::string kLayoutOutline = "7001(7020 7012 7012 7012 7012 7012 7011 7011 7011 7011 7011)";

std::unique_ptr<Viewport3ds> NewViewport(uint32_t viewType) {
    std::unique_ptr<Viewport3ds> viewport;
    InitViewport3ds(&viewport);
    viewport->viewType = viewType;
    return viewport;
}

// The viewport as the converter puts it.
std::unique_ptr<Viewport3ds> ConverterViewport() {
    auto viewport = NewViewport(kViewCamera3ds);
    viewport->cameraName = "Camera1";
    return viewport;
}

Chunk3ds* Keyframer(Database3ds& db) {
    return FindChunk(db.root.get(), kTagKeyframer3ds);
}

// Put over a top view: the chunks are reused, holding only what the second put writes.
TEST_F(Viewport, ConverterViewportLooksThroughTheCamera) {
    auto db = MakeDatabase();
    PutViewport3ds(db.get(), NewViewport(kViewTop3ds).get());
    Chunk3ds* layout = FindChunk(Editor(*db), kTagViewportLayout3ds);
    Chunk3ds* defaultView = FindChunk(Editor(*db), kTagDefaultView3ds);
    PutViewport3ds(db.get(), ConverterViewport().get());
    ASSERT_FALSE(ErrorPending3ds);

    EXPECT_EQ(TreeOutline(Editor(*db)), "3D3D(3D3E " + kLayoutOutline + " 3000(3080))");
    EXPECT_EQ(TreeOutline(Keyframer(*db)), "B000(B00A " + kLayoutOutline + ")");
    EXPECT_EQ(FindChunk(Editor(*db), kTagViewportLayout3ds), layout);
    EXPECT_EQ(FindChunk(Editor(*db), kTagDefaultView3ds), defaultView);
    EXPECT_TRUE(SameTree(layout, FindChunk(Keyframer(*db), kTagViewportLayout3ds)));
    const std::vector<Chunk3ds*> entries = Children(layout); // size, default entry, others
    for (size_t i = 2; i < entries.size(); ++i) {
        EXPECT_EQ(*entries[i]->data, *entries[1]->data);
    }
    EXPECT_EQ(FindRecord<ViewportLayoutData3ds>(layout, kTagViewportLayout3ds)->state,
              (std::array<int16_t, 7>{0, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(*GetChunkData3ds<ViewportSizeData3ds>(entries[0]),
              (ViewportSizeData3ds{0, 0, 1000, 1000}));
    EXPECT_EQ(FindRecord<StringData3ds>(Editor(*db), kTagCameraView3ds)->text, "Camera1");

    EXPECT_EQ(EncodeChunk(FindChunk(layout, kTagViewportEntryDefault3ds)),
              Hex("1270 37000000"              // entry, 55 bytes
                  "0100 0000"                  // states 1, 0
                  "0000 0000 E803 E803"        // 0, 0, 1000, 1000
                  "FFFF"                       // camera view
                  "00000000"                   // zoom 0
                  "00000000 00000000 00000000" // centre
                  "0000A041 0000F041"          // 20 and 30 degrees
                  "43616D65726131 00000000")); // "Camera1" in 11 bytes
}

TEST_F(Viewport, ViewTypesChooseEntryAndDefaultView) {
    auto db = MakeDatabase();
    auto top = NewViewport(kViewTop3ds);
    top->orthoTarget = {1, 2, 3};
    PutViewport3ds(db.get(), top.get());
    const OrthoViewData3ds* view = FindRecord<OrthoViewData3ds>(Editor(*db), kTagTopView3ds);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(std::bit_cast<uint32_t>(view->width), 0x44A9087Bu); // 1000 / 0.7395 in float
    EXPECT_EQ(*FindRecord<ViewportEntryData3ds>(Editor(*db), kTagViewportEntry3ds),
              (ViewportEntryData3ds{{1, 0}, 0, 0, 1000, 1000, 1, 0.7395f, {1, 2, 3}, 20, 30, ""}));

    auto user = NewViewport(kViewUser3ds);
    user->width = 500;
    user->userZoom = 2;
    user->userTarget = {4, 5, 6};
    user->userHorizAngle = 45;
    user->cameraName = "ignored";
    PutViewport3ds(db.get(), user.get());
    EXPECT_EQ(*FindRecord<UserViewData3ds>(Editor(*db), kTagUserView3ds),
              (UserViewData3ds{{4, 5, 6}, 250, 45, 30, 0}));
    EXPECT_EQ(*FindRecord<ViewportEntryData3ds>(Keyframer(*db), kTagViewportEntry3ds),
              (ViewportEntryData3ds{{1, 0}, 0, 0, 500, 1000, 7, 2, {4, 5, 6}, 45, 30, ""}));

    // The ninth kind: code 18, nothing else in the entries, an empty default view.
    PutViewport3ds(db.get(), NewViewport(kViewNinth3ds).get());
    EXPECT_EQ(*FindRecord<ViewportEntryData3ds>(Editor(*db), kTagViewportEntryDefault3ds),
              (ViewportEntryData3ds{{1, 0}, 0, 0, 1000, 1000, 18, 0, {0, 0, 0}, 0, 0, ""}));
    EXPECT_EQ(TreeOutline(FindChunk(Editor(*db), kTagDefaultView3ds)), "3000");
    EXPECT_FALSE(ErrorPending3ds);
}

// The checks shared by every put are tested in put_support_test.
TEST_F(Viewport, RefusedPutsChangeNothing) {
    auto db = MakeDatabase();
    PutViewport3ds(db.get(), ConverterViewport().get());
    const std::unique_ptr<Chunk3ds> before = CopyTree(db->root.get());
    std::vector<std::unique_ptr<Viewport3ds>> invalid;
    for (uint32_t viewType : {0u, 10u, kViewFront3ds, kViewUser3ds}) {
        invalid.push_back(NewViewport(viewType));
    }
    invalid[2]->orthoZoom = 0; // widths are divided by the zoom
    invalid[3]->userZoom = 0;
    auto longName = ConverterViewport();
    longName->cameraName = "Elevenchars";
    for (const auto& record : invalid) {
        PutViewport3ds(db.get(), record.get());
    }
    PutViewport3ds(db.get(), longName.get());
    PutViewportLayout3ds(nullptr, longName.get());
    PutDefaultView3ds(Editor(*db), nullptr);
    PutDefaultView3ds(Editor(*db), invalid[0].get());
    EXPECT_EQ(RaisedErrors(),
              (std::vector<int32_t>{ERR_INVALID_DATA, ERR_INVALID_DATA, ERR_INVALID_DATA,
                                    ERR_INVALID_DATA, ERR_STRING_TOO_LONG, ERR_INVALID_ARG,
                                    ERR_INVALID_ARG, ERR_INVALID_DATA}));
    EXPECT_TRUE(SameTree(db->root.get(), before.get()));

    // A zero zoom is fine where no width is divided by it; so is an unused long name.
    ClearErrors3ds();
    auto camera = ConverterViewport();
    camera->orthoZoom = camera->userZoom = 0;
    PutViewport3ds(db.get(), camera.get());
    longName->viewType = kViewTop3ds;
    PutViewport3ds(db.get(), longName.get());
    EXPECT_FALSE(ErrorPending3ds);
}

} // namespace
