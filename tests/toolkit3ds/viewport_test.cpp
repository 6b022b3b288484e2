#include "toolkit3ds/viewport.h"

#include "tests/support/tree_outline.h"
#include "toolkit3ds/chunk_data.h"
#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class Viewport : public ToolkitTest {};

const std::string kLayoutOutline = "7001(7020 7012 7012 7012 7012 7012 7011 7011 7011 7011 7011)";

Chunk3ds* Keyframer(Database3ds& db) {
    return FindChunk(db.root.get(), kTagKeyframer3ds);
}

// Each kind of view, put over the one before: the entry it gives both layouts
// and the default view it writes, in the chunks the first put made. The
// converter's camera view is in the golden file; the refusals are in
// put_support_test.
TEST_F(Viewport, EveryViewTypeChoosesItsEntryAndDefaultViewReusingTheChunks) {
    std::unique_ptr<Viewport3ds> viewport;
    InitViewport3ds(&viewport); // a top view
    viewport->width = 500;
    viewport->orthoZoom = 0.5f;
    viewport->orthoTarget = {1, 2, 3};
    viewport->userZoom = 2;
    viewport->userTarget = {4, 5, 6};
    viewport->userHorizAngle = 45;
    viewport->userVertAngle = 35;
    viewport->cameraName = "Elevenchars"; // too long, but only the camera view writes it
    // The entries, with the view code still 0: the orthographic kinds, the
    // user view, and the ninth kind with nothing but its code.
    const ViewportEntryData3ds ortho = {{1, 0}, 0, 0, 500, 1000, 0, 0.5f, {1, 2, 3}, 20, 30, ""};
    const ViewportEntryData3ds user = {{1, 0}, 0, 0, 500, 1000, 0, 2, {4, 5, 6}, 45, 35, ""};
    const ViewportEntryData3ds ninth = {{1, 0}, 0, 0, 500, 1000, 0, 0, {0, 0, 0}, 0, 0, ""};
    // Default views of the orthographic kinds: the width 500 / 0.5, then the target.
    const std::string orthoView = "16000000 00007A44 0000803F 00000040 00004040";
    struct Case {
        uint32_t viewType;
        uint16_t viewCode;
        const ViewportEntryData3ds* entry;
        std::string defaultView; // hex
    };
    const Case cases[] = {
        {kViewTop3ds, 1, &ortho, "0030 1C000000 1030 " + orthoView},
        {kViewBottom3ds, 2, &ortho, "0030 1C000000 2030 " + orthoView},
        {kViewLeft3ds, 3, &ortho, "0030 1C000000 3030 " + orthoView},
        {kViewRight3ds, 4, &ortho, "0030 1C000000 4030 " + orthoView},
        {kViewFront3ds, 5, &ortho, "0030 1C000000 5030 " + orthoView},
        {kViewBack3ds, 6, &ortho, "0030 1C000000 6030 " + orthoView},
        // Width 500 / 2, angles 45, 35 and 0, target.
        {kViewUser3ds, 7, &user,
         "0030 28000000 7030 22000000 00007A43 00003442 00000C42 00000000 00008040 0000A040 "
         "0000C040"},
        {kViewNinth3ds, 18, &ninth, "0030 06000000"}, // an empty default view
    };
    auto db = MakeDatabase();
    PutViewport3ds(db.get(), viewport.get());
    Chunk3ds* layout = FindChunk(Editor(*db), kTagViewportLayout3ds);
    Chunk3ds* defaultView = FindChunk(Editor(*db), kTagDefaultView3ds);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.viewType);
        viewport->viewType = c.viewType;
        PutViewport3ds(db.get(), viewport.get());
        PutDefaultView3ds(Keyframer(*db), viewport.get()); // only a 3D editor section takes one
        ASSERT_FALSE(ErrorPending3ds);
        EXPECT_EQ(FindChunk(Editor(*db), kTagViewportLayout3ds), layout);
        EXPECT_EQ(FindChunk(Editor(*db), kTagDefaultView3ds), defaultView);
        EXPECT_EQ(TreeOutline(Editor(*db)),
                  "3D3D(3D3E " + kLayoutOutline + " " + TreeOutline(defaultView) + ")");
        EXPECT_EQ(TreeOutline(Keyframer(*db)), "B000(B00A " + kLayoutOutline + ")");
        EXPECT_TRUE(SameTree(layout, FindChunk(Keyframer(*db), kTagViewportLayout3ds)));
        ViewportEntryData3ds entry = *c.entry;
        entry.viewCode = c.viewCode;
        for (Chunk3ds* section : {Editor(*db), Keyframer(*db)}) {
            EXPECT_EQ(*FindRecord<ViewportEntryData3ds>(section, kTagViewportEntry3ds), entry);
            EXPECT_EQ(*FindRecord<ViewportSizeData3ds>(section, kTagViewportSize3ds),
                      (ViewportSizeData3ds{0, 0, 500, 1000}));
        }
        EXPECT_EQ(EncodeChunk(defaultView), Hex(c.defaultView.c_str()));
    }
}

} // namespace
