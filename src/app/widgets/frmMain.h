// frmMain: the program's one main window. Its handlers are spread over the subsystems' folders:
// app (start-up, activation, placement, shut-down), catalogue (record query, lists, sort),
// search (search and reset), views (layout, navigation, field boxes), actions (drive, files).
#pragma once

#include "app/Locations.h"
#include "app/Placement.h"
#include "app/Settings.h"
#include "platform/shell/Shell.h"

#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QTimer;

namespace orvtest {
class MainWindowProbe;
}

namespace orv {

class CatalogueSource;
class DataControl;
class Database;
class DBGrid;
class FittingLabel;
class Frame;
class ListBox;
class Recordset;
struct DbError;
struct SearchConditions;

// What start-up takes from the process; tests give their own.
struct StartupEnvironment {
    QString exeFolder; // App.Path: the folder of the executable
    QString commandLine; // the command-line text after the program name
    // How the catalogue file is read: the program's child reader (without one nothing opens).
    std::shared_ptr<const CatalogueSource> catalogue;
    XdgEnvironment xdg{}; // where an installed program finds its catalogue and settings
    // The program that reads disc images in a child (the program itself); without one, entries
    // do not open out of images.
    std::string discReader{};
};

class frmMain : public QWidget {
    Q_OBJECT
public:
    explicit frmMain(const StartupEnvironment& env, QWidget* parent = nullptr);
    ~frmMain() override;

    // How the program ends after the unload handler; tests replace it.
    void setEndProgram(std::function<void()> end) { endProgram_ = std::move(end); }
    void setShell(std::unique_ptr<Shell> shell) { shell_ = std::move(shell); }
    bool ended() const { return ended_; }

    // --- Start-up, activation, placement, shut-down ---
    void Form_Load();
    void Form_Activate();
    void Form_Unload();
    // A close asked for from outside the window (a quit signal): the close command, once the
    // first activation is over and no catalogue job runs; open message boxes are closed first.
    void RequestClose();
    void ShowDriveLabel();
    void PlaceFromSettings();
    Placement SavedPlacement() const; // the saved frame pulled onto the monitors
    Placement FirstPlacement() const; // the window as created pulled onto the available screen

    // --- Catalogue ---
    void Combo2_Click();
    void SetCombo2Text(const QString& text); // Combo2.Text = text: selects the item and raises the click
    void ShowWait(); // dlgWait.Show vbModal
    void RunWaitJob(); // the wait dialog's work
    void RunRecordQuery();
    void RunStatement(std::string statement, const std::function<void(Recordset&)>& use);
    void FillVolumeList();
    void FillPlatformList();
    void DBGrid1_HeadClick(int colIndex);
    void ShowQueryFailure(const DbError& e);

    // --- Search ---
    SearchConditions ReadConditions() const;
    void Command1_Click();
    void Command5_Click();

    // --- Views ---
    void btnMode_Click();
    void ArrangeViews();
    void HScroll1_Change();
    void HScroll2_Change();
    void VScroll2_Change();
    void StepRecord(int direction);
    void btnRecord_MouseDown(int index, int button);
    void btnRecord_MouseUp(int index, int button);
    void btnRecord_KeyDown(int index, int keyCode);
    void btnRecord_KeyUp(int index, int keyCode);
    void btnRecord_Click(int index);
    void Timer1_Timer();
    void FieldPageKeyDown(int keyCode);
    void FieldPageKeyUp(int keyCode);
    void ShowRecordPosition();

    // --- File and drive actions ---
    void btnSelRoot_Click();
    void ShowTargetCaption();
    void Command2_Click();
    void Command3_Click();
    void ShellOpen(const std::string& file, const std::string& parameters, bool folder);

    // Window geometry in twips, as the toolkit reports it.
    float ScaleWidth() const;
    float ScaleHeight() const;
    int WindowState() const; // 0 normal, 1 minimised, 2 maximised
    void SetCaption(const QString& caption);

protected:
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // Tests check and set a few of the state fields below through it.
    friend class orvtest::MainWindowProbe;

    // Process-wide state of the code modules.
    struct ModuleState {
        std::string queryText;
        std::array<long, 20> columnWidths{};
        unsigned char waitJob = 0; // 0 load, 1 search, 2 sort
        unsigned char listsPending = 0;
        std::string platformSelection;
        MonitorCensus census;
        std::string tableName;
        std::string filterText;
        std::string sortText;
        std::unique_ptr<Database> catalogueDb;
    };

