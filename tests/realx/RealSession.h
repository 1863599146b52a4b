// The program in a real X session: an X server (Xvfb) with a window manager (openbox) on a free
// display, the program started from an application folder of its own with a private home, and
// the X protocol tools that drive and look at it (xdotool, xprop, xwininfo, ImageMagick's import).
//
// Display numbers come from ORVANTIS_TEST_DISPLAYS ("first-last", default 60-69); a number whose
// lock file exists is passed over. The program is the one built beside the tests unless
// ORVANTIS_EXE names another (an installed one, say); the session runs it with QT_QPA_PLATFORM=xcb
// unless a run says otherwise.
#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QMap>
#include <QMargins>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>

namespace orvreal {

// The tools a session needs that are not on the PATH; empty when a session can run.
QStringList MissingTools();

// A top-level window as the X server and the window manager have it.
struct WindowGeometry {
    QRect client; // the window's own area, in root coordinates
    QMargins frame; // _NET_FRAME_EXTENTS: what the window manager draws around it
    QRect outer() const { return client.marginsAdded(frame); }
};

// Shares of a rectangle's pixels: light (the window background and white), dark (text), black.
struct PixelShares {
    double light = 0, dark = 0, black = 0;
};
PixelShares CountPixels(const QImage& image, const QRect& area);

// Pixels that differ between two pictures (pictures of different sizes differ in every pixel and
// one more); of a rectangle only, where area is given.
long DifferingPixels(const QImage& a, const QImage& b);
long DifferingPixels(const QImage& a, const QImage& b, const QRect& area);

class XSession {
public:
    explicit XSession(QSize screen = QSize(1280, 1024));
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool started() const { return started_; }
    QString error() const { return error_; }
    QString display() const { return display_; }
    QSize screenSize() const { return screen_; }
    // The environment of the test process with DISPLAY pointing at this session.
    QProcessEnvironment environment() const;

    // Runs an X client on this display and returns its standard output, trimmed.
    QString tool(const QString& program, const QStringList& args, int timeoutMs = 10000, int* exitCode = nullptr) const;

    // Visible windows whose name matches the extended regular expression, of one process when pid
    // is given; as decimal window ids.
    QStringList findWindows(const QString& namePattern, qint64 pid = 0) const;
    QString windowName(const QString& window) const;
    WindowGeometry geometry(const QString& window) const;
    // One property as xprop prints it after the "=", or empty when the window has none.
    QString property(const QString& window, const QString& name) const;

    // Keys as xdotool names them ("Tab", "alt+r", "shift+Tab"), to the focused window.
    void key(const QString& keys) const;
    // Text typed key by key, to the focused window.
    void type(const QString& text) const;
    // Mouse clicks at a point of the window's client area, or of the screen.
    void click(const QString& window, QPoint at, int count = 1) const;
    void clickScreen(QPoint at, int count = 1) const;
    // Moves the pointer onto a point of the window's client area (a small step first, so that the
    // window sees a movement inside it) and leaves it there.
    void hover(const QString& window, QPoint at) const;
    // Gives the window the focus through the window manager.
    void activate(const QString& window) const;

    QImage screenshot() const;
    // Writes a screenshot when ORVANTIS_SHOTS names a folder (for looking at a run); the path.
    QString keepScreenshot(const QImage& image, const QString& name) const;

private:
    bool startServer(int number);
    bool startWindowManager();

    QSize screen_;
    QString display_;
    bool started_ = false;
    QString error_;
    QTemporaryDir home_;
    std::unique_ptr<QProcess> server_;
    std::unique_ptr<QProcess> windowManager_;
};

// An application folder of its own: the program, a catalogue, optionally a settings file.
class AppFolder {
public:
    // catalogue: copied in as tevox20.mdb (empty for none).
    explicit AppFolder(const QString& catalogue);
    QString path() const { return dir_.path(); }
    QString exe() const { return exe_; }
    QString iniPath() const { return dir_.filePath(QStringLiteral("tevo.ini")); }
    void setIni(const std::string& section, const std::string& key, const std::string& value) const;
    // The stored value, or "<none>".
    std::string ini(const std::string& section, const std::string& key) const;
    // WINDOW's TOP, LEFT, WIDTH and HEIGHT (twips) as a rectangle left, top, width, height.
    QRect savedRect() const;
    // Stores a frame (twips) and a window state as the program saves them.
    void saveFrame(const QRect& twips, int state = 0) const;

private:
    QTemporaryDir dir_;
    QString exe_;
};

struct RunOptions {
    QStringList arguments;
    QMap<QString, QString> setEnv;
    QStringList unsetEnv;
};

// One run of the program in a session, killed at the end if it is still running.
class AppRun {
public:
    AppRun(const XSession& x, const AppFolder& folder, const RunOptions& options = {});
    ~AppRun();
    AppRun(const AppRun&) = delete;
    AppRun& operator=(const AppRun&) = delete;

    qint64 pid() const;
    bool running() const;
    // Time since the program was launched (the process start requested).
    const QElapsedTimer& sinceLaunch() const { return sinceLaunch_; }
    // The main window once the first activation has ended: the two load dialogs have come and
    // gone and the title shows no statement. Empty when that does not come within the time.
    QString waitMainWindow(int timeoutMs = 30000) const;
    // Since the launch (ms): when the window manager first listed a window of the program (the main
    // window mapped), and when its list of the program's windows last changed (after
    // waitMainWindow: the last wait dialog gone, the first list shown). -1 before either.
    qint64 firstWindowAtMs() const { return firstWindowAtMs_; }
    qint64 lastChangeAtMs() const { return lastChangeAtMs_; }
    // The window manager's close command (Alt+F4) on the window, then the end of the process.
    bool closeThroughWindowManager(const QString& window, int timeoutMs = 15000);
    bool waitExit(int timeoutMs);
    int exitCode() const;
    QString output() const; // standard output and error so far
    void pause() const; // SIGSTOP: the program draws nothing until resume()
    void resume() const;

private:
    // The window manager's list of the windows it manages, followed as it changes (the session
    // runs this program alone): the first window is the main window.
    void readClientList() const;

    const XSession& x_;
    std::unique_ptr<QProcess> process_;
    std::unique_ptr<QProcess> clientList_;
    mutable QByteArray pending_;
    mutable bool listRead_ = false;
    mutable QStringList seen_; // every window that came, in order (decimal ids)
    mutable QStringList current_; // the windows there now
    mutable QElapsedTimer sinceChange_; // since the list of windows there last changed
    QElapsedTimer sinceLaunch_;
    mutable qint64 firstWindowAtMs_ = -1, lastChangeAtMs_ = -1;
};

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

// Polls until cond() holds or timeoutMs pass.
bool WaitUntil(const std::function<bool()>& cond, int timeoutMs, int stepMs = 20);

} // namespace orvreal
