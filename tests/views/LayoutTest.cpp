#include "views/Layout.h"

#include <gtest/gtest.h>

using namespace orv;

namespace {
// A shown bar: left, top, width, height, max, largeChange. Hidden bars are written {}.
struct Bar {
    bool shown = false;
    float left = 0, top = 0, width = 0, height = 0;
    int max = 0, large = 0;
};
Bar Shown(float l, float t, float w, float h, int max, int large) { return {true, l, t, w, h, max, large}; }

struct Case {
    const char* name;
    float width, height;
    int mode;
    Bar h1, h2, v2;
    bool viewport;
    float vpLeft, vpTop, vpWidth, vpHeight;
    bool grid;
    float gridTop, gridHeight; // a hidden grid keeps its old height (1234)
};

void ExpectBar(const char* what, const ScrollBarGeometry& got, const Bar& want)
{
    SCOPED_TRACE(what);
    EXPECT_EQ(got.visible, want.shown);
    EXPECT_EQ(got.value, 0);
    if (!want.shown)
        return;
    EXPECT_FLOAT_EQ(got.left, want.left);
    EXPECT_FLOAT_EQ(got.top, want.top);
    EXPECT_FLOAT_EQ(got.width, want.width);
    EXPECT_FLOAT_EQ(got.height, want.height);
    EXPECT_EQ(got.max, want.max);
    EXPECT_EQ(got.largeChange, want.large);
}
} // namespace

TEST(ArrangeViews, ListAndCardLayouts)
{
    // The bars shown: HScroll1 below the top band, HScroll2 and VScroll2 of the card's viewport.
    const Bar band = Shown(0, 2775, 8000, 255, 98, 533); // (9480 - 8000) / 15 = 98
    const Bar hTall = Shown(0, 6480, 8000, 255, 98, 533);
    const Bar hLow = Shown(0, 4745, 7745, 255, 115, 516);
    const Bar hNone = Shown(0, 2745, 7745, 255, 115, 516);
    const Bar vTall = Shown(11745, 2775, 255, 2225, 81, 148);
    const Bar vLow = Shown(7745, 3030, 255, 1715, 115, 114);
    const Bar vNone = Shown(7745, 3030, 255, 0, 230, 0);
    const Bar vWide = Shown(9345, 2775, 255, 2225, 81, 148);
    // One case a row: name, width, height, mode; HScroll1, HScroll2, VScroll2 ({} hidden); the card's
    // viewport (shown, left, top, width, height); the grid (shown, top, height).
    // clang-format off
    const Case cases[] = {
        {"list, wide",            12000, 8000, 0, {},   {},    {},    false,   0,    0,     0,    0, true,  2775, 5225},
        {"list, band width",       9480, 8000, 0, {},   {},    {},    false,   0,    0,     0,    0, true,  2775, 5225},
        {"list, narrow",           8000, 8000, 0, band, {},    {},    false,   0,    0,     0,    0, true,  3030, 4970},
        {"list, no room",          8000, 3000, 0, band, {},    {},    false,   0,    0,     0,    0, true,  3000,    0},
        {"card, beside",          20000, 9000, 1, {},   {},    {},    true, 9480,    0,  9480, 3450, true,  3450, 5550},
        {"card, beside, short",   20000, 3000, 1, {},   {},    {},    true, 9480,    0,  9480, 3450, false, 3450, 1234},
        {"card, stacked, limit",  18960, 9000, 1, {},   {},    {},    true,    0, 2775,  9480, 3450, true,  6225, 2775},
        {"card, fills height",    12000, 6225, 1, {},   {},    {},    true,    0, 2775,  9480, 3450, false, 6225, 1234},
        {"card, too short",       12000, 5000, 1, {},   {},    vTall, true,    0, 2775, 11745, 2225, false, 6225, 1234},
        {"card, narrow, tall",     8000, 9000, 1, band, hTall, {},    true,    0, 3030,  8000, 3450, true,  6735, 2265},
        {"card, narrow, short",    8000, 5000, 1, band, hLow,  vLow,  true,    0, 3030,  7745, 1715, false, 6735, 1234},
        {"card, narrow, no room",  8000, 3000, 1, band, hNone, vNone, true,    0, 3030,  7745,    0, false, 6735, 1234},
        // The vertical bar narrows the viewport below the card width, yet no card bar appears.
        {"card, wider, short",     9600, 5000, 1, {},   {},    vWide, true,    0, 2775,  9345, 2225, false, 6225, 1234},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LayoutInput in;
        in.scaleWidth = c.width;
        in.scaleHeight = c.height;
        in.mode = static_cast<ViewMode>(c.mode);
        in.gridHeight = 1234;
        const LayoutResult r = ArrangeViewsGeometry(in);
        ExpectBar("HScroll1", r.hScroll1, c.h1);
        ExpectBar("HScroll2", r.hScroll2, c.h2);
        ExpectBar("VScroll2", r.vScroll2, c.v2);
        EXPECT_FLOAT_EQ(r.frame1Left, 0);
        EXPECT_EQ(r.frame8Visible, c.viewport);
        if (c.viewport) {
            EXPECT_FLOAT_EQ(r.frame8Left, c.vpLeft);
            EXPECT_FLOAT_EQ(r.frame8Top, c.vpTop);
            EXPECT_FLOAT_EQ(r.frame8Width, c.vpWidth);
            EXPECT_FLOAT_EQ(r.frame8Height, c.vpHeight);
            EXPECT_FLOAT_EQ(r.frame5Left, 0);
            EXPECT_FLOAT_EQ(r.frame5Top, 0);
        }
        EXPECT_EQ(r.gridVisible, c.grid);
        EXPECT_FLOAT_EQ(r.gridTop, c.gridTop);
        EXPECT_FLOAT_EQ(r.gridHeight, c.gridHeight);
    }
}

TEST(ArrangeViews, OtherTwipsPerPixel)
{
    LayoutInput in;
    in.scaleWidth = in.scaleHeight = 8000;
    in.tppX = 12;
    const LayoutResult r = ArrangeViewsGeometry(in);
    EXPECT_EQ(r.hScroll1.max, 123);
    EXPECT_EQ(r.hScroll1.largeChange, 666);
}

TEST(PixelsOf, RoundsToWholeThenTruncates)
{
    EXPECT_EQ(WholeTwips(2.5f), 2);
    EXPECT_EQ(WholeTwips(-3.5f), -4);
    EXPECT_EQ(PixelsOf(-1480, 15), -98);
    EXPECT_EQ(PixelsOf(14.5f, 15), 0);
    EXPECT_EQ(PixelsOf(29.5f, 15), 2);
    EXPECT_EQ(PixelsOf(1480, 12.5f), 123);
    EXPECT_EQ(PixelsOf(1e7f, 1), 32767);
}
