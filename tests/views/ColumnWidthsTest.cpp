#include "views/ColumnWidths.h"

#include <gtest/gtest.h>

#include <limits>

using namespace orv;

namespace {
const ColumnWidthsTwips& design() { return schema::kDefaultColumnWidths; }
} // namespace

// A font whose date needs 67 pixels at 15 twips a pixel (1005 twips for the design's 1000): every
// column gets half a percent more, halves going to the even neighbour; the columns after the
// list's stay 0.
TEST(ColumnWidths, WidenedByWhatTheDateNeeds)
{
    const ColumnWidthsTwips w = FittedColumnWidths(design(), 67, 15);
    const ColumnWidthsTwips want = {704,  502, 1005, 5025, 3015, 2010, 2010, 1005, 502, 2010,
                                    1005, 0,   0,    0,    0,    0,    0,    0,    0,   0};
    EXPECT_EQ(w, want);
    // A font half as wide again: the date column is exactly as wide as the date needs.
    const ColumnWidthsTwips wide = FittedColumnWidths(design(), 100, 15);
    EXPECT_EQ(wide[kReleaseDateColumn], 1500);
    EXPECT_EQ(wide[3], 7500);
    EXPECT_EQ(wide[0], 1050);
}

// The design's width holds the date already (a narrower font, a screen of 144 dots per inch with
// the same font), or nothing can be measured: the design's widths as they are, never narrowed.
TEST(ColumnWidths, NeverNarrowed)
{
    EXPECT_EQ(FittedColumnWidths(design(), 60, 15), design());
    EXPECT_EQ(FittedColumnWidths(design(), 66.6, 15), design());
    EXPECT_EQ(FittedColumnWidths(design(), 80, 10), design());
    EXPECT_EQ(FittedColumnWidths(design(), 0, 15), design());
    EXPECT_EQ(FittedColumnWidths(design(), std::numeric_limits<double>::quiet_NaN(), 15), design());
    EXPECT_EQ(FittedColumnWidths(design(), std::numeric_limits<double>::infinity(), 15), design());
    ColumnWidthsTwips noDate = design();
    noDate[kReleaseDateColumn] = 0;
    EXPECT_EQ(FittedColumnWidths(noDate, 200, 15), noDate);
}
