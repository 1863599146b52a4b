// Number formats of the settings file.
#pragma once

#include <optional>
#include <string>

namespace orv {

// Whole-number read: decimal text (optionally fractional, optionally signed, surrounding blanks
// allowed) rounded to the nearest whole number, ties to even. nullopt for text that is not a number
// or is out of the 32-bit range.
std::optional<long> ParseWhole(const std::string& text);

// Single-precision read: the number as float. nullopt for text that is not a number.
std::optional<float> ParseSingle(const std::string& text);

// Whole number as text: "0", "-12", "1200".
std::string WholeText(long value);

// Single-precision number as its shortest decimal text of up to seven significant digits,
// no fractional part for whole values: "4500", "1005.5", "-0.25".
std::string SingleText(float value);

// "True" / "False".
std::string BoolText(bool value);

// Rounds to the nearest whole number, ties to even (as the Windows run time converts).
long RoundHalfEven(double value);

} // namespace orv
