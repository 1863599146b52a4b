// The top-level windows of one program as the X server reports them: a connection of its own that
// hears of every window created on the display and of every change of its state, so that nothing
// that comes and goes is missed however briefly it stays and however late the test looks.
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>
#include <memory>

namespace orvreal {

class WindowEvents {
public:
    // display: ":N". pid: the program's process, once known (setProgram).
    explicit WindowEvents(const QString& display);
    ~WindowEvents();
    WindowEvents(const WindowEvents&) = delete;
    WindowEvents& operator=(const WindowEvents&) = delete;

    bool connected() const;
    // The program whose windows count: its process id.
    void setProgram(qint64 pid);
    // Handles the events that have come, waiting up to ms for the first of them.
    void handle(int ms);

    // The program's first window mapped (its main window), as a decimal id; empty before.
    QString mainWindow() const;
    // The current title of the main window.
    QString mainTitle() const;
    // Whether the display's keyboard focus is in the main window.
    bool mainFocused() const;
    // Windows the program created after its main window that are not menus, tips or the
    // toolkit's client leader (dialogs, message boxes): how many came, and how many are there now.
    int dialogsCreated() const;
    int dialogsThere() const;
    // Milliseconds on the given clock's scale (QElapsedTimer::msecsSinceReference) of the last
    // change of the program's windows (one mapped, unmapped or gone); -1 before any.
    qint64 lastChangeAt() const;
    qint64 mainMappedAt() const;

private:
    struct State;
    std::unique_ptr<State> s_;
};

} // namespace orvreal
