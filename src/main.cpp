// Orvantis: starts the main window.
#include "app/widgets/frmMain.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvantis"));
    QApplication::setOrganizationName(QStringLiteral("MORVALEN"));

    orv::StartupEnvironment env;
    env.exeFolder = QCoreApplication::applicationDirPath();
    env.commandLine = QCoreApplication::arguments().mid(1).join(QLatin1Char(' '));

    orv::frmMain w(env);
    w.show();
    return QApplication::exec();
}
