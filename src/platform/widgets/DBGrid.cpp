#include "platform/widgets/DBGrid.h"

#include "platform/engine/Engine.h"
#include "platform/widgets/DataControl.h"
#include "platform/widgets/Toolkit.h"

#include <QHeaderView>

namespace orv {

void SnapshotModel::setRecordset(const Recordset* rs)
{
    beginResetModel();
    rs_ = rs;
    fields_.clear();
    captions_.clear();
    if (rs) {
        for (int i = 0; i < rs->FieldCount(); ++i) {
            fields_.push_back(i);
            captions_ << QString::fromStdString(rs->FieldName(i));
        }
    }
    endResetModel();
}

int SnapshotModel::rowCount(const QModelIndex& parent) const
{
    return (parent.isValid() || !rs_) ? 0 : static_cast<int>(rs_->RecordCount());
}

int SnapshotModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(fields_.size());
}

QVariant SnapshotModel::data(const QModelIndex& index, int role) const
{
    if (!rs_ || !index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const std::string text = rs_->ValueAt(index.row(), fields_[static_cast<size_t>(index.column())]).toText();
    if (role == Qt::ToolTipRole && text.size() < 40)
        return {};
    return QString::fromStdString(text);
}

QVariant SnapshotModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < captions_.size() ? captions_[section] : QVariant();
    return section + 1;
}

void SnapshotModel::setCaption(int column, const QString& caption)
{
    if (column < 0 || column >= captions_.size())
        return;
    captions_[column] = caption;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

QString SnapshotModel::caption(int column) const
{
    return column >= 0 && column < captions_.size() ? captions_[column] : QString();
}

void SnapshotModel::showEmpty(const QStringList& captions)
{
    beginResetModel();
    rs_ = nullptr;
    fields_.assign(static_cast<size_t>(captions.size()), -1);
    captions_ = captions;
    endResetModel();
}

bool SnapshotModel::removeColumnAt(int column)
{
    if (column < 0 || column >= static_cast<int>(fields_.size()))
        return false;
    beginRemoveColumns({}, column, column);
    fields_.erase(fields_.begin() + column);
    captions_.removeAt(column);
    endRemoveColumns();
    return true;
}

DBGrid::DBGrid(QWidget* parent) : QTableView(parent), model_(new SnapshotModel(this))
{
    setModel(model_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    setAlternatingRowColors(false);
    // Tab and Shift+Tab move the focus to the window's next or previous control; the arrow keys
    // move between the cells.
    setTabKeyNavigation(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setVisible(false);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int c) { emit HeadClick(c); });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, &DBGrid::onSectionResized);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, &DBGrid::onCurrentChanged);
}

void DBGrid::setDataSource(DataControl* source)
{
    data_ = source;
    connect(source, &DataControl::recordsetChanged, this, &DBGrid::rebind);
    connect(source, &DataControl::moved, this, &DBGrid::followCursor);
    rebind();
}

void DBGrid::rebind()
{
    Recordset* rs = data_ ? data_->recordset() : nullptr;
    model_->setRecordset(rs);
    widthsTwips_.assign(static_cast<size_t>(model_->columnCount()), -1.f);
    if (!rs)
        return;
    if (rs->AbsolutePosition() >= 0) {
        syncing_ = true;
        selectionModel()->setCurrentIndex(model_->index(static_cast<int>(rs->AbsolutePosition()), 0),
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        syncing_ = false;
    }
    emit RowColChange();
}

void DBGrid::followCursor()
{
    Recordset* rs = data_ ? data_->recordset() : nullptr;
    if (!rs || rs->AbsolutePosition() < 0)
        return;
    const int row = static_cast<int>(rs->AbsolutePosition());
    const int col = currentIndex().isValid() ? currentIndex().column() : 0;
    if (currentIndex().row() == row)
        return;
    syncing_ = true;
    selectionModel()->setCurrentIndex(model_->index(row, col),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    syncing_ = false;
    scrollTo(model_->index(row, col));
    emit RowColChange();
}

void DBGrid::onCurrentChanged(const QModelIndex& current, const QModelIndex&)
{
    if (syncing_ || !current.isValid())
        return;
    Recordset* rs = data_ ? data_->recordset() : nullptr;
    if (rs && rs->AbsolutePosition() != current.row()) {
        rs->SetAbsolutePosition(current.row());
        syncing_ = true;
        data_->notifyMoved();
        syncing_ = false;
    }
    emit RowColChange();
}

int DBGrid::columnCount() const { return model_->columnCount(); }
QString DBGrid::columnCaption(int i) const { return model_->caption(i); }
void DBGrid::setColumnCaption(int i, const QString& caption) { model_->setCaption(i, caption); }

float DBGrid::columnWidth(int i) const
{
    if (i < 0 || i >= columnCount())
        return 0;
    const float t = widthsTwips_[static_cast<size_t>(i)];
    return t >= 0 ? t : static_cast<float>(horizontalHeader()->sectionSize(i)) * TwipsPerPixelX();
}

void DBGrid::setColumnWidth(int i, float twips)
{
    if (i < 0 || i >= columnCount())
        return;
    settingWidth_ = true;
    QTableView::setColumnWidth(i, std::max(0, TwipsToPxX(twips)));
    settingWidth_ = false;
    widthsTwips_[static_cast<size_t>(i)] = std::max(0.f, twips);
}

void DBGrid::showEmpty(const QStringList& captions)
{
    model_->showEmpty(captions);
    widthsTwips_.assign(static_cast<size_t>(captions.size()), -1.f);
}

void DBGrid::removeColumn(int i)
{
    if (model_->removeColumnAt(i) && i < static_cast<int>(widthsTwips_.size()))
        widthsTwips_.erase(widthsTwips_.begin() + i);
}

void DBGrid::onSectionResized(int section, int, int)
{
    if (!settingWidth_ && section >= 0 && section < static_cast<int>(widthsTwips_.size()))
        widthsTwips_[static_cast<size_t>(section)] = -1.f; // dragged by the user: the pixels count
}

} // namespace orv
