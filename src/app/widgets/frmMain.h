// frmMain: the program's main window. It composes the panels that own the controls, their state
// and handlers (search conditions, views, catalogue, actions), and keeps the window's own events
// (load, activation, resize, unload), its own controls (the top band Frame1 with its scroll bar,
// the version Label4, the exit button Command4) and the settings file; WindowPlacer places it.
#pragma once

#include "app/Locations.h"
#include "app/Placement.h"
#include "app/Settings.h"
#include "platform/shell/Shell.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class QLabel;
class QPushButton;
class QScrollBar;

namespace orv {

class ActionsPanel;
class CatalogueSource;
class CataloguePanel;
class SearchPanel;
class ViewsPanel;
class WindowPlacer;

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

    // How the program ends after the unload handler; tests replace it.
    void setEndProgram(std::function<void()> end) { endProgram_ = std::move(end); }
    void setShell(std::unique_ptr<Shell> shell);
    bool ended() const { return ended_; }

    SearchPanel& search() { return *search_; }
    ViewsPanel& views() { return *views_; }
    CataloguePanel& catalogue() { return *catalogue_; }
    ActionsPanel& actions() { return *actions_; }

    void Form_Load();
    void Form_Activate();
    void Form_Unload();
    // A close asked for from outside the window (a quit signal): the close command, once the
    // first activation is over and no catalogue job runs; open message boxes are closed first.
    void RequestClose();
    void PlaceFromSettings();
    void ArrangeViews();
    void HScroll1_Change();

    // Window geometry in twips, as the toolkit reports it.
    float ScaleWidth() const;
    float ScaleHeight() const;
    int WindowState() const; // 0 normal, 1 minimised, 2 maximised

protected:
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void buildTopBand();
    void orderFocus();
    void CatalogueFailed(bool stopped);
    void Form_Resize();
    TwipsRect savedFrame() const; // the outer frame the settings file kept
    void writeSettings();

    StartupEnvironment env_;
    SearchPanel* search_;
    ViewsPanel* views_;
    CataloguePanel* catalogue_;
    ActionsPanel* actions_;
    WindowPlacer* placer_;

    // The window's own controls.
    QWidget* Frame1 = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* Command4 = nullptr;
    QScrollBar* HScroll1 = nullptr;

    // The settings file as the load handler read it, and which of its values reached their
    // controls in this run (only those are written back).
    SavedSettings savedSettings_;
    AppliedSettings appliedSettings_;

    std::string appFolder_;
    std::string settingsPath_;
    unsigned char screenCheck_ = 255;
    std::function<void()> endProgram_;
    bool activated_ = false;
    bool ended_ = false;
    bool unloading_ = false;
    bool activating_ = false; // the first activation is running
};

} // namespace orv
