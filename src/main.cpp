// Orvantis: starts the main window.
#include "app/Console.h"
#include "app/InputMethod.h"
#include "app/Startup.h"
#include "app/Version.h"
#include "app/widgets/Appearance.h"
#include "app/widgets/frmMain.h"
#include "platform/disc/VolumeCache.h"
#include "platform/engine/EngineIsolation.h"
#include "platform/signals/ProcessEnd.h"
#include "platform/signals/QuitSignals.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <QApplication>
#include <QIcon>

namespace {

// The icon theme's when installed, else the sizes built into the program.
QIcon windowIcon()
{
    QIcon bundled;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        bundled.addFile(QStringLiteral(":/icons/%1x%1/apps/orvantis.png").arg(size), QSize(size, size));
    return QIcon::fromTheme(QStringLiteral("orvantis"), bundled);
}

} // namespace

int main(int argc, char** argv)
{
    // The catalogue is read by a child process of this same program: that child's entry.
    if (argc == 3 && !std::strcmp(argv[1], orv::kReadCatalogueSwitch))
        return orv::ServeCatalogueRead(argv[2], 1);
    // So are disc images.
    if (argc >= 4 && !std::strcmp(argv[1], orv::kCopyImageFolderSwitch))
        return orv::ServeImageFolderCopy(argc, argv);
    if (argc == 3 && !std::strcmp(argv[1], orv::kTidyCacheSwitch))
        return orv::ServeCacheTidy(argv[2]);

    // Answered on a terminal without a display, before the toolkit looks for one.
    switch (orv::ConsoleRequestOf(argc, argv)) {
    case orv::ConsoleRequest::Help: std::fputs(orv::HelpText().c_str(), stdout); return 0;
    case orv::ConsoleRequest::Version:
        std::fputs(
            orv::VersionText(ORVANTIS_VERSION_MAJOR, ORVANTIS_VERSION_MINOR, ORVANTIS_VERSION_PATCH, ORVANTIS_COPYRIGHT)
                .c_str(),
            stdout);
        return 0;
    case orv::ConsoleRequest::None: break;
    }
    const orv::EnvLookup processEnv = [](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto socketExists = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
    };
    if (const auto line = orv::NoDisplayLine(processEnv, socketExists)) {
        std::fprintf(stderr, "%s\n", line->c_str());
        return 1;
    }

    // The command line is the program's own (the /SCHK switch); Qt's options such as -reverse,
    // -style or -platform must not reach the toolkit. The toolkit sees the program name only,
    // plus the window system to use when the environment calls for one.
    const std::string commandLine = orv::CommandLineText(argc, argv);
    std::string windowSystem = orv::PreferredWindowSystem(processEnv);
    std::string platformOption = "-platform";
    std::vector<char*> toolkitArgs{argv[0]};
    if (!windowSystem.empty()) {
        toolkitArgs.push_back(platformOption.data());
        toolkitArgs.push_back(windowSystem.data());
    }
    int toolkitArgc = static_cast<int>(toolkitArgs.size());
    toolkitArgs.push_back(nullptr);
    // Japanese search words are typed through an input method. A session that runs ibus without
    // telling Qt (QT_IM_MODULE, which im-config sets) gets it here as its other programs do; the
    // toolkit reads the choice while it starts, and programs started from here get the session's
    // environment as it was.
    const std::string inputMethod = orv::InputMethodToUse(orv::InputMethodProbeOfProcess(), windowSystem);
    if (!inputMethod.empty())
        qputenv("QT_IM_MODULE", QByteArray::fromStdString(inputMethod));
    // A display that cannot be reached (a DISPLAY left over in an ssh session) gets one line and
    // exit status 1, not the toolkit's abort.
    auto connecting = std::make_unique<orv::DisplayConnectGuard>(orv::DisplayFailedLine(processEnv));
    QApplication app(toolkitArgc, toolkitArgs.data());
    connecting.reset();
    if (!inputMethod.empty())
        qunsetenv("QT_IM_MODULE");
    orv::UseUiFont();
    orv::UseJapaneseToolkitTexts(app);
    QApplication::setApplicationName(QStringLiteral("Orvantis"));
    QApplication::setOrganizationName(QStringLiteral("MORVALEN"));
    // Ties the window to its desktop entry (and so to the menu's name and icon).
    QGuiApplication::setDesktopFileName(QStringLiteral("orvantis"));
    QApplication::setWindowIcon(windowIcon());

    // A logout, Ctrl+C or a closed terminal closes the window as its close command does, so the
    // settings are saved; a catalogue being read meanwhile is not waited for.
    orv::QuitSignals quitSignals;

    orv::StartupEnvironment env;
    env.exeFolder = QCoreApplication::applicationDirPath();
    env.commandLine = QString::fromLocal8Bit(commandLine.c_str());
    // Catalogues and disc images are read by child processes of this same program; a quit signal
    // stops a catalogue read.
    const auto reader = std::make_shared<orv::IsolatedCatalogue>(QCoreApplication::applicationFilePath().toStdString(),
                                                                 orv::kReaderStallMs, quitSignals.requestedFd());
    env.catalogue = reader;
    env.xdg = orv::XdgEnvironmentOfProcess();
    env.discReader = reader->exe();

    orv::frmMain w(env);
    QObject::connect(&quitSignals, &orv::QuitSignals::received, &w, &orv::frmMain::RequestClose);
    w.show();
    const int code = QApplication::exec();
    // The settings are written and the window is gone.
    orv::EndProcessWithin(orv::kEndGraceMs, code);
    return code;
}
