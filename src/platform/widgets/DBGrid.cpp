#include "platform/widgets/DBGrid.h"

#include "platform/engine/Engine.h"
#include "platform/widgets/DataControl.h"
#include "platform/widgets/Toolkit.h"

#include <QFontMetricsF>
#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionViewItem>

#include <cmath>

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
    // The grid lines are drawn on whole device pixels (paintGridLines).
    setShowGrid(false);
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

qreal DBGrid::cellWidthFor(const QString& text) const
{
    // The item's text margin on each side, as the item delegate lays the text out.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    return QFontMetricsF(font()).horizontalAdvance(text) + 2 * margin + 1;
}

void DBGrid::paintEvent(QPaintEvent* e)
{
    QTableView::paintEvent(e);
    paintGridLines();
}

// The lines between the cells, one device pixel wide on the last device pixel of each row and
// column. The toolkit's own are a logical pixel wide and come out one or two device pixels wide
// at a scale of 1.25 or 1.5, row by row.
void DBGrid::paintGridLines()
{
    const QHeaderView* rows = verticalHeader();
    const QHeaderView* columns = horizontalHeader();
    const int rowCount = model_->rowCount();
    const int columnCount = model_->columnCount();
    if (rowCount == 0 || columnCount == 0)
        return;
    const QRect area = viewport()->rect();
    auto visibleRange = [](int first, int last, int count) {
        return std::pair<int, int>{first < 0 ? 0 : first, last < 0 ? count - 1 : last};
    };
    const auto [firstRow, lastRow] =
        visibleRange(rows->visualIndexAt(0), rows->visualIndexAt(area.height() - 1), rowCount);
    const auto [firstColumn, lastColumn] =
        visibleRange(columns->visualIndexAt(0), columns->visualIndexAt(area.width() - 1), columnCount);

    const qreal dpr = viewport()->devicePixelRatioF();
    auto device = [dpr](int logical) { return static_cast<int>(std::lround(logical * dpr)); };
    const int lastRowIndex = rows->logicalIndex(lastRow);
    const int lastColumnIndex = columns->logicalIndex(lastColumn);
    const int bottom = device(rowViewportPosition(lastRowIndex) + rowHeight(lastRowIndex));
    const int right = device(columnViewportPosition(lastColumnIndex) + columns->sectionSize(lastColumnIndex));

    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QColor colour =
        QColor::fromRgba(static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
    QPainter p(viewport());
    p.setTransform(QTransform::fromScale(1 / dpr, 1 / dpr)); // device pixels from here
    for (int v = firstRow; v <= lastRow; ++v) {
        const int row = rows->logicalIndex(v);
        if (!rows->isSectionHidden(row))
            p.fillRect(QRect(0, device(rowViewportPosition(row) + rowHeight(row)) - 1, right, 1), colour);
    }
    for (int v = firstColumn; v <= lastColumn; ++v) {
        const int column = columns->logicalIndex(v);
        if (!columns->isSectionHidden(column))
            p.fillRect(QRect(device(columnViewportPosition(column) + columns->sectionSize(column)) - 1, 0, 1, bottom),
                       colour);
    }
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
