// DBGrid1: a read-only grid bound to Data1. Its model reads the snapshot directly, a row at a
// time, so binding costs the same for ten rows as for two hundred thousand.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <vector>

namespace orv {

class DataControl;
class Recordset;

class SnapshotModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit SnapshotModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    void setRecordset(const Recordset* rs);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void setCaption(int column, const QString& caption);
    QString caption(int column) const;
    bool removeColumnAt(int column);
    // No rows, only the given column captions.
    void showEmpty(const QStringList& captions);

private:
    const Recordset* rs_ = nullptr;
    std::vector<int> fields_; // field index shown in each column
    QStringList captions_;
};

class DBGrid : public QTableView {
    Q_OBJECT
public:
    explicit DBGrid(QWidget* parent = nullptr);
    void setDataSource(DataControl* source);

    // Columns(i).Caption, Columns(i).Width (twips), Columns.Remove(i), Columns.Count.
    int columnCount() const;
    void setColumnCaption(int i, const QString& caption);
    float columnWidth(int i) const;
    void setColumnWidth(int i, float twips);
    void removeColumn(int i);
    // Unbound: no rows, these columns.
    void showEmpty(const QStringList& captions);
    // The width in pixels a cell needs to show text whole in the grid's font: the text, the cell's
    // margins on both sides and the grid line.
    qreal cellWidthFor(const QString& text) const;

    SnapshotModel* snapshotModel() const { return model_; }

signals:
    // The column header was clicked: the column's index.
    void HeadClick(int columnIndex);
    // The current cell moved to another row or column, whoever moved it.
    void RowColChange();

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void paintGridLines();
    void rebind();
    void followCursor();
    void onCurrentChanged(const QModelIndex& current, const QModelIndex& previous);
    void onSectionResized(int section, int oldSize, int newSize);

    DataControl* data_ = nullptr;
    SnapshotModel* model_;
    std::vector<float> widthsTwips_; // exact widths set in twips; a drag replaces them
    bool settingWidth_ = false;
    bool syncing_ = false;
};

} // namespace orv
