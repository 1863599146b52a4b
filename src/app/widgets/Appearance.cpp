#include "app/widgets/Appearance.h"

#include "app/UiFont.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QWidget>

namespace orv {

namespace {

QFont designFont(const UiFontChoice& choice)
{
    QFont f;
    const QString family = choice.family.isEmpty() ? QFont().defaultFamily() : choice.family;
    f.setFamily(family);
    f.setFamilies({family});
    f.setPixelSize(choice.pixelSize);
    f.setStyleHint(QFont::AnyStyle);
    f.setStyleStrategy(QFont::PreferDefault);
    f.setStyleName(QString());
    f.setWeight(QFont::Normal);
    f.setStyle(QFont::StyleNormal);
    f.setUnderline(false);
    f.setOverline(false);
    f.setStrikeOut(false);
    f.setFixedPitch(false);
    f.setStretch(QFont::AnyStretch);
    f.setKerning(true);
    f.setCapitalization(QFont::MixedCase);
    f.setLetterSpacing(QFont::PercentageSpacing, 100);
    f.setWordSpacing(0);
    f.setHintingPreference(QFont::PreferDefaultHinting);
    return f;
}

class DesignFontKeeper : public QObject {
public:
    explicit DesignFontKeeper(QWidget* window) : QObject(window), window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched == window_ && e->type() == QEvent::ApplicationFontChange)
            window_->setFont(DesignFont());
        return false;
    }

private:
    QWidget* window_;
};

} // namespace

QFont DesignFont() { return designFont(ChooseUiFont(QFontDatabase::families())); }

QString UseUiFont()
{
    const UiFontChoice choice = ChooseUiFont(QFontDatabase::families());
    QApplication::setFont(designFont(choice));
    return choice.family;
}

void KeepDesignFont(QWidget* window)
{
    window->setFont(DesignFont());
    window->setAttribute(Qt::WA_WindowPropagation);
    window->installEventFilter(new DesignFontKeeper(window));
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
