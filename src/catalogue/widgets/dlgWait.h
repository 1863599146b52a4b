// dlgWait: the modal dialog that runs every long catalogue job once it is on the screen.
#pragma once

#include "catalogue/widgets/CatalogueSession.h"

#include <QDialog>
#include <exception>
#include <functional>

class QLabel;

namespace orv {

class dlgWait : public QDialog {
    Q_OBJECT
public:
    // work runs once the dialog shows.
    dlgWait(QWidget* mainWindow, WaitJob waitJob, std::function<void()> work);

    // Shows the dialog modally and returns when the work is done and the dialog has closed.
    // A failure of the work is passed on to the caller.
    void ShowModal();

    QLabel* Label1;

    static QString MessageFor(WaitJob waitJob);
    static QString TitleFor(WaitJob waitJob);

protected:
    void showEvent(QShowEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void reject() override {} // the user never closes it

private:
    void Form_Activate();
    QRect titleBarRect() const;
    std::function<void()> work_;
    bool started_ = false;
    std::exception_ptr failure_;
};

} // namespace orv
