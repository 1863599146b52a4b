// Text helpers of the CD volume and platform lists.
#pragma once

#include <string>
#include <vector>

namespace orv {

// Pieces of text between occurrences of delimiter (exact match); an empty text gives one empty
// piece, "a,,b" gives a, "", b; a trailing delimiter gives a final empty piece.
std::vector<std::string> SplitByDelimiter(const std::string& text, const std::string& delimiter);

// The leading decimal digits of text (after leading blanks and an optional sign) read as a number;
// 0 when there are none.
double LeadingNumber(const std::string& text);

// Selector item for a volume: "CD" + text when its leading number is not 0, else the text alone.
std::string VolumeItemText(const std::string& cdno);

// Whether a platform line with text pf is preselected by the saved names.
bool PlatformPreselected(const std::string& pf, const std::vector<std::string>& names);

// CD filter from the selector's text: "" for "ALL", the rest after a leading "CD", else the text.
std::string CdFilterFromSelector(const std::string& text);

} // namespace orv