    // --- Controls (named as the program's design names them) ---
    QWidget* Frame1;
    QPushButton* btnSelRoot;
    QLabel* Label6;
    QLabel* Label4;
    Frame* Frame7;
    std::array<QRadioButton*, 3> optNew{};
    Frame* Frame6;
    std::array<QCheckBox*, 3> Check1{};
    ListBox* List1;
    Frame* Frame2;
    std::array<QLineEdit*, 1> txtStrGame{};
    std::array<QRadioButton*, 2> optGame{};
    std::array<QCheckBox*, 4> chkFind1{};
    Frame* Frame3;
    std::array<QLineEdit*, 1> txtStrMaker{};
    std::array<QRadioButton*, 2> optMaker{};
    std::array<QCheckBox*, 4> chkFind2{};
    QPushButton* Command5;
    QPushButton* Command1;
    Frame* Frame4;
    std::array<QPushButton*, 5> btnRecord{}; // 1..4
    QPushButton* btnMode;
    QString btnModeTag = QStringLiteral("0");
    FittingLabel* Label3;
    FittingLabel* Label5;
    QLabel* Label8;
    QComboBox* Combo2;
    QPushButton* Command2;
    QPushButton* Command3;
    QPushButton* Command4;
    QScrollBar* HScroll1;
    QScrollBar* HScroll2;
    QScrollBar* VScroll2;
    QWidget* Frame8;
    QWidget* Frame5;
    QLineEdit* txtNew;
    QLineEdit* txtSS;
    QLineEdit* txtWindows;
    QLineEdit* txtF_S;
    QPlainTextEdit* txtGame;
    QPlainTextEdit* txtMaker;
    QLineEdit* txtFile;
    QLineEdit* txtCopyright;
    QPlainTextEdit* txtEffect;
    QLineEdit* txtNo;
    QLineEdit* txtCDDate;
    QLabel* lblFolder;
    QWidget* Frame10;
    QLabel* Label7;
    DBGrid* DBGrid1;
    DataControl* Data1;
    QTimer* Timer1;

    // --- Main-window state ---
    bool activated = false;
    std::string driveRootPath;
    std::string driveRoot;
    bool catalogueOpenFailed = false;
    std::string appFolder;
    bool suppressVolumeClick = false;
    std::string openCatalogueKey;
    std::string settingsPath;
    std::string cataloguePath;
    unsigned char screenCheck = 255;
    long recordTotal = 0;
    std::string cdFilter;
    std::array<bool, 20> sortDescending{};
    bool widthsCaptured = false;
    int heldButton = 0;
    int swallowClick = 0;
    ModuleState module;

    void buildTopBand();
    void buildCardPanel();
    void buildGrid();
    void NameControls(); // names and descriptions for assistive technology
    void RestoreSearchConditions();
    void CountMonitors();
    void Form_Resize();
    QSize applyMinimumSize();
    QRect roomOnScreen() const; // the screen's available area, in logical pixels
    void placeFrame();
    void followFrameExtents();
    void windowSystemMoved();
    void endPlacement();
    FrameMargins frameMargins() const;
    QRect outerRect() const; // the window with its frame, in pixels
    void endPressIfNoClick();
    void writeSettings();
    // The window's outer rectangle in twips, as shutdown saves it in the normal state.
    struct SavedRect {
        float top, left, width, height;
    };
    SavedRect RectToSave() const;

    // The settings file as the load handler read it, and which of its values reached their
    // controls in this run (only those are written back).
    SavedSettings savedSettings_;
    AppliedSettings appliedSettings_;

    StartupEnvironment env_;
    std::function<void()> endProgram_;
    std::unique_ptr<Shell> shell_;
    bool ended_ = false;
    bool unloading_ = false;
    bool clickSeen_ = false;
    bool queryMessageShown_ = false;
    bool placing_ = false;
    bool activating_ = false; // the first activation is running
    std::optional<TwipsRect> placedFrame_; // the frame placement put the window in, until the first activation ends
    FrameMargins placedMargins_; // the frame extents it was placed with
    bool placementAnswered_ = true; // no request of the placement waits for the window system's answer
};

} // namespace orv
