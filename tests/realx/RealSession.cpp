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

} // namespace

void StopProcess(std::unique_ptr<QProcess>& p)
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
    StopProcess(windowManager_);
    StopProcess(server_);
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
        StopProcess(server);
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

void XSession::pauseWindowManager() const
{
    if (windowManager_ && windowManager_->state() != QProcess::NotRunning)
        ::kill(static_cast<pid_t>(windowManager_->processId()), SIGSTOP);
}

void XSession::resumeWindowManager() const
{
    if (windowManager_ && windowManager_->state() != QProcess::NotRunning)
        ::kill(static_cast<pid_t>(windowManager_->processId()), SIGCONT);
}

void XSession::focusDirectly(const QString& window) const
{
    tool(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"), window}, 5000);
}

bool XSession::hasFocus(const QString& window) const
{
    return tool(QStringLiteral("xdotool"), {QStringLiteral("getwindowfocus")}) == window;
}

void XSession::keyTo(const QString& window, const QString& keys) const
{
    tool(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--window"), window, keys});
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

QImage XSession::settledPicture(const QRect& area, const std::function<void(QImage&)>& hide, int timeoutMs) const
{
    auto look = [&] {
        QImage part = screenshot().copy(area);
        if (hide && !part.isNull())
            hide(part);
        return part;
    };
    QImage before = look();
    QImage now;
    WaitUntil(
        [&] {
            now = look();
            const bool same = !now.isNull() && now == before;
            before = now;
            return same;
        },
        timeoutMs, 0);
    return now;
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
    : x_(x), events_(std::make_unique<WindowEvents>(x.display())), process_(std::make_unique<QProcess>())
{
    // The windows are followed from before the start, so that none goes unseen.
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
    events_->setProgram(process_->processId());
}

AppRun::~AppRun()
{
    resume();
    StopProcess(process_);
}

qint64 AppRun::pid() const { return process_ ? process_->processId() : 0; }

bool AppRun::running() const { return process_ && process_->state() != QProcess::NotRunning; }

qint64 AppRun::firstWindowAtMs() const
{
    const qint64 at = events_->mainMappedAt();
    return at < 0 ? -1 : at - sinceLaunch_.msecsSinceReference();
}

qint64 AppRun::lastChangeAtMs() const
{
    const qint64 at = events_->lastChangeAt();
    return at < 0 ? -1 : at - sinceLaunch_.msecsSinceReference();
}

QString AppRun::waitMainWindow(int timeoutMs) const
{
    // The first activation loads twice, each time in a wait dialog of its own; the title shows a
    // statement while each query runs and the plain title again after it; at its end the window
    // takes the keyboard focus, which the window manager gives it a moment later. Keys sent
    // before that would go elsewhere.
    constexpr int kLoadDialogs = 2;
    const QRegularExpression plain(QStringLiteral("^Orvantis($|  Target)"));
    const bool done = WaitUntil(
        [&] {
            events_->handle(50);
            if (!running())
                return true;
            return !events_->mainWindow().isEmpty() && events_->dialogsCreated() >= kLoadDialogs
                && events_->dialogsThere() == 0 && plain.match(events_->mainTitle()).hasMatch()
                && events_->mainFocused();
        },
        timeoutMs, 0);
    if (running() && !done)
        std::fprintf(stderr, "no main window after %d ms: main window %s, %d dialog(s) came, %d there, title %s, %s\n",
                     timeoutMs, qPrintable(events_->mainWindow()), events_->dialogsCreated(), events_->dialogsThere(),
                     qPrintable(events_->mainTitle()), events_->mainFocused() ? "focused" : "not focused");
    return running() && done ? events_->mainWindow() : QString();
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

} // namespace orvreal
