// Ending the program from outside: SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C, a closed
// terminal) become a Qt signal delivered by the event loop, so the main window can be closed as
// its close command does and the settings are saved. A second of these signals ends the process
// at once, as if no handler were installed: the first one may be waiting for a job to end.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace orv {

class QuitSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; one instance at a time. Needs a QCoreApplication.
    explicit QuitSignals(QObject* parent = nullptr);
    // Restores the default handlers.
    ~QuitSignals() override;

    // A descriptor that turns readable at the first of these signals and stays so (-1 when the
    // handlers could not be installed): work that blocks the event loop, such as reading a
    // catalogue, polls it to stop early.
    int requestedFd() const;

signals:
    void received(int signalNumber);

private:
    void drain();
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace orv
