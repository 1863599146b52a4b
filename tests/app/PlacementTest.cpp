#include "app/Placement.h"

#include <gtest/gtest.h>

using namespace orv;

namespace {
MonitorCensus Census(long count, PixelRect virtualRect, std::vector<PixelRect> rects)
{
    MonitorCensus c;
    c.monitorCount = count;
    c.virtualLeft = virtualRect.left;
    c.virtualTop = virtualRect.top;
    c.virtualWidth = virtualRect.right - virtualRect.left;
    c.virtualHeight = virtualRect.bottom - virtualRect.top;
    c.monitorRects = std::move(rects);
    return c;
}
const MonitorCensus kOne = Census(1, {0, 0, 1024, 768}, {{0, 0, 1024, 768}});
const MonitorCensus kTwo = Census(2, {0, 0, 2048, 768}, {{0, 0, 1024, 768}, {1024, 0, 2048, 768}});

void ExpectPlaced(const TwipsRect& saved, const MonitorCensus& c, TwipsRect want, float tpp = 15, float tppY = 0)
{
    const Placement p = PlaceWindow(saved, c, tpp, tppY > 0 ? tppY : tpp);
    ASSERT_TRUE(p.move);
    EXPECT_EQ(p.rect.left, want.left);
    EXPECT_EQ(p.rect.top, want.top);
    EXPECT_EQ(p.rect.width, want.width);
    EXPECT_EQ(p.rect.height, want.height);
}
} // namespace

TEST(OverlapArea, IntersectionOrNothing)
{
    const PixelRect m{0, 0, 1024, 768};
    EXPECT_EQ(OverlapArea({1000, 700, 1100, 800}, m), 24 * 68);
    EXPECT_EQ(OverlapArea({-10, -10, 2000, 2000}, m), 1024 * 768);
    EXPECT_EQ(OverlapArea({1024, 0, 1100, 100}, m), 0); // touching edges do not overlap
    EXPECT_EQ(OverlapArea({0, -50, 100, 0}, m), 0);
}

TEST(LimitMonitorCount, Switch)
{
    MonitorCensus c = kTwo;
    LimitMonitorCount(c, 255);
    EXPECT_EQ(c.monitorCount, 2);
    LimitMonitorCount(c, 1);
    EXPECT_EQ(c.monitorCount, 1);
    LimitMonitorCount(c, 1);
    EXPECT_EQ(c.monitorCount, 1);
    LimitMonitorCount(c, 0);
    EXPECT_EQ(c.monitorCount, 0);
}

TEST(PlaceWindow, OneMonitor)
{
    ExpectPlaced({-3000, 600, 6000, 4500}, kOne, {0, 600, 6000, 4500});
    ExpectPlaced({12000, 0, 6000, 4500}, kOne, {9360, 0, 6000, 4500});
    ExpectPlaced({0, 0, 20000, 4500}, kOne, {0, 0, 15360, 4500});
    ExpectPlaced({0, 0, 6000, 12000}, kOne, {0, 0, 6000, 11520});
    ExpectPlaced({9360, 6975, 6000, 4545}, kOne, {9360, 6975, 6000, 4545}); // touching the edges
    ExpectPlaced({1500, 0, 0, 0}, kOne, {1500, 0, 0, 0}); // partial, taken literally
    // Compared unrounded: -7 twips is -0.47 pixels, 9367 + 6000 is 1024.47 pixels.
    ExpectPlaced({-7, 0, 6000, 4500}, kOne, {0, 0, 6000, 4500});
    ExpectPlaced({9367, 0, 6000, 4500}, kOne, {9360, 0, 6000, 4500});
    // Assignments round halves to even: 1 x 7.5 -> 8, 3 x 7.5 -> 22, 101 x 7.5 - 100 -> 658.
    const MonitorCensus odd = Census(1, {}, {{1, 3, 101, 101}});
    ExpectPlaced({0, 0, 300, 300}, odd, {8, 22, 300, 300}, 7.5f);
    ExpectPlaced({700, 100, 100, 100}, odd, {658, 100, 100, 100}, 7.5f);
}

