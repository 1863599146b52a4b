// The user-interface font: a proportional Japanese font whose characters, at the chosen size,
// fill the boxes of the window's design as its own font did (a line one character high,
// half-width characters half as wide as full-width ones).
#pragma once

#include <QString>
#include <QStringList>

namespace orv {

struct UiFontChoice {
    QString family; // empty: the toolkit's default family, which finds Japanese glyphs itself
    int pixelSize = 12;
};

// The first preferred family that is installed; families are matched without regard to case,
// under their Latin or their Japanese name.
UiFontChoice ChooseUiFont(const QStringList& installedFamilies);

} // namespace orv
