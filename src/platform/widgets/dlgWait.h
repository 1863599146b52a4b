// dlgWait: the modal dialog that runs every long job once it is on the screen: the catalogue's
// jobs, which run at once and block, and a copy out of a disc image, which a child process makes
// while the dialog waits on it with its progress and a button to stop it.
#pragma once

#include <QDialog>
#include <exception>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace orv {

// What the wait dialog says the program is doing.
enum class WaitJob : unsigned char { Load = 0, Search = 1, Sort = 2, Copy = 3 };

// A job that goes on while the dialog waits, the event loop turning: it tells how far it has come
// and when it has ended, and can be stopped.
class WaitTask : public QObject {
    Q_OBJECT
public:
    virtual void start() = 0; // progress follows, then finished
    virtual void cancel() = 0; // ends it early; finished follows
signals:
    void progress(qint64 done, qint64 total); // total 0: not known yet
    void finished();
};

class dlgWait : public QDialog {
    Q_OBJECT
public:
    // work runs once the dialog shows.
    dlgWait(QWidget* mainWindow, WaitJob waitJob, std::function<void()> work);
    // task starts once the dialog shows; the dialog shows its progress and a cancel button, which
    // Escape presses, and closes when the task has finished.
    dlgWait(QWidget* mainWindow, WaitJob waitJob, WaitTask* task);

    // Shows the dialog modally and returns when the work is done and the dialog has closed.
    // A failure of the work is passed on to the caller.
    void ShowModal();

    QLabel* Label1;
    QProgressBar* ProgressBar = nullptr; // a task's only
    QPushButton* CancelButton = nullptr; // a task's only

    static QString MessageFor(WaitJob waitJob);
    static QString TitleFor(WaitJob waitJob);

protected:
    void showEvent(QShowEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void reject() override; // Escape, a close: a task is cancelled; the catalogue's jobs go on

private:
    void Form_Load(QWidget* mainWindow, WaitJob waitJob);
    void Form_Activate();
    void ShowProgress(qint64 done, qint64 total);
    QRect titleBarRect() const;
    std::function<void()> work_;
    WaitTask* task_ = nullptr;
    bool started_ = false;
    std::exception_ptr failure_;
};

} // namespace orv