// Horizontal and vertical twips per pixel differ (10 and 20): each axis is clamped with its own.
TEST(PlaceWindow, EachAxisWithItsOwnTwipsPerPixel)
{
    ExpectPlaced({20000, 20000, 3000, 4000}, kOne, {7240, 11360, 3000, 4000}, 10, 20);
    ExpectPlaced({0, 0, 20000, 20000}, kOne, {0, 0, 10240, 15360}, 10, 20);
    ExpectPlaced({-50, -50, 3000, 4000}, kOne, {0, 0, 3000, 4000}, 10, 20);
    ExpectPlaced({10000, 15000, 240, 360}, kOne, {10000, 15000, 240, 360}, 10, 20); // fits exactly
}

TEST(PlaceWindow, NothingSavedOrPlacementOff)
{
    EXPECT_FALSE(PlaceWindow({0, 0, 0, 0}, kOne, 15, 15).move);
    MonitorCensus off = kTwo;
    LimitMonitorCount(off, 0);
    EXPECT_FALSE(PlaceWindow({-3000, 600, 6000, 4500}, off, 15, 15).move);
}

TEST(PlaceWindow, SeveralMonitorsEnforceOnlyTheVirtualScreen)
{
    ExpectPlaced({20000, 0, 6000, 4500}, kTwo, {20000, 0, 6000, 4500});
    ExpectPlaced({30000, 0, 6000, 4500}, kTwo, {24720, 0, 6000, 4500});
    MonitorCensus first = kTwo;
    LimitMonitorCount(first, 1);
    ExpectPlaced({20000, 0, 6000, 4500}, first, {9360, 0, 6000, 4500});
    // A monitor left of and above the primary one.
    const MonitorCensus left = Census(2, {-1280, -100, 1024, 1024}, {{0, 0, 1024, 768}, {-1280, -100, 0, 924}});
    ExpectPlaced({-30000, -3000, 6000, 4500}, left, {-19200, -1500, 6000, 4500});
}

TEST(ClientRectForFrame, TheFrameGoesWhereTheRectangleWasSaved)
{
    // Openbox's frame: 1-pixel sides, a 20-pixel title bar, a 5-pixel handle.
    const FrameMargins ob{1, 20, 1, 5};
    const PixelRect c = ClientRectForFrame({1500, 1500, 10500, 7500}, ob, 15, 15);
    EXPECT_EQ(c.left, 101);
    EXPECT_EQ(c.top, 120);
    EXPECT_EQ(c.right - c.left, 698);
    EXPECT_EQ(c.bottom - c.top, 475);
    // Frame extents not known (or no window manager): client and frame coincide.
    const PixelRect bare = ClientRectForFrame({1500, 1500, 10500, 7500}, {}, 15, 15);
    EXPECT_EQ(bare.left, 100);
    EXPECT_EQ(bare.top, 100);
    EXPECT_EQ(bare.right, 800);
    EXPECT_EQ(bare.bottom, 600);
    // Each axis in its own twips per pixel.
    const PixelRect wide = ClientRectForFrame({1000, 2000, 5000, 6000}, ob, 10, 20);
    EXPECT_EQ(wide.left, 101);
    EXPECT_EQ(wide.top, 120);
    EXPECT_EQ(wide.right - wide.left, 498);
    EXPECT_EQ(wide.bottom - wide.top, 275);
    // Twips round half to even, then the margins; a frame larger than the rectangle leaves one pixel.
    const PixelRect odd = ClientRectForFrame({-22, 7, 37, 15}, {2, 3, 2, 3}, 15, 15);
    EXPECT_EQ(odd.left, 1);
    EXPECT_EQ(odd.top, 3);
    EXPECT_EQ(odd.right - odd.left, 1);
    EXPECT_EQ(odd.bottom - odd.top, 1);
}

