// A quit signal (logout, Ctrl+C, a closed terminal) closes the main window as its close command
// does: the settings are saved, and no job or open dialog is cut short.
#include "widgets/WidgetHarness.h"

#include "platform/engine/EngineIsolation.h"
#include "platform/signals/QuitSignals.h"

#include <QDialog>
#include <QTimer>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace orvtest;

namespace {

class QuitSignalClose : public WindowTest {};

void closeOnSignals(orv::QuitSignals& q, Harness& h)
{
    QObject::connect(&q, &orv::QuitSignals::received, &h.w(), &orv::frmMain::RequestClose);
}

// A dialog that, like the wait dialog, cannot be closed by the user.
class RefusingDialog : public QDialog {
public:
    using QDialog::QDialog;
    void reject() override
    {
        if (++refused == 3 && afterRefusal)
            QTimer::singleShot(0, this, afterRefusal);
    }
    int refused = 0;
    std::function<void()> afterRefusal;
};

} // namespace

TEST_F(QuitSignalClose, SigtermClosesTheWindowAndSavesTheSettings)
{
    Harness& h = window();
    orv::QuitSignals q;
    closeOnSignals(q, h);
    ASSERT_TRUE(h.start());
    ctl<QLineEdit>(h.w(), "txtStrGame_0")->setText(QStringLiteral("before the signal"));
    ::raise(SIGTERM);
    ASSERT_TRUE(waitFor([&] { return h.ended; }));
    EXPECT_FALSE(h->isVisible());
    EXPECT_EQ(folder.ini("SEARCH", "WORD"), "before the signal");
    EXPECT_EQ(folder.ini("SEARCH", "PFORMSTR"), ",GB,M'S BOX,MSX,N64,PC,PC-98,PS,SS");
}

TEST_F(QuitSignalClose, BeforeTheFirstActivationWaitsForItsEnd)
{
    Harness& h = window();
    h->show();
    ASSERT_EQ(ctl<orv::ListBox>(h.w(), "List1")->count(), 0) << "not listed yet";
    h->RequestClose();
    ASSERT_TRUE(waitFor([&] { return h.ended; }));
    // The catalogue was opened and listed before the close, and the close saved that state.
    EXPECT_EQ(ctl<orv::ListBox>(h.w(), "List1")->count(), 9);
    EXPECT_EQ(folder.ini("SEARCH", "PFORMSTR"), ",GB,M'S BOX,MSX,N64,PC,PC-98,PS,SS");
}

TEST_F(QuitSignalClose, AnOpenDialogIsClosedFirst)
{
    Harness& h = start();
    QDialog box(&h.w());
    QTimer::singleShot(0, &h.w(), [&] { h->RequestClose(); });
    EXPECT_EQ(box.exec(), QDialog::Rejected);
    ASSERT_TRUE(waitFor([&] { return h.ended; }));
    EXPECT_EQ(folder.ini("DISP", "MODE"), "0");
}

TEST_F(QuitSignalClose, ADialogThatRefusesIsWaitedFor)
{
    Harness& h = start();
    RefusingDialog job(&h.w());
    bool endedWhileOpen = false;
    QTimer::singleShot(0, &h.w(), [&] { h->RequestClose(); });
    // The job ends on its own once it has refused the close (asked again and again) three
    // times; the window must stay until then.
    job.afterRefusal = [&] {
        endedWhileOpen = h.ended;
        job.done(QDialog::Accepted);
    };
    EXPECT_EQ(job.exec(), QDialog::Accepted);
    EXPECT_GE(job.refused, 3);
    EXPECT_FALSE(endedWhileOpen);
    ASSERT_TRUE(waitFor([&] { return h.ended; }));
    EXPECT_TRUE(folder.hasIni());
}

// SIGTERM while the catalogue is being read (a reader that would take a minute): the read stops,
// its reader child with it, and the window closes without the open-failure message, saving the
// settings as a close does.
TEST_F(QuitSignalClose, SigtermDuringTheCatalogueReadStopsItAndSaves)
{
    folder.setIni("SEARCH", "WORD", "kept");
    orv::QuitSignals q;
    orvtest::TempDir dir;
    // The reader says it has started through a pipe, then works on for a minute.
    const std::string started = dir.file("started");
    ASSERT_EQ(::mkfifo(started.c_str(), 0600), 0);
    const std::string slow = dir.file("slow.sh");
    orvtest::writeFileBytes(slow, "#!/bin/sh\necho started > '" + started + "'\nexec sleep 60\n");
    std::filesystem::permissions(slow, std::filesystem::perms::owner_all);
    Harness h(folder, {}, std::make_shared<orv::IsolatedCatalogue>(slow, 60000, q.requestedFd()));
    closeOnSignals(q, h);
    std::thread later([&started] {
        std::ifstream(started).get();
        ::kill(::getpid(), SIGTERM);
    });
    h->show();
    const bool ended = waitFor([&] { return h.ended; }, 20000);
    later.join();
    ASSERT_TRUE(ended);
    EXPECT_TRUE(h.messageTexts().isEmpty()) << h.messageTexts().join(QStringLiteral("|")).toStdString();
    EXPECT_EQ(folder.ini("SEARCH", "WORD"), "kept");
    EXPECT_EQ(folder.ini("WINDOW", "WINSATE"), "0") << "the close saved the settings";
}
