#include "platform/widgets/FolderChooser.h"

#include "platform/widgets/Toolkit.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

#include <cstdlib>

namespace orv {

namespace {

constexpr int kNameColumn = 0;
constexpr int kDateColumn = 3;

// Folders only, with Japanese headings and dates written out whole ("2026/01/05 16:29") whatever
// the locale.
class FolderModel : public QFileSystemModel {
public:
    explicit FolderModel(QObject* parent) : QFileSystemModel(parent)
    {
        setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
        setReadOnly(true);
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
            if (section == kNameColumn)
                return QStringLiteral("名前");
            if (section == kDateColumn)
                return QStringLiteral("更新日時");
        }
        return QFileSystemModel::headerData(section, orientation, role);
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (index.column() == kDateColumn && role == Qt::DisplayRole)
            return lastModified(index).toString(QStringLiteral("yyyy/MM/dd HH:mm"));
        return QFileSystemModel::data(index, role);
    }
};

QIcon placeIcon(ChooserPlace::Kind kind)
{
    QStyle* style = QApplication::style();
    switch (kind) {
    case ChooserPlace::Kind::Disc:
        return QIcon::fromTheme(QStringLiteral("media-optical"), style->standardIcon(QStyle::SP_DriveCDIcon));
    case ChooserPlace::Kind::Removable:
        return QIcon::fromTheme(QStringLiteral("drive-removable-media"), style->standardIcon(QStyle::SP_DriveHDIcon));
    case ChooserPlace::Kind::Home:
        return QIcon::fromTheme(QStringLiteral("user-home"), style->standardIcon(QStyle::SP_DirHomeIcon));
    case ChooserPlace::Kind::Root: break;
    }
    return QIcon::fromTheme(QStringLiteral("drive-harddisk"), style->standardIcon(QStyle::SP_ComputerIcon));
}

} // namespace

FolderChooser::FolderChooser(QWidget* owner, const QString& title, const std::vector<ChooserPlace>& places,
                             const QString& selected)
    : QDialog(owner), placeData_(places)
{
    setObjectName(QStringLiteral("FolderChooser"));
    setWindowTitle(title);
    resize(680, 440);

    places_ = new QListWidget(this);
    places_->setObjectName(QStringLiteral("places"));
    places_->setAccessibleName(QStringLiteral("場所"));
    for (const ChooserPlace& p : placeData_) {
        auto* item = new QListWidgetItem(placeIcon(p.kind), QString::fromStdString(p.name), places_);
        item->setToolTip(QString::fromStdString(p.path));
    }
    places_->setIconSize(QSize(16, 16));
    places_->setMinimumWidth(160);
    places_->setMaximumWidth(220);

    model_ = new FolderModel(this);
    tree_ = new QTreeView(this);
    tree_->setObjectName(QStringLiteral("folders"));
    tree_->setAccessibleName(QStringLiteral("フォルダの一覧"));
    tree_->setModel(model_);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setUniformRowHeights(true);
    tree_->setSortingEnabled(true);
    tree_->sortByColumn(kNameColumn, Qt::AscendingOrder);
    for (int column = 0; column < model_->columnCount(); ++column)
        tree_->setColumnHidden(column, column != kNameColumn && column != kDateColumn);
    tree_->header()->setStretchLastSection(false);
    tree_->header()->setSectionResizeMode(kNameColumn, QHeaderView::Stretch);
    tree_->header()->setSectionResizeMode(kDateColumn, QHeaderView::ResizeToContents);

    auto* pathLabel = new QLabel(QStringLiteral("フォルダ："), this);
    path_ = new QLineEdit(this);
    path_->setObjectName(QStringLiteral("chosen"));
    path_->setAccessibleName(QStringLiteral("フォルダ"));
    pathLabel->setBuddy(path_);

    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &FolderChooser::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* panes = new QHBoxLayout;
    panes->addWidget(places_);
    panes->addWidget(tree_, 1);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(pathLabel);
    pathRow->addWidget(path_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(panes, 1);
    layout->addLayout(pathRow);
    layout->addWidget(buttons);

    connect(places_, &QListWidget::currentRowChanged, this, &FolderChooser::showPlace);
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this, &FolderChooser::showChoice);
    connect(tree_, &QTreeView::doubleClicked, this, &FolderChooser::showChoice);
    connect(path_, &QLineEdit::textEdited, this,
            [this](const QString& text) { ok_->setEnabled(!text.trimmed().isEmpty()); });
    // Folders come in as the model reads them: the one selected is brought into view once there.
    connect(model_, &QFileSystemModel::directoryLoaded, this, [this] {
        if (inView_.isValid())
            tree_->scrollTo(inView_, QAbstractItemView::PositionAtCenter);
    });
    selectFolder(selected);
    // With a folder chosen, the places list has the keys (Enter keeps the choice); without, the
    // field does: a list given the focus would choose its first place by itself.
    if (places_->currentRow() >= 0)
        places_->setFocus();
    else
        path_->setFocus();
}

