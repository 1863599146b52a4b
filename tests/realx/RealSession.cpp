#include "realx/RealSession.h"

#include "platform/settings/Ini.h"
#include "platform/settings/NumberText.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <sys/types.h>

#ifndef ORV_APP_EXE
#define ORV_APP_EXE ""
#endif

namespace orvreal {

namespace {

const char* const kTools[] = {"Xvfb", "openbox", "xdotool", "xprop", "xwininfo", "import"};

// The display numbers to try, from ORVANTIS_TEST_DISPLAYS ("60-69").
QList<int> displayNumbers()
{
    const QString range = qEnvironmentVariable("ORVANTIS_TEST_DISPLAYS", QStringLiteral("60-69"));
    const QStringList parts = range.split(QLatin1Char('-'));
    bool okFirst = false, okLast = false;
    const int first = parts.value(0).toInt(&okFirst);
    const int last = parts.size() > 1 ? parts.value(1).toInt(&okLast) : first;
    QList<int> out;
    if (!okFirst || (parts.size() > 1 && !okLast) || first < 0 || last < first || last - first > 1000)
        return {60, 61, 62, 63, 64, 65, 66, 67, 68, 69};
    for (int n = first; n <= last; ++n)
        out << n;
    return out;
}

void stop(std::unique_ptr<QProcess>& p)
{
    if (!p)
        return;
    if (p->state() != QProcess::NotRunning) {
        p->terminate();
        if (!p->waitForFinished(3000)) {
            p->kill();
            p->waitForFinished(3000);
        }
    }
    p.reset();
}

} // namespace

QStringList MissingTools()
{
    QStringList missing;
    for (const char* t : kTools)
        if (QStandardPaths::findExecutable(QString::fromLatin1(t)).isEmpty())
            missing << QString::fromLatin1(t);
    return missing;
}

bool WaitUntil(const std::function<bool()>& cond, int timeoutMs, int stepMs)
{
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QThread::msleep(static_cast<unsigned long>(stepMs));
    }
    return true;
}

long DifferingPixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return static_cast<long>(a.width()) * a.height() + 1;
    return DifferingPixels(a, b, a.rect());
}

long DifferingPixels(const QImage& a, const QImage& b, const QRect& area)
{
    long n = 0;
    const QRect r = area.intersected(a.rect()).intersected(b.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

PixelShares CountPixels(const QImage& image, const QRect& area)
{
    PixelShares s;
    const QRect r = area.intersected(image.rect());
    if (r.isEmpty())
        return s;
    long light = 0, dark = 0, black = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int lo = std::min({qRed(p), qGreen(p), qBlue(p)});
            const int hi = std::max({qRed(p), qGreen(p), qBlue(p)});
            light += lo >= 200;
            dark += hi < 110;
            black += hi < 10;
        }
    }
    const double n = static_cast<double>(r.width()) * r.height();
    s.light = light / n;
    s.dark = dark / n;
    s.black = black / n;
    return s;
}

// --- The session -----------------------------------------------------------------------------

XSession::XSession(QSize screen) : screen_(screen)
{
    if (!home_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return;
    }
    QDir(home_.path()).mkpath(QStringLiteral("config"));
    for (int n : displayNumbers()) {
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
            continue;
        if (startServer(n))
            break;
    }
    if (display_.isEmpty()) {
        error_ = QStringLiteral("no free display among %1")
                     .arg(qEnvironmentVariable("ORVANTIS_TEST_DISPLAYS", QStringLiteral("60-69")));
        return;
    }
    if (!startWindowManager()) {
        error_ = QStringLiteral("openbox did not start on %1").arg(display_);
        return;
    }
    started_ = true;
}

XSession::~XSession()
{
    stop(windowManager_);
    stop(server_);
}

