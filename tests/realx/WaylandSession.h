// The program as a native Wayland client of a headless compositor: sway (wlroots, with server-side
// frames, its IPC for the window's geometry and the close command, wtype for keys and grim for
// pictures) or weston (its own headless backend, client-side frames, no seat: a window that is
// never focused).
//
// sway refuses to run as root: as root, the compositor and the program run as the unprivileged
// user nobody (setpriv), in folders that user owns. Each session has a runtime folder of its own,
// so its socket (wayland-orv-N for weston) meets no other.
#pragma once

#include "realx/RealSession.h"

#include <QImage>
#include <QList>
#include <QProcess>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

namespace orvreal {

class WaylandSession {
public:
    enum class Compositor { Sway, Weston };
    explicit WaylandSession(Compositor compositor, QSize screen = QSize(1280, 1024));
    ~WaylandSession();
    WaylandSession(const WaylandSession&) = delete;
    WaylandSession& operator=(const WaylandSession&) = delete;

    // Empty when the session runs; else one line saying why it cannot (for a skip).
    QString unavailable() const { return unavailable_; }
    Compositor compositor() const { return compositor_; }

    // Hands a folder (and what is in it) to the user the session runs programs as.
    void giveToUser(const QString& folder) const;
    // Starts the program of the folder as a Wayland client (QT_QPA_PLATFORM=wayland), its standard
    // output and error in output.txt beside it.
    std::unique_ptr<QProcess> start(const AppFolder& folder, const QStringList& arguments = {}) const;

    // sway only: the program's window as the compositor has it (its size without sway's border),
    // an empty rectangle while there is none; the close command; keys through a virtual keyboard
    // (wtype's arguments, "-M alt x -m alt"); the screen as a picture.
    struct Window {
        QString title;
        QRect rect;
    };
    QList<Window> windows() const;
    QRect windowRect() const { return windows().value(0).rect; }
    bool closeWindow() const;
    bool keys(const QStringList& wtypeArgs) const;
    QImage screenshot() const;
    // sway only: its window events (new, focus, title, close...) as JSON lines, from a subscription
    // that is in force once this returns.
    std::unique_ptr<QProcess> subscribeWindowEvents() const;

private:
    bool startSway(QSize screen);
    bool startWeston(QSize screen);
    QProcessEnvironment baseEnvironment() const;
    // program and its arguments, run as the session's user.
    QStringList asUser(const QStringList& command) const;
    QString tool(const QStringList& command, int* exitCode = nullptr) const;

    Compositor compositor_;
    QString unavailable_;
    QTemporaryDir dir_; // runtime folder and home
    QString runtime_, home_, socket_;
    bool dropRoot_ = false;
    std::unique_ptr<QProcess> server_;
    std::unique_ptr<QProcess> keyboard_; // sway: the seat's keyboard, there from the start
};

// The program's windows followed through sway's window events, subscribed to before the program
// starts: the first of its windows is the main window, the others its dialogs.
class SwayWindowEvents {
public:
    explicit SwayWindowEvents(const WaylandSession& session);
    // Reads events until cond holds for what has come so far; false when sway says nothing more
    // for timeoutMs (a bound on a failure, not a wait).
    bool waitFor(const std::function<bool()>& cond, int timeoutMs = 30000);
    // The first load's two wait dialogs have come and gone and the main window has the keyboard.
    bool loadedAndFocused() const { return dialogsClosed_ >= 2 && openDialogs_ == 0 && focused_ == main_; }
    int openDialogs() const { return openDialogs_; }
    bool dialogFocused() const { return focused_ >= 0 && focused_ != main_; }

private:
    std::unique_ptr<QProcess> feed_;
    qint64 main_ = -1, focused_ = -1;
    int openDialogs_ = 0, dialogsClosed_ = 0;
};

} // namespace orvreal
