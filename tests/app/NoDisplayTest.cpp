// The program itself started where there is no display: over ssh without forwarding, on a
// console, with a DISPLAY left over from another session.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <filesystem>

namespace {

struct Outcome {
    bool normalExit = false;
    int code = -1;
    QString out, err;
};

class NoDisplay : public ::testing::Test {
protected:
    void SetUp() override
    {
        // An application folder of its own, with a catalogue: a start that got that far would
        // write its settings beside it.
        exe_ = QString::fromStdString(dir_.file("orvantis"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(ORV_APP_EXE), exe_));
        ASSERT_TRUE(QFile::copy(QString::fromStdString(orvtest::dataPath("tevox20.mdb")),
                                QString::fromStdString(dir_.file("tevox20.mdb"))));
        std::filesystem::create_directories(dir_.path() / "home");
    }

    // The program with only these variables (a private home, the system's PATH).
    Outcome run(const QStringList& args, const QMap<QString, QString>& vars = {}) const
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        env.insert(QStringLiteral("HOME"), QString::fromStdString(dir_.file("home")));
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        for (auto it = vars.begin(); it != vars.end(); ++it)
            env.insert(it.key(), it.value());
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QString::fromStdString(dir_.path().string()));
        p.start(exe_, args);
        Outcome o;
        if (!p.waitForStarted(10000) || !p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            return o;
        }
        o.normalExit = p.exitStatus() == QProcess::NormalExit;
        o.code = p.exitCode();
        o.out = QString::fromUtf8(p.readAllStandardOutput());
        o.err = QString::fromUtf8(p.readAllStandardError());
        return o;
    }

    // Nothing written beside the program or in the home: no settings, no core.
    void expectNothingWritten() const
    {
        EXPECT_FALSE(std::filesystem::exists(dir_.file("tevo.ini")));
        EXPECT_FALSE(std::filesystem::exists(dir_.file("core")));
        EXPECT_TRUE(std::filesystem::is_empty(dir_.path() / "home"));
    }

    orvtest::TempDir dir_;
    QString exe_;
};

// A display number no X server listens on.
QString unusedDisplay()
{
    for (int n = 987; n < 1100; ++n)
        if (!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n))
            && !QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
            return QStringLiteral(":%1").arg(n);
    return {};
}

} // namespace

TEST_F(NoDisplay, HelpAndVersionAnswerWithoutOne)
{
    const Outcome help = run({QStringLiteral("--help")});
    EXPECT_TRUE(help.normalExit);
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("使い方: orvantis [/SCHK=0 | /SCHK=1]\n")))
        << help.out.toStdString();
    EXPECT_TRUE(help.out.contains(QStringLiteral("--version"))) << help.out.toStdString();
    EXPECT_EQ(help.err, QString());

    // With a switch before it, and a display named that is not there: still only the answer.
    const Outcome version =
        run({QStringLiteral("/SCHK=1"), QStringLiteral("--version")}, {{QStringLiteral("DISPLAY"), unusedDisplay()}});
    EXPECT_TRUE(version.normalExit);
    EXPECT_EQ(version.code, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("orvantis 1."))) << version.out.toStdString();
    EXPECT_TRUE(version.out.contains(QStringLiteral("MORVALEN")));
    EXPECT_EQ(version.err, QString());
    expectNothingWritten();
}

TEST_F(NoDisplay, AStartSaysSoInOneLineAndEnds)
{
    // Neither variable set.
    const Outcome none = run({});
    EXPECT_TRUE(none.normalExit) << "no abort";
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.err,
              QStringLiteral("orvantis: 画面に接続できません（DISPLAY も WAYLAND_DISPLAY も設定されていません）。\n"));
    EXPECT_EQ(none.out, QString());

    // An X display named that nobody serves: the toolkit's own attempt fails, and it gets the
    // same one line instead of its abort.
    const QString display = unusedDisplay();
    ASSERT_FALSE(display.isEmpty());
    const Outcome gone = run({QStringLiteral("/SCHK=0")}, {{QStringLiteral("DISPLAY"), display}});
    EXPECT_TRUE(gone.normalExit) << "no abort";
    EXPECT_EQ(gone.code, 1);
    EXPECT_EQ(gone.err,
              QStringLiteral("orvantis: 画面に接続できません（DISPLAY=%1 で開けませんでした）。\n").arg(display));

    // Wayland asked for, without its socket.
    const Outcome wayland = run({},
                                {{QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland")},
                                 {QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-orv-none")},
                                 {QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(dir_.file("home"))}});
    EXPECT_TRUE(wayland.normalExit);
    EXPECT_EQ(wayland.code, 1);
    EXPECT_EQ(wayland.err.count(QLatin1Char('\n')), 1) << wayland.err.toStdString();
    EXPECT_TRUE(wayland.err.startsWith(QStringLiteral("orvantis: 画面に接続できません（")))
        << wayland.err.toStdString();
    expectNothingWritten();
}
