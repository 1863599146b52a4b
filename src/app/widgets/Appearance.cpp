#include "app/widgets/Appearance.h"

#include "app/UiFont.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace orv {

QString UseUiFont()
{
    const UiFontChoice choice = ChooseUiFont(QFontDatabase::families());
    QFont f = choice.family.isEmpty() ? QApplication::font() : QFont(choice.family);
    f.setPixelSize(choice.pixelSize);
    QApplication::setFont(f);
    return choice.family;
}

bool UseJapaneseToolkitTexts(QCoreApplication& app)
{
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    QLocale::setDefault(japanese);
    auto* translator = new QTranslator(&app);
    const QString folders[] = {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                               QCoreApplication::applicationDirPath() + QStringLiteral("/translations")};
    for (const QString& folder : folders) {
        if (translator->load(japanese, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(translator);
            return true;
        }
    }
    delete translator;
    return false;
}

} // namespace orv
