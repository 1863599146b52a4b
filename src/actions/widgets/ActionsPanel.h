// The drive and entry actions: the drive button and its label (btnSelRoot, Label6), and the
// buttons that open the shown entry's folder and file (Command2, Command3); the chosen drive, the
// shell, and the window title that names the entry's folder.
#pragma once

#include "app/Locations.h"
#include "platform/shell/Shell.h"

#include <QObject>
#include <QString>
#include <memory>
#include <string>

class QLabel;
class QPushButton;
class QWidget;

namespace orv {

// The entry the views show, as the actions open it.
struct ShownEntry {
    std::string cdNo; // txtNo
    std::string folder; // lblFolder
    std::string file; // txtFile
};

class EntrySource {
public:
    virtual ~EntrySource() = default;
    virtual ShownEntry currentEntry() const = 0;
};

class ActionsPanel : public QObject {
    Q_OBJECT
public:
    // exeFolder: the working folder of what opens; discReader: the program that copies folders
    // out of disc images (none: entries do not open out of images); xdg: where their cache lives.
    ActionsPanel(QWidget* window, const EntrySource& entry, QString exeFolder, std::string discReader,
                 XdgEnvironment xdg);

    void BuildDriveButton(QWidget* band); // btnSelRoot, Label6
    void BuildEntryButtons(QWidget* band); // Command2, Command3
    void setShell(std::unique_ptr<Shell> shell) { shell_ = std::move(shell); }
    // The drive the user store kept.
    void RestoreDrive();

    void btnSelRoot_Click();
    void ShowDriveLabel();
    void ShowTargetCaption();
    void Command2_Click();
    void Command3_Click();
    void ShellOpen(const std::string& file, const std::string& parameters, bool folder);

    const std::string& driveRoot() const { return driveRoot_; }
    const std::string& driveRootPath() const { return driveRootPath_; }

private:
    // The drive, asked for now when none is chosen yet; false when the user chose none.
    bool HaveDrive();

    QWidget* window_;
    const EntrySource& entry_;
    QString exeFolder_;
    std::string discReader_;
    XdgEnvironment xdg_;
    std::unique_ptr<Shell> shell_;

    QPushButton* btnSelRoot = nullptr;
    QLabel* Label6 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;

    std::string driveRoot_;
    std::string driveRootPath_;
};

} // namespace orv
