#include "actions/DriveLabel.h"

#include "platform/files/FileNames.h"
#include "platform/text/Utf8.h"

namespace orv {

namespace {

constexpr int kLabelMaxChars = 28;

bool IsContinuationByte(char ch) { return utf8::isContinuation(static_cast<unsigned char>(ch)); }

std::size_t CharCount(const std::string& s)
{
    std::size_t n = 0;
    for (char ch : s)
        if (!IsContinuationByte(ch))
            ++n;
    return n;
}

// The first `count` characters of s, never cutting a character in two.
std::string LeadingChars(const std::string& s, std::size_t count)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (!IsContinuationByte(s[i])) {
            if (chars == count)
                return s.substr(0, i);
            ++chars;
        }
    }
    return s;
}

} // namespace

DriveLabelText DriveLabelFor(const std::string& driveRoot)
{
    DriveLabelText label;
    if (driveRoot.empty()) {
        label.caption = kDriveLabelUnset;
        return label;
    }
    const std::string text = std::string("指定ﾄﾞﾗｲﾌﾞ：") + driveRoot;
    label.toolTip = text;
    label.caption = CharCount(text) > kLabelMaxChars ? LeadingChars(text, kLabelMaxChars) + "..." : text;
    label.driveRootPath = WithTrailingSeparator(driveRoot);
    return label;
}

} // namespace orv
