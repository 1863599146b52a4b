#include "realx/WaylandSession.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QStandardPaths>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvreal {

namespace {

constexpr uid_t kNobody = 65534;
const char* const kSystemPath = "/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

bool installed(const char* program) { return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty(); }

// The program's windows (app_id orvantis) in sway's tree, in its order.
void findWindows(const QJsonObject& node, QList<QJsonObject>& out)
{
    if (node.value(QStringLiteral("app_id")).toString() == QLatin1String("orvantis"))
        out << node;
    for (const char* key : {"nodes", "floating_nodes"})
        for (const QJsonValue& child : node.value(QLatin1String(key)).toArray())
            findWindows(child.toObject(), out);
}

} // namespace

WaylandSession::WaylandSession(Compositor compositor, QSize screen) : compositor_(compositor)
{
    const QString plugin =
        QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/libqwayland-generic.so");
    if (!QFile::exists(plugin)) {
        unavailable_ = QStringLiteral("Qt's Wayland platform (qt6-wayland) is not installed");
        return;
    }
    if (!dir_.isValid()) {
        unavailable_ = QStringLiteral("no temporary folder");
        return;
    }
    runtime_ = dir_.filePath(QStringLiteral("run"));
    home_ = dir_.filePath(QStringLiteral("home"));
    QDir().mkpath(runtime_);
    QDir().mkpath(home_);
    ::chmod(runtime_.toLocal8Bit().constData(), 0700);
    const bool started = compositor == Compositor::Sway ? startSway(screen) : startWeston(screen);
    if (!started && unavailable_.isEmpty())
        unavailable_ = QStringLiteral("the compositor did not start");
}

WaylandSession::~WaylandSession()
{
    if (keyboard_) {
        keyboard_->kill();
        keyboard_->waitForFinished(3000);
    }
    if (server_ && server_->state() != QProcess::NotRunning) {
        server_->terminate();
        if (!server_->waitForFinished(5000)) {
            server_->kill();
            server_->waitForFinished(3000);
        }
    }
}

