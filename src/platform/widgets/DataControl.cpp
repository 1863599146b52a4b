#include "platform/widgets/DataControl.h"

#include "platform/engine/Engine.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <utility>

namespace orv {

DataControl::DataControl(QObject* parent) : QObject(parent) {}
DataControl::~DataControl() = default;

void DataControl::setRecordset(std::unique_ptr<Recordset> rs)
{
    // The grid's model still points at the old recordset until it hears of the new one: keep the
    // old one alive until then.
    std::unique_ptr<Recordset> old = std::exchange(rs_, std::move(rs));
    // The bound controls first: the grid's row-change notification reads them (the title's folder).
    refreshBound();
    emit recordsetChanged();
}

void DataControl::setDataField(QWidget* control, const QString& field)
{
    for (auto& b : bindings_) {
        if (b.control == control) {
            b.field = field;
            refreshBound();
            return;
        }
    }
    bindings_.push_back({control, field});
    refreshBound();
}

void DataControl::notifyMoved()
{
    refreshBound();
    emit moved();
}

QString DataControl::currentText(const QString& field) const
{
    if (!rs_ || rs_->AbsolutePosition() < 0 || field.isEmpty())
        return {};
    const int i = rs_->FieldIndex(field.toStdString());
    if (i < 0)
        return {};
    return QString::fromStdString(rs_->Fields(i).toText());
}

void DataControl::refreshBound()
{
    for (const auto& b : bindings_) {
        if (!b.control || b.field.isEmpty())
            continue;
        const QString text = currentText(b.field);
        if (auto e = qobject_cast<QLineEdit*>(b.control)) {
            if (e->text() != text) {
                e->setText(text);
                e->setCursorPosition(0);
            }
        } else if (auto p = qobject_cast<QPlainTextEdit*>(b.control)) {
            if (p->toPlainText() != text)
                p->setPlainText(text);
        } else if (auto l = qobject_cast<QLabel*>(b.control)) {
            l->setText(text);
        }
    }
}

} // namespace orv
