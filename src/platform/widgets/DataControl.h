// Data1: holds the current snapshot, owns its cursor and keeps every bound control on the
// current row.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>
#include <vector>

class QWidget;

namespace orv {

class Recordset;

class DataControl : public QObject {
    Q_OBJECT
public:
    explicit DataControl(QObject* parent = nullptr);
    ~DataControl() override;

    // Data1.Recordset: nullptr when none is bound.
    Recordset* recordset() const { return rs_.get(); }
    // Data1.Recordset = rs (nullptr unbinds).
    void setRecordset(std::unique_ptr<Recordset> rs);

    // A control's DataField. Text boxes (QLineEdit, QPlainTextEdit) and labels are supported.
    void setDataField(QWidget* control, const QString& field);

    // Tells the bound controls and the grid that the cursor moved; call after moving the
    // recordset's cursor from code.
    void notifyMoved();

    // The current row's value of a field as the bound controls show it (Null as empty text).
    QString currentText(const QString& field) const;

signals:
    void recordsetChanged();
    void moved();

private:
    void refreshBound();
    struct Binding {
        QPointer<QWidget> control;
        QString field;
    };
    std::vector<Binding> bindings_;
    std::unique_ptr<Recordset> rs_;
};

} // namespace orv
