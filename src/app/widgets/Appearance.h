// How the program looks and speaks beyond its own texts: the user-interface font and the
// toolkit's own texts (dialog buttons, context menus, the folder chooser) in Japanese.
#pragma once

#include <QString>

class QCoreApplication;

namespace orv {

// Sets the application font to the chosen user-interface font; the family used (empty when the
// toolkit's default family stays).
QString UseUiFont();

// Loads the toolkit's Japanese translations from the toolkit's own folder, else from a
// "translations" folder beside the program, and makes Japanese the default locale. False when no
// translation file was found (the toolkit's texts stay English).
bool UseJapaneseToolkitTexts(QCoreApplication& app);

} // namespace orv
