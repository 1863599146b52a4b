// How the program looks and speaks beyond its own texts: the user-interface font and the
// toolkit's own texts (dialog buttons, context menus, the folder chooser) in Japanese.
#pragma once

#include <QFont>
#include <QString>

class QCoreApplication;
class QWidget;

namespace orv {

// The chosen user-interface font at the design's size, every property of it set, so that nothing
// of another font (a platform theme's application font) blends into it.
QFont DesignFont();

// Sets the application font to the design font; the family used (empty when the toolkit's default
// family stays).
QString UseUiFont();

// Gives the window the design font, again whenever the application font changes: a platform
// theme that sets its own application font after start-up would otherwise make the fixed layout
// clip its captions. Dialogs opened over the window take its font too.
void KeepDesignFont(QWidget* window);

// Loads the toolkit's Japanese translations from the toolkit's own folder, else from a
// "translations" folder beside the program, and makes Japanese the default locale. False when no
// translation file was found (the toolkit's texts stay English).
bool UseJapaneseToolkitTexts(QCoreApplication& app);

} // namespace orv
