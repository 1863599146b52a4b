// A main window started on a temporary application folder, with every modal piece (message
// boxes, folder chooser, shell, ending the process) replaced by a recorder.
#pragma once

#include "actions/widgets/ActionsPanel.h"
#include "app/widgets/frmMain.h"
#include "catalogue/widgets/CataloguePanel.h"
#include "platform/widgets/Controls.h"
#include "platform/widgets/Toolkit.h"
#include "platform/widgets/dlgWait.h"
#include "search/widgets/SearchPanel.h"
#include "support/TestSupport.h"
#include "views/widgets/ViewsPanel.h"
#include "widgets/FindControl.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace orvtest {

// The application folder: optionally a catalogue and a settings file.
class AppFolder {
public:
    // catalogue: a path to copy in as tevox20.mdb, or empty for none.
    explicit AppFolder(const std::string& catalogue = dataPath("tevox20.mdb"));
    std::string path() const { return dir_.path().string(); }
    std::string iniPath() const { return dir_.file("tevo.ini"); }
    void setIni(const std::string& section, const std::string& key, const std::string& value) const;
    // The saved outer frame, in twips.
    void saveFrame(int left, int top, int width, int height) const;
    // The stored value, or "<none>" when the key is missing.
    std::string ini(const std::string& section, const std::string& key) const;
    bool hasIni() const;

private:
    TempDir dir_;
};

// The base directories the window under test takes: the private home and configuration folder
// of the test program, with data folders of their own inside it, so that no installed catalogue
// is found. The process's XDG_DATA_* stay as they are for the programs tests start.
orv::XdgEnvironment TestXdgEnvironment();

// The folders of an installed program in TestXdgEnvironment (the user's data folder, the system's
// data folder, the configuration folder), each with its orvantis folder removed when made and
// when gone.
class InstalledFolders {
public:
    InstalledFolders();
    ~InstalledFolders();
    InstalledFolders(const InstalledFolders&) = delete;
    InstalledFolders& operator=(const InstalledFolders&) = delete;
    std::string userData() const { return userData_; }
    std::string systemData() const { return systemData_; }
    std::string settingsFolder() const { return config_; }
    std::string settingsPath() const { return config_ + "/tevo.ini"; }
    // Copies a catalogue into one of the data folders under the given name.
    void put(const std::string& dataFolder, const std::string& catalogue,
             const std::string& name = "tevox20.mdb") const;
    // The stored value, or "<none>" when the key is missing.
    std::string ini(const std::string& section, const std::string& key) const;

private:
    void clear() const;
    std::string userData_, systemData_, config_;
};

// Opens files and folders nowhere; answers with a chosen result.
class FakeShell : public orv::Shell {
public:
    struct Call {
        std::string target, workingFolder;
        bool folder;
    };
    std::vector<Call>* calls;
    int result = 33;
    explicit FakeShell(std::vector<Call>* c) : calls(c) {}
    int openFile(const std::string& file, const std::string& wd) override;
    int openFolder(const std::string& folder, const std::string& wd, std::string* program) override;
};

struct Message {
    QString text;
    orv::MsgStyle style;
};

class Harness {
public:
    // catalogue: how the window reads its catalogue; by default through the reader child, as the
    // program does.
    explicit Harness(const AppFolder& folder, const QString& commandLine = {},
                     std::shared_ptr<orv::CatalogueSource> catalogue = nullptr);
    ~Harness();

    // Shows the window and waits until the first activation has finished (or the program ended).
    bool start();

    orv::frmMain& w() { return *w_; }
    orv::frmMain* operator->() { return w_.get(); }

    bool ended = false;
    std::vector<Message> messages;
    std::vector<FakeShell::Call> shellCalls;
    FakeShell* shell = nullptr;

    QStringList messageTexts() const;
    int rowCount() const;
    // Fixture row numbers (1-based, table order) of the rows shown, in list order.
    std::vector<int> shownRows() const;
    // The shown values of one list column, in list order.
    QStringList columnValues(int column) const;
    QStringList platformItems() const;
    QStringList selectedPlatforms() const;
    void selectPlatforms(const QStringList& names);
    void clickHeader(int column);

private:
    std::unique_ptr<orv::frmMain> w_;
};

// Processes events until cond holds or ms pass.
bool waitFor(const std::function<bool()>& cond, int ms = 5000);

// The open-failure message.
inline const QString kOpenFailure = QStringLiteral("データベースファイルが開けません。\r\nプログラムを終了します。");

// Removes the stored drive root of earlier tests in the same process.
void clearStoredDrive();

// A window test on an application folder of its own (the sample catalogue) with no drive stored:
// the start of most window tests. Settings go into folder before the window is made; window()
// makes a window on it (or on another folder), start() makes one and shows it until its first
// activation is over. Each replaces the window before it.
class WindowTest : public testing::Test {
protected:
    void SetUp() override { clearStoredDrive(); }
    Harness& window(const AppFolder& on, const QString& commandLine = {})
    {
        window_.reset();
        return window_.emplace(on, commandLine);
    }
    Harness& window(const QString& commandLine = {}) { return window(folder, commandLine); }
    Harness& start(const AppFolder& on, const QString& commandLine = {})
    {
        Harness& h = window(on, commandLine);
        EXPECT_TRUE(h.start()) << "the first activation did not end";
        return h;
    }
    Harness& start(const QString& commandLine = {}) { return start(folder, commandLine); }
    // The window goes (before folders it was pointed at, say).
    void stop() { window_.reset(); }

    AppFolder folder;

private:
    std::optional<Harness> window_;
};

// A window started on the sample folder, its first activation done: the start of most suites.
class StartedWindow : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        h = &start();
        ASSERT_FALSE(h->ended);
    }
    orv::frmMain& w() { return h->w(); }

    Harness* h = nullptr;
};

} // namespace orvtest