TEST(ClientRectForFrame, SavingThePlacedFrameGivesTheSameRectangle)
{
    // A start places the saved frame; the exit saves the frame it finds (client plus margins, in
    // twips). Four starts in a row change nothing, also when the clamp had to act first.
    const FrameMargins ob{1, 20, 1, 5};
    for (TwipsRect saved :
         {TwipsRect{1500, 1500, 10500, 7500}, TwipsRect{-3000, 600, 6000, 4500}, TwipsRect{0, 0, 20000, 12000}}) {
        const TwipsRect first = PlaceWindow(saved, kOne, 15, 15).rect;
        for (int start = 0; start < 4; ++start) {
            const Placement p = PlaceWindow(saved, kOne, 15, 15);
            ASSERT_TRUE(p.move);
            const PixelRect c = ClientRectForFrame(p.rect, ob, 15, 15);
            saved = {(c.left - ob.left) * 15, (c.top - ob.top) * 15, (c.right - c.left + ob.left + ob.right) * 15,
                     (c.bottom - c.top + ob.top + ob.bottom) * 15};
            EXPECT_EQ(saved.left, first.left);
            EXPECT_EQ(saved.top, first.top);
            EXPECT_EQ(saved.width, first.width);
            EXPECT_EQ(saved.height, first.height);
            // The whole frame, title bar included, is on the monitor.
            EXPECT_GE(saved.top, 0);
            EXPECT_GE(saved.left, 0);
            EXPECT_LE(saved.left + saved.width, 1024 * 15);
            EXPECT_LE(saved.top + saved.height, 768 * 15);
        }
    }
}

TEST(FitInside, TheFirstWindowIsPulledOntoTheAvailableArea)
{
    // Twice the scale on a 1024 x 768 screen: 512 x 384 logical pixels; the designed window
    // with openbox's frame is 634 x 478, created at the corner.
    const PixelRect screen{0, 0, 512, 384};
    Placement p = FitInside({0, 0, 634, 478}, screen, 15, 15);
    ASSERT_TRUE(p.move);
    EXPECT_EQ(p.rect.left, 0);
    EXPECT_EQ(p.rect.top, 0);
    EXPECT_EQ(p.rect.width, 512 * 15);
    EXPECT_EQ(p.rect.height, 384 * 15);
    // A panel along the top: the window goes under it.
    p = FitInside({0, 0, 634, 478}, {0, 30, 512, 384}, 15, 15);
    ASSERT_TRUE(p.move);
    EXPECT_EQ(p.rect.top, 30 * 15);
    EXPECT_EQ(p.rect.height, 354 * 15);
    // Small enough but placed past the edge: shifted back, its size kept.
    p = FitInside({700, 500, 1334, 978}, {0, 0, 1024, 768}, 15, 15);
    ASSERT_TRUE(p.move);
    EXPECT_EQ(p.rect.left, (1024 - 634) * 15);
    EXPECT_EQ(p.rect.top, (768 - 478) * 15);
    EXPECT_EQ(p.rect.width, 634 * 15);
    EXPECT_EQ(p.rect.height, 478 * 15);
    // Inside already, or touching the edges: left where it is.
    EXPECT_FALSE(FitInside({100, 100, 734, 578}, {0, 0, 1024, 768}, 15, 15).move);
    EXPECT_FALSE(FitInside({390, 290, 1024, 768}, {0, 0, 1024, 768}, 15, 15).move);
    // The area of a second screen.
    p = FitInside({1000, 0, 1634, 478}, {1024, 0, 2048, 768}, 15, 15);
    ASSERT_TRUE(p.move);
    EXPECT_EQ(p.rect.left, 1024 * 15);
    EXPECT_EQ(p.rect.width, 634 * 15);
}
