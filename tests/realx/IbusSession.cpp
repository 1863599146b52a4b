#include "realx/IbusSession.h"

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QStandardPaths>

namespace orvreal {

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
    StopProcess(daemon_);
    StopProcess(bus_);
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