void FolderChooser::selectFolder(const QString& folder)
{
    // At the top: the place that holds the folder, and the folder in its tree.
    const QString path = QDir::cleanPath(folder);
    const std::optional<std::size_t> place =
        folder.isEmpty() || !QFileInfo(path).isDir() ? std::nullopt : PlaceHolding(placeData_, path.toStdString());
    if (!place) {
        // Nothing chosen: the first place's folders shown, OK waits for a choice.
        if (!placeData_.empty())
            tree_->setRootIndex(model_->setRootPath(QString::fromStdString(placeData_.front().path)));
        showChoice();
        return;
    }
    places_->setCurrentRow(int(*place));
    if (path != QDir::cleanPath(QString::fromStdString(placeData_[*place].path))) {
        inView_ = model_->index(path);
        tree_->setCurrentIndex(inView_);
        tree_->scrollTo(inView_, QAbstractItemView::PositionAtCenter);
    }
}

void FolderChooser::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (inView_.isValid())
        tree_->scrollTo(inView_, QAbstractItemView::PositionAtCenter);
}

QString FolderChooser::MissingFolderMessage(const QString& typed)
{
    return QStringLiteral("フォルダ「%1」が見つかりません。").arg(typed.trimmed());
}

void FolderChooser::accept()
{
    const QString folder = chosenFolder();
    if (folder.isEmpty())
        return;
    if (!QFileInfo(folder).isDir()) {
        MsgBox(this, MissingFolderMessage(path_->text()));
        path_->setFocus();
        path_->selectAll();
        return;
    }
    path_->setText(QDir::toNativeSeparators(folder));
    QDialog::accept();
}

QString FolderChooser::shownPlacePath() const
{
    const int row = places_->currentRow();
    if (row < 0 || row >= int(placeData_.size()))
        return {};
    return QString::fromStdString(placeData_[std::size_t(row)].path);
}

void FolderChooser::showPlace(int row)
{
    if (row < 0 || row >= int(placeData_.size()))
        return;
    const QString path = QString::fromStdString(placeData_[std::size_t(row)].path);
    inView_ = QPersistentModelIndex();
    tree_->setRootIndex(model_->setRootPath(path));
    tree_->selectionModel()->clearSelection();
    tree_->setCurrentIndex(QModelIndex());
    showChoice();
}

void FolderChooser::showChoice()
{
    // The folder selected in the tree, else the place itself.
    const QModelIndex current = tree_->currentIndex();
    if (inView_.isValid() && current != QModelIndex(inView_))
        inView_ = QPersistentModelIndex(); // the user has moved on
    const QString chosen = current.isValid() && model_->isDir(current) ? model_->filePath(current) : shownPlacePath();
    path_->setText(QDir::toNativeSeparators(chosen));
    ok_->setEnabled(!chosen.isEmpty());
}

QString FolderChooser::chosenFolder() const
{
    return QString::fromStdString(ChooserTypedPath(QDir::fromNativeSeparators(path_->text()).toStdString(),
                                                   QDir::homePath().toStdString(), shownPlacePath().toStdString()));
}

std::vector<ChooserPlace> FolderChooser::systemPlaces()
{
    QFile mountinfo(QStringLiteral("/proc/self/mountinfo"));
    QByteArray text;
    if (mountinfo.open(QIODevice::ReadOnly))
        text = mountinfo.readAll();
    const char* user = std::getenv("USER");
    return ChooserPlaces(
        std::string_view(text.constData(), std::size_t(text.size())), user ? user : "", QDir::homePath().toStdString(),
        [](const MountedVolume& v) { return QStorageInfo(QString::fromStdString(v.mountPoint)).name().toStdString(); });
}

} // namespace orv
