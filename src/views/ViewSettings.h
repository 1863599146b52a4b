// The view mode and the list's column widths as the settings file keeps them, applied at the first
// activation and taken back at shutdown.
#pragma once

#include "catalogue/Schema.h"

#include <array>
#include <optional>

namespace orv {

// The list columns whose widths are kept: all of them.
inline constexpr int kSavedColumnCount = schema::kListColumns;

struct ViewSettings {
    std::optional<long> mode; // the file's number (0 list, else card); none: the view stays as it is
    // none: the grid keeps its own width (no number, or 0)
    std::array<std::optional<float>, kSavedColumnCount> columnWidths{};

    bool operator==(const ViewSettings&) const = default;
};

} // namespace orv
