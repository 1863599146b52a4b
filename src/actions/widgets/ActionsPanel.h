// The drive and entry actions: the drive button and its label (btnSelRoot, Label6), and the
// buttons that open the shown entry's folder and file (Command2, Command3); the chosen drive, the
// shell, and the title naming the entry's folder, which it hands the window.
#pragma once

#include "actions/EntrySource.h"
#include "actions/Volumes.h"
#include "platform/shell/Shell.h"

#include <QObject>
#include <QString>
#include <QWidgetList>
#include <memory>
#include <string>

class QLabel;
class QPushButton;

namespace orv {

class ActionsPanel : public QObject {
    Q_OBJECT
public:
    // exeFolder: the working folder of what opens; discReader: the program that copies folders
    // out of disc images (none: entries do not open out of images); cacheHome: the user's cache
    // folder, where those copies are kept.
    ActionsPanel(QWidget* window, const EntrySource& entry, QString exeFolder, std::string discReader,
                 std::string cacheHome);

    void BuildDriveButton(QWidget* band); // btnSelRoot, Label6
    void BuildEntryButtons(QWidget* band); // Command2, Command3
    QWidgetList driveFocusOrder() const;
    QWidgetList entryFocusOrder() const;
    void setShell(std::unique_ptr<Shell> shell) { shell_ = std::move(shell); }
    void setDiscReader(std::string exe) { discReader_ = std::move(exe); }
    // The drive the user store kept.
    void RestoreDrive();

    void btnSelRoot_Click();
    void ShowDriveLabel();
    void ShowTargetCaption();
    void Command2_Click();
    void Command3_Click();
    void ShellOpen(const std::string& file, bool folder);

signals:
    // The window's title: the application's, or the shown entry's folder on the chosen drive.
    void titleChanged(const QString& title);

private:
    // The drive, asked for now when none is chosen yet; false when the user chose none.
    bool HaveDrive();
    // An image's folder out of the cache, or copied there under the wait dialog.
    ImageFolderCopy CopyOutOfImage(const std::string& image, const std::vector<std::string>& folder);
    ImageFolderCopier imageCopier();
    void TidyCacheAside();
    // The message of an image copy that failed (none for one the user cancelled); false when the
    // entry's own missing-file or missing-folder message is due.
    bool ReportImageCopy(const ImageCopyOutcome& outcome);

    QWidget* window_;
    const EntrySource& entry_;
    QString exeFolder_;
    std::string discReader_;
    std::string cacheFolder_; // the copies out of disc images
    std::unique_ptr<Shell> shell_;

    QPushButton* btnSelRoot = nullptr;
    QLabel* Label6 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;

    std::string driveRoot_; // the drive as chosen and kept in the user store; messages name it
    std::string driveRootPath_; // the same ending in a separator, where paths start; empty: none chosen
};

} // namespace orv