bool WaylandSession::startSway(QSize screen)
{
    for (const char* t : {"sway", "swaymsg", "wtype", "grim"}) {
        if (!installed(t)) {
            unavailable_ = QStringLiteral("%1 is not installed").arg(QLatin1String(t));
            return false;
        }
    }
    // sway will not run as root; nobody runs it and the program.
    dropRoot_ = ::geteuid() == 0;
    if (dropRoot_ && !installed("setpriv")) {
        unavailable_ = QStringLiteral("sway refuses root and setpriv is not installed to run it as nobody");
        return false;
    }
    ::chmod(dir_.path().toLocal8Bit().constData(), 0755);
    giveToUser(runtime_);
    giveToUser(home_);
    // The program's windows float, so that they keep the size they ask for.
    QFile config(dir_.filePath(QStringLiteral("sway.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    config.write(QStringLiteral("output HEADLESS-1 resolution %1x%2\n"
                                "for_window [app_id=\"orvantis\"] floating enable\n")
                     .arg(screen.width())
                     .arg(screen.height())
                     .toUtf8());
    config.close();
    ::chmod(config.fileName().toLocal8Bit().constData(), 0644);

    QProcessEnvironment env = baseEnvironment();
    env.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    env.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    env.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    server_ = std::make_unique<QProcess>();
    server_->setProcessEnvironment(env);
    server_->setStandardOutputFile(QProcess::nullDevice());
    server_->setStandardErrorFile(dir_.filePath(QStringLiteral("sway.log")));
    const QStringList command = asUser({QStringLiteral("sway"), QStringLiteral("-c"), config.fileName()});
    server_->start(command.front(), command.mid(1));
    // Up once its socket and its IPC are there (it names the socket itself, in the private folder).
    const bool up = WaitUntil(
        [this] {
            if (server_->state() == QProcess::NotRunning)
                return true;
            const QStringList sockets =
                QDir(runtime_).entryList({QStringLiteral("wayland-*")}, QDir::System | QDir::Files);
            for (const QString& s : sockets)
                if (!s.endsWith(QLatin1String(".lock")))
                    socket_ = s;
            return !socket_.isEmpty()
                && !QDir(runtime_).entryList({QStringLiteral("sway-ipc.*")}, QDir::System).isEmpty();
        },
        20000, 50);
    if (!up || server_->state() == QProcess::NotRunning) {
        QFile log(dir_.filePath(QStringLiteral("sway.log")));
        log.open(QIODevice::ReadOnly);
        const QString last = QString::fromUtf8(log.readAll()).trimmed().section(QLatin1Char('\n'), -1);
        unavailable_ = QStringLiteral("sway did not start: %1").arg(last);
        return false;
    }
    // A headless seat has no keyboard: each wtype would be the first, and the program takes a
    // keyboard that appears only after sway has already sent it that wtype's keys. A wtype that
    // waits a day is the keyboard every program of the session finds at its start.
    keyboard_ = std::make_unique<QProcess>();
    keyboard_->setProcessEnvironment(baseEnvironment());
    keyboard_->setStandardOutputFile(QProcess::nullDevice());
    keyboard_->setStandardErrorFile(QProcess::nullDevice());
    const QStringList wait = asUser({QStringLiteral("wtype"), QStringLiteral("-s"), QStringLiteral("86400000"),
                                     QStringLiteral("-k"), QStringLiteral("Shift_L")});
    keyboard_->start(wait.front(), wait.mid(1));
    const bool keyboard = WaitUntil(
        [this] {
            return tool({QStringLiteral("swaymsg"), QStringLiteral("-t"), QStringLiteral("get_seats")})
                .contains(QLatin1String("\"keyboard\""));
        },
        20000, 50);
    if (!keyboard) {
        unavailable_ = QStringLiteral("sway's seat got no keyboard from wtype");
        return false;
    }
    return true;
}

bool WaylandSession::startWeston(QSize screen)
{
    if (!installed("weston")) {
        unavailable_ = QStringLiteral("weston is not installed");
        return false;
    }
    static int counter = 0;
    socket_ = QStringLiteral("wayland-orv-%1-%2").arg(::getpid()).arg(++counter);
    server_ = std::make_unique<QProcess>();
    server_->setProcessEnvironment(baseEnvironment());
    server_->setStandardOutputFile(QProcess::nullDevice());
    server_->setStandardErrorFile(dir_.filePath(QStringLiteral("weston.log")));
    server_->start(QStringLiteral("weston"),
                   {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--socket=") + socket_,
                    QStringLiteral("--width=%1").arg(screen.width()),
                    QStringLiteral("--height=%1").arg(screen.height()), QStringLiteral("--idle-time=0")});
    const bool up = WaitUntil(
        [this] {
            return server_->state() == QProcess::NotRunning || QFileInfo::exists(runtime_ + QLatin1Char('/') + socket_);
        },
        20000, 50);
    if (!up || server_->state() == QProcess::NotRunning) {
        unavailable_ = QStringLiteral("weston did not start with its headless backend");
        return false;
    }
    return true;
}

QProcessEnvironment WaylandSession::baseEnvironment() const
{
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), QString::fromLatin1(kSystemPath));
    env.insert(QStringLiteral("HOME"), home_);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_);
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    if (!socket_.isEmpty())
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), socket_);
    return env;
}

QStringList WaylandSession::asUser(const QStringList& command) const
{
    if (!dropRoot_)
        return command;
    return QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(kNobody),
                       QStringLiteral("--regid=%1").arg(kNobody), QStringLiteral("--clear-groups")}
    + command;
}

void WaylandSession::giveToUser(const QString& folder) const
{
    if (!dropRoot_)
        return;
    auto give = [](const QString& path) {
        [[maybe_unused]] const int r = ::chown(path.toLocal8Bit().constData(), kNobody, kNobody);
    };
    give(folder);
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        give(it.next());
}

std::unique_ptr<QProcess> WaylandSession::start(const AppFolder& folder, const QStringList& arguments) const
{
    giveToUser(folder.path());
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = baseEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    p->setProcessEnvironment(env);
    p->setWorkingDirectory(folder.path());
    const QString output = QDir(folder.path()).filePath(QStringLiteral("output.txt"));
    p->setStandardOutputFile(output, QIODevice::Append);
    p->setStandardErrorFile(output, QIODevice::Append);
    const QStringList command = asUser(QStringList{folder.exe()} + arguments);
    p->start(command.front(), command.mid(1));
    p->waitForStarted(10000);
    return p;
}

QString WaylandSession::tool(const QStringList& command, int* exitCode) const
{
    QProcess p;
    QProcessEnvironment env = baseEnvironment();
    const QStringList ipc = QDir(runtime_).entryList({QStringLiteral("sway-ipc.*")}, QDir::System);
    if (!ipc.isEmpty())
        env.insert(QStringLiteral("SWAYSOCK"), runtime_ + QLatin1Char('/') + ipc.front());
    p.setProcessEnvironment(env);
    p.setStandardErrorFile(QProcess::nullDevice());
    const QStringList full = asUser(command);
    p.start(full.front(), full.mid(1));
    if (!p.waitForStarted(5000) || !p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished(1000);
        if (exitCode)
            *exitCode = -1;
        return {};
    }
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput());
}

