// Making a control as the window's design places it: named, captioned, at a rectangle in twips.
#pragma once

#include "platform/widgets/Controls.h"
#include "platform/widgets/Toolkit.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QString>
#include <type_traits>

namespace orv {

template <class W>
W* MakeControl(QWidget* parent, const char* name, double l, double t, double w, double h, const QString& caption = {})
{
    // A frame's controls go inside it.
    if (auto* frame = qobject_cast<Frame*>(parent))
        parent = frame->inside();
    auto* x = new W(parent);
    x->setObjectName(QString::fromLatin1(name));
    // Labels show their text as it is: a folder or entry that looks like markup stays text.
    if constexpr (std::is_base_of_v<QLabel, W>)
        x->setTextFormat(Qt::PlainText);
    if constexpr (std::is_base_of_v<QAbstractButton, W> || std::is_base_of_v<QLabel, W>)
        x->setText(caption);
    if constexpr (std::is_base_of_v<QGroupBox, W>)
        x->setTitle(caption);
    PlaceTwips(x, l, t, w, h);
    return x;
}

// The object name of a control array's member: "name_index".
inline QString IndexedName(const char* base, int i) { return QStringLiteral("%1_%2").arg(QLatin1String(base)).arg(i); }

} // namespace orv