bool XSession::startServer(int number)
{
    const QString display = QStringLiteral(":%1").arg(number);
    auto server = std::make_unique<QProcess>();
    server->setStandardOutputFile(QProcess::nullDevice());
    server->setStandardErrorFile(QProcess::nullDevice());
    server->start(QStringLiteral("Xvfb"),
                  {display, QStringLiteral("-screen"), QStringLiteral("0"),
                   QStringLiteral("%1x%2x24").arg(screen_.width()).arg(screen_.height()), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp"), QStringLiteral("-noreset")});
    if (!server->waitForStarted(5000))
        return false;
    display_ = display;
    const bool up = WaitUntil(
        [&] {
            if (server->state() == QProcess::NotRunning)
                return true;
            int code = -1;
            tool(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTED")}, 2000, &code);
            return code == 0;
        },
        10000, 50);
    // The lock file names the server that holds the display: it must be this one.
    QFile lock(QStringLiteral("/tmp/.X%1-lock").arg(number));
    const bool ours = lock.open(QIODevice::ReadOnly) && lock.readAll().trimmed().toLongLong() == server->processId();
    if (!up || !ours || server->state() == QProcess::NotRunning) {
        // Taken by another server meanwhile, or broken: the next number.
        display_.clear();
        stop(server);
        return false;
    }
    server_ = std::move(server);
    return true;
}

bool XSession::startWindowManager()
{
    windowManager_ = std::make_unique<QProcess>();
    QProcessEnvironment env = environment();
    // The window manager's own configuration is the system's: a private home hides the user's.
    env.insert(QStringLiteral("HOME"), home_.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath(QStringLiteral("config")));
    windowManager_->setProcessEnvironment(env);
    windowManager_->setStandardOutputFile(QProcess::nullDevice());
    windowManager_->setStandardErrorFile(QProcess::nullDevice());
    windowManager_->start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!windowManager_->waitForStarted(5000))
        return false;
    return WaitUntil(
               [&] {
                   return windowManager_->state() == QProcess::NotRunning
                       || tool(QStringLiteral("xprop"),
                               {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                              .contains(QStringLiteral("window id"));
               },
               10000, 50)
        && windowManager_->state() != QProcess::NotRunning;
}

QProcessEnvironment XSession::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    return env;
}

QString XSession::tool(const QString& program, const QStringList& args, int timeoutMs, int* exitCode) const
{
    QProcess p;
    p.setProcessEnvironment(environment());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForStarted(5000) || !p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(1000);
        if (exitCode)
            *exitCode = -1;
        return {};
    }
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QStringList XSession::findWindows(const QString& namePattern, qint64 pid) const
{
    // Every condition must hold (xdotool's default is any of them).
    QStringList args{QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible")};
    if (pid > 0)
        args << QStringLiteral("--pid") << QString::number(pid);
    args << QStringLiteral("--name") << namePattern;
    return tool(QStringLiteral("xdotool"), args).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString XSession::windowName(const QString& window) const
{
    return tool(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), window});
}

WindowGeometry XSession::geometry(const QString& window) const
{
    WindowGeometry g;
    const QString info = tool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
    auto field = [&info](const char* name) {
        const QRegularExpression re(QStringLiteral("%1:\\s*(-?\\d+)").arg(QLatin1String(name)));
        return re.match(info).captured(1).toInt();
    };
    g.client = QRect(field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"), field("Height"));
    const QStringList extents = property(window, QStringLiteral("_NET_FRAME_EXTENTS")).split(QLatin1Char(','));
    if (extents.size() == 4) // left, right, top, bottom
        g.frame = QMargins(extents[0].trimmed().toInt(), extents[2].trimmed().toInt(), extents[1].trimmed().toInt(),
                           extents[3].trimmed().toInt());
    return g;
}

QString XSession::property(const QString& window, const QString& name) const
{
    const QString out = tool(QStringLiteral("xprop"), {QStringLiteral("-id"), window, name});
    const int eq = out.indexOf(QLatin1Char('='));
    return eq < 0 ? QString() : out.mid(eq + 1).trimmed();
}

void XSession::key(const QString& keys) const
{
    tool(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keys});
}

void XSession::type(const QString& text) const
{
    tool(QStringLiteral("xdotool"),
         {QStringLiteral("type"), QStringLiteral("--clearmodifiers"), QStringLiteral("--delay"), QStringLiteral("40"),
          text});
}

void XSession::click(const QString& window, QPoint at, int count) const
{
    clickScreen(geometry(window).client.topLeft() + at, count);
}

void XSession::clickScreen(QPoint at, int count) const
{
    tool(QStringLiteral("xdotool"),
         {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"),
          QStringLiteral("--repeat"), QString::number(count), QStringLiteral("--delay"), QStringLiteral("80"),
          QStringLiteral("1")});
}

void XSession::hover(const QString& window, QPoint at) const
{
    const QPoint p = geometry(window).client.topLeft() + at;
    tool(QStringLiteral("xdotool"),
         {QStringLiteral("mousemove"), QString::number(p.x() - 4), QString::number(p.y()), QStringLiteral("sleep"),
          QStringLiteral("0.1"), QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y())});
}

void XSession::activate(const QString& window) const
{
    tool(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window}, 5000);
}

QImage XSession::screenshot() const
{
    QProcess p;
    p.setProcessEnvironment(environment());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(QStringLiteral("import"),
            {QStringLiteral("-silent"), QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("png:-")});
    if (!p.waitForStarted(5000) || !p.waitForFinished(20000))
        return {};
    return QImage::fromData(p.readAllStandardOutput(), "PNG").convertToFormat(QImage::Format_RGB32);
}

QString XSession::keepScreenshot(const QImage& image, const QString& name) const
{
    const QString folder = qEnvironmentVariable("ORVANTIS_SHOTS");
    if (folder.isEmpty() || image.isNull())
        return {};
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    return image.save(path) ? path : QString();
}

// --- The application folder ---------------------------------------------------------------------

AppFolder::AppFolder(const QString& catalogue)
{
    QString program = qEnvironmentVariable("ORVANTIS_EXE");
    if (program.isEmpty())
        program = QString::fromUtf8(ORV_APP_EXE);
    exe_ = dir_.filePath(QFileInfo(program).fileName());
    QFile::copy(program, exe_);
    QFile::setPermissions(exe_, QFile::permissions(exe_) | QFile::ExeOwner | QFile::ReadOwner);
    if (!catalogue.isEmpty())
        QFile::copy(catalogue, dir_.filePath(QStringLiteral("tevox20.mdb")));
}

void AppFolder::setIni(const std::string& section, const std::string& key, const std::string& value) const
{
    orv::WriteIni(iniPath().toStdString(), section, key, value);
}

std::string AppFolder::ini(const std::string& section, const std::string& key) const
{
    return orv::ReadIni(iniPath().toStdString(), section, key, "<none>");
}

QRect AppFolder::savedRect() const
{
    auto twips = [this](const char* key) {
        const auto v = orv::ParseSingle(ini("WINDOW", key));
        return v ? static_cast<int>(std::lround(*v)) : -99999;
    };
    return QRect(twips("LEFT"), twips("TOP"), twips("WIDTH"), twips("HEIGHT"));
}

void AppFolder::saveFrame(const QRect& twips, int state) const
{
    setIni("WINDOW", "LEFT", std::to_string(twips.left()));
    setIni("WINDOW", "TOP", std::to_string(twips.top()));
    setIni("WINDOW", "WIDTH", std::to_string(twips.width()));
    setIni("WINDOW", "HEIGHT", std::to_string(twips.height()));
    setIni("WINDOW", "WINSATE", std::to_string(state));
}

// --- One run ------------------------------------------------------------------------------------------

AppRun::AppRun(const XSession& x, const AppFolder& folder, const RunOptions& options)
    : x_(x), process_(std::make_unique<QProcess>()), clientList_(std::make_unique<QProcess>())
{
    // Followed from before the start, so that no window goes unseen however briefly it stays:
    // xprop prints the list once at once, then at every change.
    clientList_->setProcessEnvironment(x.environment());
    clientList_->setStandardErrorFile(QProcess::nullDevice());
    clientList_->start(QStringLiteral("xprop"),
                       {QStringLiteral("-root"), QStringLiteral("-spy"), QStringLiteral("_NET_CLIENT_LIST")});
    if (clientList_->waitForStarted(5000))
        WaitUntil(
            [this] {
                readClientList();
                return listRead_ || clientList_->state() == QProcess::NotRunning;
            },
            5000, 10);

    QProcessEnvironment env = x.environment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    for (auto it = options.setEnv.begin(); it != options.setEnv.end(); ++it)
        env.insert(it.key(), it.value());
    for (const QString& name : options.unsetEnv)
        env.remove(name);
    process_->setProcessEnvironment(env);
    process_->setWorkingDirectory(folder.path());
    const QString output = QDir(folder.path()).filePath(QStringLiteral("output.txt"));
    process_->setStandardOutputFile(output, QIODevice::Append);
    process_->setStandardErrorFile(output, QIODevice::Append);
    sinceLaunch_.start();
    process_->start(folder.exe(), options.arguments);
    process_->waitForStarted(10000);
}

AppRun::~AppRun()
{
    resume();
    stop(process_);
    stop(clientList_);
}

qint64 AppRun::pid() const { return process_ ? process_->processId() : 0; }

bool AppRun::running() const { return process_ && process_->state() != QProcess::NotRunning; }

void AppRun::readClientList() const
{
    if (clientList_->state() == QProcess::NotRunning && clientList_->bytesAvailable() == 0)
        return;
    clientList_->waitForReadyRead(0);
    pending_ += clientList_->readAllStandardOutput();
    int newline;
    while ((newline = pending_.indexOf('\n')) >= 0) {
        const QString line = QString::fromLatin1(pending_.left(newline));
        pending_.remove(0, newline + 1);
        const int hash = line.indexOf(QLatin1Char('#'));
        if (hash < 0)
            continue;
        listRead_ = true;
        const QStringList before = current_;
        current_.clear();
        for (const QString& hex : line.mid(hash + 1).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool ok = false;
            const qulonglong id = hex.trimmed().toULongLong(&ok, 16);
            if (!ok)
                continue;
            const QString window = QString::number(id);
            current_ << window;
            if (!seen_.contains(window))
                seen_ << window;
        }
        if (current_ != before || !sinceChange_.isValid()) {
            sinceChange_.start();
            if (sinceLaunch_.isValid()) {
                lastChangeAtMs_ = sinceLaunch_.elapsed();
                if (firstWindowAtMs_ < 0 && !current_.isEmpty())
                    firstWindowAtMs_ = lastChangeAtMs_;
            }
        }
    }
}

QString AppRun::waitMainWindow(int timeoutMs) const
{
    // The first activation loads twice, each time in a wait dialog of its own; the title shows a
    // statement while each query runs and the plain title again after it.
    QString main;
    WaitUntil(
        [&] {
            if (!running())
                return true;
            readClientList();
            if (seen_.isEmpty() || current_.size() != 1 || current_.front() != seen_.front())
                return false;
            // On a loaded machine a wait dialog may come and go before the window manager takes
            // it on (its wait for exposure is bounded): the main window alone, with its plain
            // title, for a few seconds will do then.
            if (seen_.size() < 3 && sinceChange_.elapsed() < 3000)
                return false;
            main = x_.findWindows(QStringLiteral("^Orvantis($|  Target)"), pid()).value(0);
            return main == seen_.front();
        },
        timeoutMs, 20);
    if (running() && (seen_.isEmpty() || main != seen_.front()))
        std::fprintf(stderr, "no main window after %d ms: %lld window(s) seen, %lld there now\n", timeoutMs,
                     static_cast<long long>(seen_.size()), static_cast<long long>(current_.size()));
    return running() && !seen_.isEmpty() && main == seen_.front() ? main : QString();
}

bool AppRun::closeThroughWindowManager(const QString& window, int timeoutMs)
{
    // The close command is refused while a wait dialog is up (it is modal), and goes elsewhere
    // while the window manager has not given the window the focus yet: on a loaded machine either
    // can meet a program that looked done (a dialog may come and go unlisted). It is given again
    // every few seconds until the program ends.
    constexpr int kRetryMs = 3000;
    QElapsedTimer t;
    t.start();
    do {
        x_.activate(window);
        x_.key(QStringLiteral("alt+F4"));
        if (waitExit(static_cast<int>(std::clamp<qint64>(timeoutMs - t.elapsed(), 0, kRetryMs))))
            return true;
    } while (t.elapsed() < timeoutMs);
    return !running();
}

bool AppRun::waitExit(int timeoutMs)
{
    if (!running())
        return true;
    process_->waitForFinished(timeoutMs);
    return !running();
}

int AppRun::exitCode() const
{
    return process_ && process_->exitStatus() == QProcess::NormalExit ? process_->exitCode() : -1;
}

QString AppRun::output() const
{
    QFile f(QDir(process_->workingDirectory()).filePath(QStringLiteral("output.txt")));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void AppRun::pause() const
{
    if (running())
        ::kill(static_cast<pid_t>(pid()), SIGSTOP);
}

void AppRun::resume() const
{
    if (running())
        ::kill(static_cast<pid_t>(pid()), SIGCONT);
}

// --- An input method -----------------------------------------------------------------------------

namespace {
// The daemon starts its engines by name from PATH: the system's, as a desktop session has it.
const char* const kSystemPath = "/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
const char* const kAnthyComponent = "/usr/share/ibus/component/anthy.xml";
} // namespace

QString IbusSession::missing()
{
    QStringList out;
    for (const char* t : {"dbus-daemon", "ibus-daemon", "ibus"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(t)).isEmpty())
            out << QString::fromLatin1(t);
    if (!QFile::exists(QString::fromLatin1(kAnthyComponent)))
        out << QStringLiteral("ibus-anthy");
    const QString plugin = QLibraryInfo::path(QLibraryInfo::PluginsPath)
        + QStringLiteral("/platforminputcontexts/libibusplatforminputcontextplugin.so");
    if (!QFile::exists(plugin))
        out << QStringLiteral("Qt's ibus plugin");
    return out.join(QStringLiteral(", "));
}

IbusSession::IbusSession(const XSession& x) : x_(x)
{
    // Anthy starts in hiragana mode; GSettings keeps its settings in a key file in the private
    // configuration folder (no dconf service needed).
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QDir().mkpath(config + QStringLiteral("/glib-2.0/settings"));
    QFile keyfile(config + QStringLiteral("/glib-2.0/settings/keyfile"));
    if (!keyfile.open(QIODevice::WriteOnly)) {
        error_ = QStringLiteral("cannot write %1").arg(keyfile.fileName());
        return;
    }
    keyfile.write("[org/freedesktop/ibus/engine/anthy/common]\ninput-mode=0\n\n"
                  "[desktop/ibus/general]\npreload-engines=['anthy']\n");
    keyfile.close();

    // A bus that starts no services of its own: whatever it would start outlives it.
    QFile busConfig(busFolder_.filePath(QStringLiteral("session.conf")));
    if (!busFolder_.isValid() || !busConfig.open(QIODevice::WriteOnly)) {
        error_ = QStringLiteral("no folder for the message bus");
        return;
    }
    busConfig.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                    "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                    "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                    "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    busConfig.close();
    bus_ = std::make_unique<QProcess>();
    bus_->setProcessEnvironment(x_.environment());
    bus_->setStandardErrorFile(QProcess::nullDevice());
    bus_->start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--config-file=") + busConfig.fileName(), QStringLiteral("--nofork"),
                 QStringLiteral("--print-address=1")});
    if (!bus_->waitForStarted(5000)
        || !WaitUntil(
            [this] {
                bus_->waitForReadyRead(50);
                return bus_->canReadLine();
            },
            10000)) {
        error_ = QStringLiteral("no message bus");
        return;
    }
    busAddress_ = QString::fromUtf8(bus_->readLine()).trimmed();

    daemon_ = std::make_unique<QProcess>();
    daemon_->setProcessEnvironment(environment());
    daemon_->setStandardOutputFile(QProcess::nullDevice());
    daemon_->setStandardErrorFile(QProcess::nullDevice());
    daemon_->start(
        QStringLiteral("ibus-daemon"),
        {QStringLiteral("--single"), QStringLiteral("--emoji-extension=disable"), QStringLiteral("--cache=refresh")});
    if (!daemon_->waitForStarted(5000)) {
        error_ = QStringLiteral("ibus-daemon did not start");
        return;
    }
    // Up once Anthy is the engine every input context gets.
    const bool up = WaitUntil(
        [this] {
            if (daemon_->state() == QProcess::NotRunning)
                return true;
            ibus({QStringLiteral("engine"), QStringLiteral("anthy")});
            return ibus({QStringLiteral("engine")}) == QStringLiteral("anthy");
        },
        20000, 200);
    ibusAddress_ = ibus({QStringLiteral("address")});
    if (!up || daemon_->state() == QProcess::NotRunning || ibusAddress_.isEmpty()) {
        error_ = QStringLiteral("ibus did not take Anthy as its engine");
        return;
    }
    started_ = true;
}

IbusSession::~IbusSession()
{
    stop(daemon_);
    stop(bus_);
}

QProcessEnvironment IbusSession::environment() const
{
    QProcessEnvironment env = x_.environment();
    env.insert(QStringLiteral("PATH"), QString::fromLatin1(kSystemPath));
    env.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("keyfile"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress_);
    return env;
}

QString IbusSession::ibus(const QStringList& args) const
{
    QProcess p;
    p.setProcessEnvironment(environment());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(QStringLiteral("ibus"), args);
    if (!p.waitForStarted(5000) || !p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(1000);
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

RunOptions IbusSession::runOptions() const
{
    RunOptions o;
    o.setEnv.insert(QStringLiteral("QT_IM_MODULE"), QStringLiteral("ibus"));
    o.setEnv.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress_);
    o.setEnv.insert(QStringLiteral("IBUS_ADDRESS"), ibusAddress_);
    return o;
}

} // namespace orvreal