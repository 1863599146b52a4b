// A quit signal (logout, Ctrl+C, a closed terminal) closes the main window as its close command
// does: the settings are saved, and no job or open dialog is cut short.
#include "widgets/WidgetHarness.h"

#include "platform/engine/EngineIsolation.h"
#include "platform/signals/QuitSignals.h"

#include <QDialog>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace orvtest;

namespace {

void closeOnSignals(orv::QuitSignals& q, Harness& h)
{
    QObject::connect(&q, &orv::QuitSignals::received, &h.w(), &orv::frmMain::RequestClose);
}

// A dialog that, like the wait dialog, cannot be closed by the user.
class RefusingDialog : public QDialog {
public:
    using QDialog::QDialog;
    void reject() override { ++refused; }
    int refused = 0;
};

} // namespace

TEST(QuitSignalClose, SigtermClosesTheWindowAndSavesTheSettings)
{
    clearStoredDrive();
    AppFolder folder;
    Harness h(folder);
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

TEST(QuitSignalClose, BeforeTheFirstActivationWaitsForItsEnd)
{
    clearStoredDrive();
    AppFolder folder;
    Harness h(folder);
    h->show();
    ASSERT_FALSE(h.w().activated());
    h->RequestClose();
    ASSERT_TRUE(waitFor([&] { return h.ended; }));
    // The catalogue was opened and listed before the close, and the close saved that state.
    EXPECT_TRUE(h.w().activated());
    EXPECT_EQ(ctl<orv::ListBox>(h.w(), "List1")->count(), 9);
    EXPECT_EQ(folder.ini("SEARCH", "PFORMSTR"), ",GB,M'S BOX,MSX,N64,PC,PC-98,PS,SS");
}

TEST(QuitSignalClose, AnOpenDialogIsClosedFirst)
{
    clearStoredDrive();
    AppFolder folder;
    Harness h(folder);
    ASSERT_TRUE(h.start());
    QDialog box(&h.w());
    QTimer::singleShot(0, &h.w(), [&] { h->RequestClose(); });
    QTimer::singleShot(5000, &box, [&] { box.done(2); }); // a fault must not hang the test
    EXPECT_EQ(box.exec(), QDialog::Rejected);
    ASSERT_TRUE(waitFor([&] { return h.ended; }));
    EXPECT_EQ(folder.ini("DISP", "MODE"), "0");
}

TEST(QuitSignalClose, ADialogThatRefusesIsWaitedFor)
{
    clearStoredDrive();
    AppFolder folder;
    Harness h(folder);
    ASSERT_TRUE(h.start());
    RefusingDialog job(&h.w());
    bool endedWhileOpen = false;
    QTimer::singleShot(0, &h.w(), [&] { h->RequestClose(); });
    // The job ends on its own a little later; the window must stay until then.
    QTimer::singleShot(200, &job, [&] {
        endedWhileOpen = h.ended;
        job.done(QDialog::Accepted);
    });
    EXPECT_EQ(job.exec(), QDialog::Accepted);
    EXPECT_GE(job.refused, 1);
    EXPECT_FALSE(endedWhileOpen);
    ASSERT_TRUE(waitFor([&] { return h.ended; }));
    EXPECT_TRUE(folder.hasIni());
}

// SIGTERM while the catalogue is being read (a reader that would take a minute): the read stops,
// its reader child with it, and the window closes without the open-failure message, saving the
// settings as a close does.
TEST(QuitSignalClose, SigtermDuringTheCatalogueReadStopsItAndSaves)
{
    clearStoredDrive();
    AppFolder folder;
    folder.setIni("SEARCH", "WORD", "kept");
    orv::QuitSignals q;
    orvtest::TempDir dir;
    const std::string slow = dir.file("slow.sh");
    orvtest::writeFileBytes(slow, "#!/bin/sh\nexec sleep 60\n");
    std::filesystem::permissions(slow, std::filesystem::perms::owner_all);
    Harness h(folder, {}, std::make_shared<orv::IsolatedCatalogue>(slow, 60000, q.requestedFd()));
    closeOnSignals(q, h);
    std::thread later([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
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
