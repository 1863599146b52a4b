#include "actions/widgets/ActionsPanel.h"

#include "actions/CdPaths.h"
#include "actions/DriveLabel.h"
#include "actions/Volumes.h"
#include "actions/widgets/ImageCopyWait.h"
#include "platform/disc/VolumeCache.h"
#include "platform/settings/UserStore.h"
#include "platform/widgets/MakeControl.h"
#include "platform/widgets/Toolkit.h"

#include <QLabel>
#include <QProcess>
#include <QPushButton>

namespace orv {

ActionsPanel::ActionsPanel(QWidget* window, const EntrySource& entry, QString exeFolder, std::string discReader,
                           std::string cacheHome)
    : QObject(window), window_(window), entry_(entry), exeFolder_(std::move(exeFolder)),
      discReader_(std::move(discReader)), cacheFolder_(VolumeCacheFolder(cacheHome)), shell_(makeDesktopShell())
{
    if (IsRealFolder(cacheFolder_))
        TidyCacheAside();
}

void ActionsPanel::TidyCacheAside()
{
    // What interrupted copies left goes, and the copies keep to their limit: in a process of its
    // own, which nobody waits for.
    if (!discReader_.empty())
        QProcess::startDetached(QString::fromStdString(discReader_),
                                {QString::fromUtf8(kTidyCacheSwitch), QString::fromStdString(cacheFolder_)});
}

ImageFolderCopy ActionsPanel::CopyOutOfImage(const std::string& image, const std::vector<std::string>& folder)
{
    VolumeCacheLimits limits;
    limits.totalBytes = CacheLimitFromEnvironment();
    const std::unique_ptr<ImageCopyRun> run = VolumeCache(discReader_, cacheFolder_, limits).start(image, folder);
    // A copy from the cache, or one that failed before it began, shows no dialog.
    WaitForImageCopy(window_, *run);
    // The copies that made room for this one go now, rather than at the next start.
    if (run->bytesRetired() > 0)
        TidyCacheAside();
    return run->result();
}

bool ActionsPanel::ReportImageCopy(const ImageCopyOutcome& outcome)
{
    if (outcome.image.empty())
        return false;
    if (outcome.status == ImageCopyStatus::Cancelled)
        return true;
    const std::string message = ImageCopyMessage(outcome.status, outcome.image, cacheFolder_);
    if (message.empty())
        return false;
    MsgBox(window_, QString::fromStdString(message), MsgStyle::Critical);
    return true;
}

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
    // The chooser opens with the drive chosen before selected, so that OK keeps it.
    const QString chosen = BrowseForFolder(window_, QStringLiteral("お楽しみCDのドライブを選択して下さい"), QString(),
                                           QString::fromStdString(driveRoot_));
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
        const ShownEntry entry = entry_.currentEntry();
        const std::string folder = EntryPlaceCaption(driveRootPath_, entry.cdNo, entry.folder);
        emit titleChanged(kAppTitle + QStringLiteral("  Target：") + QString::fromStdString(folder));
    } else {
        emit titleChanged(kAppTitle);
    }
}

ImageFolderCopier ActionsPanel::imageCopier()
{
    return [this](const std::string& image, const std::vector<std::string>& folder) {
        return CopyOutOfImage(image, folder);
    };
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
    ImageCopyOutcome outcome;
    switch (CheckEntryFolderInLibrary(driveRootPath_, entry.cdNo, entry.folder, imageCopier(), &folder, &outcome)) {
    case FolderCheck::Unusable: MsgBox(window_, QString::fromStdString(DriveUnusableMessage(driveRoot_))); return;
    case FolderCheck::NoFiles:
        if (!ReportImageCopy(outcome))
            MsgBox(window_, QString::fromUtf8(kNoFilesMessage));
        return;
    case FolderCheck::HasFiles: break;
    }
    ShellOpen(folder, true);
}

void ActionsPanel::Command3_Click()
{
    if (!HaveDrive())
        return;
    const ShownEntry entry = entry_.currentEntry();
    ImageCopyOutcome outcome;
    const std::optional<std::string> file =
        EntryFileToOpen(driveRootPath_, entry.cdNo, entry.folder, entry.file, imageCopier(), &outcome);
    if (!file) {
        if (ReportImageCopy(outcome))
            return;
        // A path that leads off the CD, or a folder the image does not hold, is reported as the
        // shell reports a missing file.
        MsgBox(window_, QString::fromStdString(ShellOpenMessage(kShellFileNotFound, {})), MsgStyle::Critical);
        return;
    }
    ShellOpen(*file, false);
}

void ActionsPanel::ShellOpen(const std::string& file, bool folder)
{
    const std::string workingFolder = exeFolder_.toStdString(); // App.Path
    const int result =
        folder ? shell_->openFolder(file, workingFolder, nullptr) : shell_->openFile(file, workingFolder);
    if (result >= kShellOpened)
        return;
    // Either action's messages name what could not be opened: the file, or the folder that no
    // file manager opens.
    MsgBox(window_, QString::fromStdString(ShellOpenMessage(result, file)), MsgStyle::Critical);
}

} // namespace orv
