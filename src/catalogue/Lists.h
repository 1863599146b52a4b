// Text helpers of the CD volume and platform lists.
#pragma once

#include <string>
#include <vector>

namespace orv {

// Pieces of text between occurrences of delimiter (exact match); an empty text gives one empty
// piece, "a,,b" gives a, "", b; a trailing delimiter gives a final empty piece; an empty
// delimiter gives the whole text.
std::vector<std::string> SplitByDelimiter(const std::string& text, const std::string& delimiter);

// The number at the start of text as Val reads it: blanks, tabs and line feeds are dropped
// wherever they stand, then an optional sign, digits with one decimal point and an exponent
// (E or D), or &H / &O radix digits; reading stops at the first other character. 0 when there
// are no digits.
double LeadingNumber(const std::string& text);

// Selector item for a volume: "CD" + text when its leading number is not 0, else the text alone.
std::string VolumeItemText(const std::string& cdno);

// CD filter from the selector's text: "" for "ALL", the rest after a leading "CD", else the text.
std::string CdFilterFromSelector(const std::string& text);

} // namespace orv
