#include "platform/widgets/Toolkit.h"

#include "platform/NumberText.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

namespace orv {

namespace {
std::function<void(const QString&, MsgStyle)> g_msgHook;
std::optional<QStringList> g_nextFolders;
int g_folderCalls = 0;

float twipsPerPixel(bool horizontal)
{
    const QScreen* s = QGuiApplication::primaryScreen();
    const double dpi = s ? (horizontal ? s->logicalDotsPerInchX() : s->logicalDotsPerInchY()) : 96.0;
    return dpi > 0 ? static_cast<float>(1440.0 / dpi) : 15.f;
}
}

float TwipsPerPixelX() { return twipsPerPixel(true); }
float TwipsPerPixelY() { return twipsPerPixel(false); }
int TwipsToPxX(double twips) { return static_cast<int>(RoundHalfEven(twips / TwipsPerPixelX())); }
int TwipsToPxY(double twips) { return static_cast<int>(RoundHalfEven(twips / TwipsPerPixelY())); }

void PlaceTwips(QWidget* w, double left, double top, double width, double height)
{
    w->setGeometry(TwipsToPxX(left), TwipsToPxY(top), std::max(0, TwipsToPxX(width)),
                   std::max(0, TwipsToPxY(height)));
}

void MsgBox(QWidget* parent, const QString& text, MsgStyle style)
{
    if (g_msgHook) {
        g_msgHook(text, style);
        return;
    }
    QApplication::restoreOverrideCursor();
    QMessageBox box(style == MsgStyle::Critical ? QMessageBox::Critical : QMessageBox::NoIcon, kAppTitle, text,
                    QMessageBox::Ok, parent);
    box.exec();
}

void MsgBoxHook::install(std::function<void(const QString&, MsgStyle)> hook) { g_msgHook = std::move(hook); }
void MsgBoxHook::remove() { g_msgHook = nullptr; }

void SetMousePointer(int pointer)
{
    // The override cursor stacks; keep at most one level of it.
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    if (pointer == 11)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

QString BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder)
{
    ++g_folderCalls;
    if (g_nextFolders) {
        if (g_nextFolders->isEmpty())
            return {};
        return g_nextFolders->takeFirst();
    }
    // A start folder that names no directory starts at the top of the tree.
    const QString start = (!startFolder.isEmpty() && QDir(startFolder).exists()) ? startFolder : QString();
    const QString chosen = QFileDialog::getExistingDirectory(owner, title, start, QFileDialog::ShowDirsOnly);
    return QDir::toNativeSeparators(chosen);
}

void FolderChooserHook::setNextFolders(const QStringList& answers) { g_nextFolders = answers; g_folderCalls = 0; }
int FolderChooserHook::calls() { return g_folderCalls; }
void FolderChooserHook::remove() { g_nextFolders.reset(); g_folderCalls = 0; }

} // namespace orv
