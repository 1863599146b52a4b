// What the drive label (Label6) shows for the chosen drive.
#pragma once

#include <string>

namespace orv {

inline constexpr const char* kDriveLabelUnset = "指定ﾄﾞﾗｲﾌﾞ：未指定";

// What ShowDriveLabel shows for a drive root (UTF-8; lengths counted in characters). An empty
// root gives the caption kDriveLabelUnset, no tool tip and an empty driveRootPath.
struct DriveLabelText {
    std::string caption; // "指定ﾄﾞﾗｲﾌﾞ：" + root, shortened to 28 characters + "..."
    std::string toolTip; // the whole text
    std::string driveRootPath; // root ending in a separator
};
DriveLabelText DriveLabelFor(const std::string& driveRoot);

} // namespace orv
