// The program in a real X session: an X server (Xvfb) with a window manager (openbox) on a free
// display, the program started from an application folder of its own with a private home, and
// the X protocol tools that drive and look at it (xdotool, xprop, xwininfo, ImageMagick's import).
//
// Display numbers come from ORVANTIS_TEST_DISPLAYS ("first-last", default 60-69); a number whose
// lock file exists is passed over. The program is the one built beside the tests unless
// ORVANTIS_EXE names another (an installed one, say); the session runs it with QT_QPA_PLATFORM=xcb
// unless a run says otherwise.
#pragma once

#include "realx/WindowEvents.h"

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

// How long a wait for something the program or the session is to do may take before the test
// gives up on it: far longer than it ever takes, so that a loaded machine only makes it slower.
inline constexpr int kEventWaitMs = 30000;

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
    // Keys sent to one window whatever has the focus (as events sent to it).
    void keyTo(const QString& window, const QString& keys) const;
    // The window manager held still, and the keyboard focus set on a window by the test itself.
    void pauseWindowManager() const;
    void resumeWindowManager() const;
    void focusDirectly(const QString& window) const;
    // Whether the display's keyboard focus is on the window.
    bool hasFocus(const QString& window) const;

    QImage screenshot() const;
    // A part of the screen once it has stopped changing: two pictures in a row alike, where
    // what keeps changing by design (a blinking caret) is painted over by hide.
    QImage settledPicture(const QRect& area, const std::function<void(QImage&)>& hide = {},
                          int timeoutMs = kEventWaitMs) const;
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
    // The main window once the first activation has ended: the two wait dialogs of the load have
    // come and gone (seen by the X server, whether or not the window manager took them on), the
    // title shows no statement and the window has the keyboard focus. Empty when that does not
    // come within the time.
    QString waitMainWindow(int timeoutMs = kEventWaitMs) const;
    // Since the launch (ms): when the main window was mapped, and when the program's windows last
    // changed (after waitMainWindow: the last wait dialog gone, the first list shown). -1 before
    // either.
    qint64 firstWindowAtMs() const;
    qint64 lastChangeAtMs() const;
    // The window manager's close command (Alt+F4) on the window, then the end of the process.
    bool closeThroughWindowManager(const QString& window, int timeoutMs = 15000);
    bool waitExit(int timeoutMs);
    int exitCode() const;
    QString output() const; // standard output and error so far
    void pause() const; // SIGSTOP: the program draws nothing until resume()
    void resume() const;

private:
    const XSession& x_;
    std::unique_ptr<WindowEvents> events_;
    std::unique_ptr<QProcess> process_;
    QElapsedTimer sinceLaunch_;
};

// Ends a process the session started: asked first, then killed.
void StopProcess(std::unique_ptr<QProcess>& p);

// Polls until cond() holds or timeoutMs pass.
bool WaitUntil(const std::function<bool()>& cond, int timeoutMs, int stepMs = 20);

} // namespace orvreal