QList<WaylandSession::Window> WaylandSession::windows() const
{
    const QJsonObject tree =
        QJsonDocument::fromJson(
            tool({QStringLiteral("swaymsg"), QStringLiteral("-t"), QStringLiteral("get_tree")}).toUtf8())
            .object();
    QList<QJsonObject> found;
    findWindows(tree, found);
    QList<Window> out;
    for (const QJsonObject& w : found) {
        const QJsonObject r = w.value(QStringLiteral("rect")).toObject();
        const QJsonObject inner = w.value(QStringLiteral("window_rect")).toObject();
        out.push_back(
            {w.value(QStringLiteral("name")).toString(),
             QRect(r.value(QStringLiteral("x")).toInt() + inner.value(QStringLiteral("x")).toInt(),
                   r.value(QStringLiteral("y")).toInt() + inner.value(QStringLiteral("y")).toInt(),
                   inner.value(QStringLiteral("width")).toInt(), inner.value(QStringLiteral("height")).toInt())});
    }
    return out;
}

bool WaylandSession::closeWindow() const
{
    int code = -1;
    tool({QStringLiteral("swaymsg"), QStringLiteral("[app_id=\"orvantis\"] kill")}, &code);
    return code == 0;
}

bool WaylandSession::keys(const QStringList& wtypeArgs) const
{
    int code = -1;
    tool(QStringList{QStringLiteral("wtype")} + wtypeArgs, &code);
    return code == 0;
}

std::unique_ptr<QProcess> WaylandSession::subscribeWindowEvents() const
{
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = baseEnvironment();
    const QStringList ipc = QDir(runtime_).entryList({QStringLiteral("sway-ipc.*")}, QDir::System);
    if (!ipc.isEmpty())
        env.insert(QStringLiteral("SWAYSOCK"), runtime_ + QLatin1Char('/') + ipc.front());
    p->setProcessEnvironment(env);
    p->setStandardErrorFile(QProcess::nullDevice());
    const QStringList command =
        asUser({QStringLiteral("swaymsg"), QStringLiteral("-m"), QStringLiteral("-r"), QStringLiteral("-t"),
                QStringLiteral("subscribe"), QStringLiteral("[\"window\", \"tick\"]")});
    p->start(command.front(), command.mid(1));
    // sway sends a new subscriber of ticks one at once ({"first": true, ...}): the subscription is
    // in force from then on.
    while (!p->canReadLine() && p->waitForReadyRead(30000)) {}
    if (!p->canReadLine() || !p->readLine().contains("\"first\""))
        return nullptr;
    return p;
}

SwayWindowEvents::SwayWindowEvents(const WaylandSession& session) : feed_(session.subscribeWindowEvents()) {}

bool SwayWindowEvents::waitFor(const std::function<bool()>& cond, int timeoutMs)
{
    if (!feed_)
        return false;
    while (!cond()) {
        if (!feed_->canReadLine() && !feed_->waitForReadyRead(timeoutMs))
            return false;
        while (feed_->canReadLine()) {
            const QJsonObject event = QJsonDocument::fromJson(feed_->readLine()).object();
            const QJsonObject window = event.value(QStringLiteral("container")).toObject();
            if (window.value(QStringLiteral("app_id")).toString() != QLatin1String("orvantis"))
                continue;
            const qint64 id = window.value(QStringLiteral("id")).toInteger();
            const QString change = event.value(QStringLiteral("change")).toString();
            if (change == QLatin1String("new")) {
                if (main_ < 0)
                    main_ = id;
                else
                    ++openDialogs_;
            } else if (change == QLatin1String("close") && id != main_) {
                --openDialogs_;
                ++dialogsClosed_;
            } else if (change == QLatin1String("focus")) {
                focused_ = id;
            }
        }
    }
    return true;
}

QImage WaylandSession::screenshot() const
{
    const QString path = dir_.filePath(QStringLiteral("shot.png"));
    QFile::remove(path);
    // grim writes as the session's user, into its home.
    const QString own = home_ + QStringLiteral("/shot.png");
    int code = -1;
    tool({QStringLiteral("grim"), own}, &code);
    QImage image(own);
    QFile::remove(own);
    return code == 0 ? image : QImage();
}

} // namespace orvreal
