// The main window's file and drive actions: choosing the CD drive, the window title, and opening
// the current entry's file or folder.
#include "actions/CdPaths.h"
#include "actions/Volumes.h"
#include "app/Startup.h"
#include "app/widgets/frmMain.h"
#include "platform/disc/VolumeCache.h"
#include "platform/settings/UserStore.h"
#include "platform/widgets/Controls.h"
#include "platform/widgets/DataControl.h"
#include "platform/widgets/Toolkit.h"

#include <QLabel>
#include <QLineEdit>

namespace orv {

namespace {

// Folders of disc images are copied into the user's cache by the program's child reader, under
// the hourglass.
ImageFolderCopier imageCopier(const StartupEnvironment& env)
{
    return [exe = env.discReader, cache = VolumeCacheFolder(CacheBaseDir(env.xdg))](
               const std::string& image, const std::vector<std::string>& folder) {
        SetMousePointer(11);
        std::optional<std::string> copy = VolumeCache(exe, cache).folderCopy(image, folder);
        SetMousePointer(0);
        return copy;
    };
}

} // namespace

void frmMain::btnSelRoot_Click()
{
    const QString chosen = BrowseForFolder(this, QStringLiteral("お楽しみCDのドライブを選択して下さい"), QString());
    driveRootPath = chosen.toStdString();
    if (!chosen.isEmpty()) {
        driveRoot = driveRootPath;
        RegWriteString(RegRoot::CurrentUser, kRegKeyPath, kRegSelPath, driveRoot);
        ShowDriveLabel();
        ShowTargetCaption();
    } else if (driveRoot.empty()) {
        driveRootPath.clear();
        Label6->setText(QString::fromUtf8(kDriveLabelUnset));
        Label6->setToolTip(QString());
    } else {
        ShowDriveLabel();
        ShowTargetCaption();
    }
}

void frmMain::ShowTargetCaption()
{
    if (!driveRoot.empty()) {
        const std::string folder = EntryFolderCaption(driveRootPath, lblFolder->text().toStdString());
        SetCaption(kAppTitle + QStringLiteral("  Target：") + QString::fromStdString(folder));
    } else {
        SetCaption(kAppTitle);
    }
}

void frmMain::Command2_Click()
{
    if (driveRootPath.empty())
        btnSelRoot_Click();
    if (driveRootPath.empty())
        return;
    std::string folder;
    switch (CheckEntryFolderInLibrary(driveRootPath, txtNo->text().toStdString(), lblFolder->text().toStdString(),
                                      imageCopier(env_), &folder)) {
    case FolderCheck::Unusable: MsgBox(this, QString::fromStdString(DriveUnusableMessage(driveRoot))); return;
    case FolderCheck::NoFiles: MsgBox(this, QString::fromUtf8(kNoFilesMessage)); return;
    case FolderCheck::HasFiles: break;
    }
    ShellOpen(folder, {}, true);
}

void frmMain::Command3_Click()
{
    if (driveRootPath.empty())
        btnSelRoot_Click();
    if (driveRootPath.empty())
        return;
    const std::optional<std::string> file =
        EntryFileToOpen(driveRootPath, txtNo->text().toStdString(), lblFolder->text().toStdString(),
                        txtFile->text().toStdString(), imageCopier(env_));
    if (!file) {
        // A path that leads off the CD, or an image that cannot give it, is reported as the shell
        // reports a missing file.
        MsgBox(this, QString::fromStdString(ShellOpenMessage(2, {})), MsgStyle::Critical);
        return;
    }
    ShellOpen(*file, {}, false);
}

void frmMain::ShellOpen(const std::string& file, const std::string&, bool folder)
{
    const std::string workingFolder = env_.exeFolder.toStdString(); // App.Path
    std::string program;
    const int result =
        folder ? shell_->openFolder(file, workingFolder, &program) : shell_->openFile(file, workingFolder);
    if (result >= 32)
        return;
    // The folder action's messages name what was run, as they name the file for the file action.
    const std::string named = folder ? (program.empty() ? file : program) : file;
    MsgBox(this, QString::fromStdString(ShellOpenMessage(result, named)), MsgStyle::Critical);
}

} // namespace orv
