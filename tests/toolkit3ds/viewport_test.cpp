#include "toolkit3ds/viewport.h"

#include "tests/support/allocation_hooks.h"
#include "tests/support/tree_outline.h"
#include "toolkit3ds/chunk_data.h"
#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

namespace {

class Viewport : public ToolkitTest {};

const char* const kLayoutOutline = "7001(7020 7012 7012 7012 7012 7012 7011 7011 7011 7011 7011)";

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

// Every entry of the layout holds the same record.
void ExpectEqualEntries(Chunk3ds* layout) {
    const ViewportEntryData3ds* first =
        FindRecord<ViewportEntryData3ds>(layout, kTagViewportEntryDefault3ds);
    ASSERT_NE(first, nullptr);
    for (Chunk3ds* child : Children(layout)) {
        if (child->tag != kTagViewportSize3ds) {
            EXPECT_EQ(*GetChunkData3ds<ViewportEntryData3ds>(child), *first);
        }
    }
}

// Put over a top view: the chunks are reused, holding only what the second put writes.
TEST_F(Viewport, ConverterViewportLooksThroughTheCamera) {
    auto db = MakeDatabase();
    PutViewport3ds(db.get(), NewViewport(kViewTop3ds).get());
    Chunk3ds* layout = FindChunk(Editor(*db), kTagViewportLayout3ds);
    Chunk3ds* defaultView = FindChunk(Editor(*db), kTagDefaultView3ds);
    PutViewport3ds(db.get(), ConverterViewport().get());
    ASSERT_FALSE(ErrorPending3ds);

    EXPECT_EQ(TreeOutline(Editor(*db)),
              std::string("3D3D(3D3E ") + kLayoutOutline + " 3000(3080))");
    EXPECT_EQ(TreeOutline(Keyframer(*db)), std::string("B000(B00A ") + kLayoutOutline + ")");
    EXPECT_EQ(FindChunk(Editor(*db), kTagViewportLayout3ds), layout);
    EXPECT_EQ(FindChunk(Editor(*db), kTagDefaultView3ds), defaultView);
    EXPECT_TRUE(SameTree(layout, FindChunk(Keyframer(*db), kTagViewportLayout3ds)));
    ExpectEqualEntries(layout);
    EXPECT_EQ(FindRecord<ViewportLayoutData3ds>(layout, kTagViewportLayout3ds)->state,
              (std::array<int16_t, 7>{0, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(*FindRecord<ViewportSizeData3ds>(layout, kTagViewportSize3ds),
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
    ASSERT_FALSE(ErrorPending3ds);
    const OrthoViewData3ds* view = FindRecord<OrthoViewData3ds>(Editor(*db), kTagTopView3ds);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(std::bit_cast<uint32_t>(view->width), 0x44A9087Bu); // 1000 / 0.7395 in float
    EXPECT_EQ(view->target, (Point3ds{1, 2, 3}));
    const ViewportEntryData3ds* entry =
        FindRecord<ViewportEntryData3ds>(Editor(*db), kTagViewportEntry3ds);
    EXPECT_EQ(*entry,
              (ViewportEntryData3ds{{1, 0}, 0, 0, 1000, 1000, 1, 0.7395f, {1, 2, 3}, 20, 30, ""}));

    PutViewport3ds(db.get(), NewViewport(kViewBack3ds).get());
    EXPECT_EQ(TreeOutline(FindChunk(Editor(*db), kTagDefaultView3ds)), "3000(3060)");

    auto user = NewViewport(kViewUser3ds);
    user->width = 500;
    user->userZoom = 2;
    user->userTarget = {4, 5, 6};
    user->userHorizAngle = 45;
    user->cameraName = "ignored";
    PutViewport3ds(db.get(), user.get());
    EXPECT_EQ(*FindRecord<UserViewData3ds>(Editor(*db), kTagUserView3ds),
              (UserViewData3ds{{4, 5, 6}, 250, 45, 30, 0}));
    entry = FindRecord<ViewportEntryData3ds>(Keyframer(*db), kTagViewportEntry3ds);
    EXPECT_EQ(*entry, (ViewportEntryData3ds{{1, 0}, 0, 0, 500, 1000, 7, 2, {4, 5, 6}, 45, 30, ""}));

    // The ninth kind: code 18, nothing else in the entries, an empty default view.
    PutViewport3ds(db.get(), NewViewport(kViewNinth3ds).get());
    EXPECT_EQ(*FindRecord<ViewportEntryData3ds>(Editor(*db), kTagViewportEntryDefault3ds),
              (ViewportEntryData3ds{{1, 0}, 0, 0, 1000, 1000, 18, 0, {0, 0, 0}, 0, 0, ""}));
    EXPECT_EQ(TreeOutline(FindChunk(Editor(*db), kTagDefaultView3ds)), "3000");
    EXPECT_FALSE(ErrorPending3ds);
}

TEST_F(Viewport, MakesMissingSectionsInOrder) {
    std::unique_ptr<Database3ds> db;
    InitDatabase3ds(db);
    NewChunkWithTag3ds(&db->root, kTagMeshFile3ds);
    std::unique_ptr<Chunk3ds> version;
    NewChunkAndData3ds(&version, kTagFileVersion3ds);
    InsertChildInOrder3ds(db->root.get(), std::move(version));
    PutViewport3ds(db.get(), ConverterViewport().get());
    ASSERT_FALSE(ErrorPending3ds);
    EXPECT_EQ(TreeOutline(db->root.get()), std::string("4D4D(0002 3D3D(") + kLayoutOutline +
                                               " 3000(3080)) B000(" + kLayoutOutline + "))");

    // Only direct children of the root count as sections; the layout steps alone
    // work on any section, the default view only on a 3D editor section.
    std::unique_ptr<Chunk3ds> other;
    NewChunkWithTag3ds(&other, kTagKeyframer3ds);
    PutDefaultView3ds(other.get(), ConverterViewport().get());
    EXPECT_EQ(other->child, nullptr);
    PutViewportLayout3ds(other.get(), ConverterViewport().get());
    EXPECT_EQ(TreeOutline(other.get()), std::string("B000(") + kLayoutOutline + ")");
    EXPECT_FALSE(ErrorPending3ds);
}

// The checks shared by every put are tested in put_support_test.
TEST_F(Viewport, RefusedPutsChangeNothing) {
    auto db = MakeDatabase();
    PutViewport3ds(db.get(), ConverterViewport().get());
    const std::unique_ptr<Chunk3ds> before = CopyTree(db->root.get());
    auto viewport = NewViewport(kViewTop3ds);
    std::vector<std::unique_ptr<Viewport3ds>> invalid;
    invalid.push_back(NewViewport(0));
    invalid.push_back(NewViewport(10));
    invalid.push_back(NewViewport(kViewFront3ds));
    invalid.back()->orthoZoom = 0;
    invalid.push_back(NewViewport(kViewUser3ds));
    invalid.back()->userZoom = 0;
    auto longName = ConverterViewport();
    longName->cameraName = "Elevenchars";
    ASSERT_FALSE(ErrorPending3ds);

    std::vector<int32_t> expected;
    for (const auto& record : invalid) {
        PutViewport3ds(db.get(), record.get());
        expected.push_back(ERR_INVALID_DATA);
    }
    PutViewport3ds(db.get(), longName.get());
    expected.push_back(ERR_STRING_TOO_LONG);
    Chunk3ds* editor = Editor(*db);
    PutViewportLayout3ds(nullptr, viewport.get());
    PutDefaultView3ds(editor, nullptr);
    PutViewportLayout3ds(editor, invalid[0].get());
    PutDefaultView3ds(editor, invalid[0].get());
    InitViewport3ds(nullptr);
    expected.insert(expected.end(), {ERR_INVALID_ARG, ERR_INVALID_ARG, ERR_INVALID_DATA,
                                     ERR_INVALID_DATA, ERR_INVALID_ARG});
    EXPECT_EQ(ErrorCodes(), expected);
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

TEST_F(Viewport, EveryAllocationFailureIsReported) {
    std::unique_ptr<Database3ds> db;
    auto viewport = ConverterViewport();
    const int failures = SweepAllocationFaults(
        [&] {
            ClearErrors3ds();
            db = MakeDatabase();
            PutViewport3ds(db.get(), NewViewport(kViewUser3ds).get());
            ClearErrors3ds();
        },
        [&] { PutViewport3ds(db.get(), viewport.get()); },
        [&] { EXPECT_EQ(ErrorCodes(), std::vector<int32_t>{ERR_NO_MEM}); });
    EXPECT_GT(failures, 20);
    EXPECT_EQ(TreeOutline(Editor(*db)),
              std::string("3D3D(3D3E ") + kLayoutOutline + " 3000(3080))");
}

} // namespace
