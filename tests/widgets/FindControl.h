// Tests and benchmarks find the main window's controls by the object names they were given. Free
// of GoogleTest, so that the benchmarks can use it too.
#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QObject>
#include <QString>
#include <QWidget>
#include <QtGlobal>

namespace orvtest {

// The control of that name and type; a test that names one the window lacks stops at once.
template <class T> T* ctl(const QObject& w, const QString& name)
{
    T* c = w.findChild<T*>(name);
    if (!c)
        qFatal("the main window has no %s named %s", T::staticMetaObject.className(), qPrintable(name));
    return c;
}

// A member of a control array, named "name_index".
template <class T> T* ctl(const QObject& w, const char* name, int index)
{
    return ctl<T>(w, QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index));
}

// Whether the main window's first activation is over, as the user sees it: it ends with the
// focus in the keyword box and no dialog left open.
inline bool FirstActivationOver(const QWidget& w)
{
    return !QApplication::activeModalWidget() && QApplication::focusWidget() == ctl<QLineEdit>(w, "txtStrGame_0");
}

} // namespace orvtest
