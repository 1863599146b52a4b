// An input method in a real session: ibus with Anthy, as a desktop starts them.
#pragma once

#include "realx/RealSession.h"

#include <QProcess>
#include <QRect>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace orvreal {

// An input method in the session, as a desktop starts one: a message bus of its own with an ibus
// daemon on it, its engine Anthy in hiragana mode. Its configuration goes into the process's
// XDG_CONFIG_HOME (a test's private one), where the program finds the daemon's address too.
class IbusSession {
public:
    explicit IbusSession(const XSession& x);
    ~IbusSession();
    IbusSession(const IbusSession&) = delete;
    IbusSession& operator=(const IbusSession&) = delete;

    // Empty when ibus, Anthy and Qt's ibus plugin are installed; else what is missing.
    static QString missing();
    bool started() const { return started_; }
    QString error() const { return error_; }
    // What a program run needs to type through it.
    RunOptions runOptions() const;

private:
    QProcessEnvironment environment() const;
    QString ibus(const QStringList& args) const;

    const XSession& x_;
    bool started_ = false;
    QString error_;
    QString busAddress_, ibusAddress_;
    QTemporaryDir busFolder_;
    std::unique_ptr<QProcess> bus_;
    std::unique_ptr<QProcess> daemon_;
};

} // namespace orvreal
