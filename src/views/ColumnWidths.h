// The list's column widths where none is saved: the design's widths, in twips, held their texts
// in the design's font; in a font that needs more room they are widened to match.
#pragma once

#include "catalogue/Schema.h"

#include <array>

namespace orv {

using ColumnWidthsTwips = std::array<long, schema::kGridColumnSlots>;

// The column of the CD release date, whose stored dates (1998/02/10) the design's width held
// exactly; the share of room a date needs in the list's font is the share every column gets.
inline constexpr int kReleaseDateColumn = 10;

// design widened by the factor (datePixels x tppX) / design[kReleaseDateColumn], never narrowed;
// datePixels is what a date cell needs in the list's font: its text and the cell's margins.
// Each width is rounded to whole twips, ties to even; zero widths stay zero.
ColumnWidthsTwips FittedColumnWidths(const ColumnWidthsTwips& design, double datePixels, float tppX);

} // namespace orv
