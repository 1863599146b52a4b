#include "views/ColumnWidths.h"

#include <cmath>

namespace orv {

ColumnWidthsTwips FittedColumnWidths(const ColumnWidthsTwips& design, double datePixels, float tppX)
{
    const double dateDesign = static_cast<double>(design[kReleaseDateColumn]);
    const double dateNeeds = datePixels * static_cast<double>(tppX); // twips
    if (!(dateDesign > 0) || !std::isfinite(dateNeeds) || !(dateNeeds > dateDesign))
        return design;
    ColumnWidthsTwips fitted{};
    for (std::size_t i = 0; i < design.size(); ++i) // lrint rounds ties to even
        fitted[i] = std::lrint(static_cast<double>(design[i]) * dateNeeds / dateDesign);
    return fitted;
}

} // namespace orv
