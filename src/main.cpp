// Orvantis: starts the main window.
#include "app/widgets/frmMain.h"
#include "platform/EngineIsolation.h"

#include <cstring>

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QStringList>

int main(int argc, char** argv)
{
    // The catalogue is read by a child process of this same program: that child's entry.
    if (argc == 3 && !std::strcmp(argv[1], orv::kReadCatalogueSwitch))
        return orv::ServeCatalogueRead(argv[2], 1);

    QApplication app(argc, argv);
    // The window was laid out for a 12-pixel Japanese UI font with half-width characters half as
    // wide as full-width ones; a CJK font with those metrics keeps every caption in its box.
    for (const char* family : {"Noto Sans Mono CJK JP", "MS UI Gothic", "MS Gothic"}) {
        if (QFontDatabase::hasFamily(QString::fromLatin1(family))) {
            QFont f(QString::fromLatin1(family));
            f.setPixelSize(12);
            QApplication::setFont(f);
            break;
        }
    }
    QApplication::setApplicationName(QStringLiteral("Orvantis"));
    QApplication::setOrganizationName(QStringLiteral("MORVALEN"));

    orv::StartupEnvironment env;
    env.exeFolder = QCoreApplication::applicationDirPath();
    env.commandLine = QCoreApplication::arguments().mid(1).join(QLatin1Char(' '));
    // The catalogue is read by a child process of this same program.
    env.catalogue = std::make_shared<orv::IsolatedCatalogue>(QCoreApplication::applicationFilePath().toStdString());

    orv::frmMain w(env);
    w.show();
    return QApplication::exec();
}
