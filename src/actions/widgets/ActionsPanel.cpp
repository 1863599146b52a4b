#include "actions/widgets/ActionsPanel.h"

#include "actions/CdPaths.h"
#include "actions/DriveLabel.h"
#include "actions/Volumes.h"
#include "platform/disc/VolumeCache.h"
#include "platform/settings/UserStore.h"
#include "platform/widgets/MakeControl.h"
#include "platform/widgets/Toolkit.h"

#include <QLabel>
#include <QPushButton>

namespace orv {

namespace {

// Folders of disc images are copied into the user's cache by the program's child reader, under
// the hourglass.
ImageFolderCopier imageCopier(const std::string& exe, const std::string& cacheHome)
{
    return
        [exe, cache = VolumeCacheFolder(cacheHome)](const std::string& image, const std::vector<std::string>& folder) {
            SetMousePointer(kHourglassPointer);
            ImageFolderCopy copy = VolumeCache(exe, cache).folderCopy(image, folder);
            SetMousePointer(kDefaultPointer);
            return copy;
        };
}

} // namespace

ActionsPanel::ActionsPanel(QWidget* window, const EntrySource& entry, QString exeFolder, std::string discReader,
                           std::string cacheHome)
    : QObject(window), window_(window), entry_(entry), exeFolder_(std::move(exeFolder)),
      discReader_(std::move(discReader)), cacheHome_(std::move(cacheHome)), shell_(makeDesktopShell())
{}

void ActionsPanel::BuildDriveButton(QWidget* band)
{
    btnSelRoot = MakeControl<QPushButton>(band, "btnSelRoot", 120, 15, 1455, 330, QStringLiteral("ドライブ指定(&D)"));
    btnSelRoot->setToolTip(QStringLiteral("お楽しみCDのﾄﾞﾗｲﾌﾞを選択"));
    btnSelRoot->setAutoDefault(true); // Enter on a focused button presses it
    Label6 = MakeControl<QLabel>(band, "Label6", 1680, 60, 3615, 255, QString::fromUtf8(kDriveLabelUnset));
    KeepToolTipPlain(Label6);
    connect(btnSelRoot, &QPushButton::clicked, this, &ActionsPanel::btnSelRoot_Click);
}

void ActionsPanel::BuildEntryButtons(QWidget* band)
{
    Command2 = MakeControl<QPushButton>(band, "Command2", 6000, 2280, 1095, 375, QStringLiteral("ﾌｫﾙﾀﾞ(&V)"));
    Command2->setToolTip(QStringLiteral("ﾌｫﾙﾀﾞ内容を表示"));
    Command3 = MakeControl<QPushButton>(band, "Command3", 7200, 2280, 1095, 375, QStringLiteral("ﾌｧｲﾙ(&U)"));
    Command3->setToolTip(QStringLiteral("ﾌｧｲﾙを開く"));
    for (auto* b : {Command2, Command3})
        b->setAutoDefault(true);
    connect(Command2, &QPushButton::clicked, this, &ActionsPanel::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &ActionsPanel::Command3_Click);
}

QWidgetList ActionsPanel::driveFocusOrder() const { return {btnSelRoot}; }
QWidgetList ActionsPanel::entryFocusOrder() const { return {Command2, Command3}; }

void ActionsPanel::RestoreDrive()
{
    driveRootPath_ = RegReadString(RegRoot::CurrentUser, kRegKeyPath, kRegSelPath);
    driveRoot_ = driveRootPath_;
    if (!driveRoot_.empty())
        ShowDriveLabel();
}

void ActionsPanel::ShowDriveLabel()
{
    const DriveLabelText t = DriveLabelFor(driveRoot_);
    Label6->setToolTip(QString::fromStdString(t.toolTip));
    Label6->setText(QString::fromStdString(t.caption));
    driveRootPath_ = t.driveRootPath;
}

void ActionsPanel::btnSelRoot_Click()
{
    const QString chosen = BrowseForFolder(window_, QStringLiteral("お楽しみCDのドライブを選択して下さい"), QString());
    driveRootPath_ = chosen.toStdString();
    if (!chosen.isEmpty()) {
        driveRoot_ = driveRootPath_;
        RegWriteString(RegRoot::CurrentUser, kRegKeyPath, kRegSelPath, driveRoot_);
        ShowDriveLabel();
        ShowTargetCaption();
    } else if (driveRoot_.empty()) {
        driveRootPath_.clear();
        Label6->setText(QString::fromUtf8(kDriveLabelUnset));
        Label6->setToolTip(QString());
    } else {
        ShowDriveLabel();
        ShowTargetCaption();
    }
}

void ActionsPanel::ShowTargetCaption()
{
    if (!driveRoot_.empty()) {
        const std::string folder = EntryFolderCaption(driveRootPath_, entry_.currentEntry().folder);
        emit titleChanged(kAppTitle + QStringLiteral("  Target：") + QString::fromStdString(folder));
    } else {
        emit titleChanged(kAppTitle);
    }
}

bool ActionsPanel::HaveDrive()
{
    if (driveRootPath_.empty())
        btnSelRoot_Click();
    return !driveRootPath_.empty();
}

void ActionsPanel::Command2_Click()
{
    if (!HaveDrive())
        return;
    const ShownEntry entry = entry_.currentEntry();
    std::string folder;
    switch (CheckEntryFolderInLibrary(driveRootPath_, entry.cdNo, entry.folder, imageCopier(discReader_, cacheHome_),
                                      &folder)) {
    case FolderCheck::Unusable: MsgBox(window_, QString::fromStdString(DriveUnusableMessage(driveRoot_))); return;
    case FolderCheck::NoFiles: MsgBox(window_, QString::fromUtf8(kNoFilesMessage)); return;
    case FolderCheck::HasFiles: break;
    }
    ShellOpen(folder, true);
}

void ActionsPanel::Command3_Click()
{
    if (!HaveDrive())
        return;
    const ShownEntry entry = entry_.currentEntry();
    const std::optional<std::string> file =
        EntryFileToOpen(driveRootPath_, entry.cdNo, entry.folder, entry.file, imageCopier(discReader_, cacheHome_));
    if (!file) {
        // A path that leads off the CD, or an image that cannot give it, is reported as the shell
        // reports a missing file.
        MsgBox(window_, QString::fromStdString(ShellOpenMessage(kShellFileNotFound, {})), MsgStyle::Critical);
        return;
    }
    ShellOpen(*file, false);
}

void ActionsPanel::ShellOpen(const std::string& file, bool folder)
{
    const std::string workingFolder = exeFolder_.toStdString(); // App.Path
    std::string program;
    const int result =
        folder ? shell_->openFolder(file, workingFolder, &program) : shell_->openFile(file, workingFolder);
    if (result >= kShellOpened)
        return;
    // The folder action's messages name what was run, as they name the file for the file action.
    const std::string named = folder ? (program.empty() ? file : program) : file;
    MsgBox(window_, QString::fromStdString(ShellOpenMessage(result, named)), MsgStyle::Critical);
}

} // namespace orv
