// What tests and benchmarks reach inside the main window: its controls by the object names they
// were given, and the few state fields a test checks or sets. Free of GoogleTest, so that the
// benchmarks can use it too.
#pragma once

#include "app/widgets/frmMain.h"
#include "platform/widgets/Controls.h"

#include <QObject>
#include <QString>
#include <QtGlobal>
#include <string>

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

class MainWindowProbe {
public:
    explicit MainWindowProbe(orv::frmMain& w) : w_(w) {}

    // The module state, which tests also set (a statement, a sort order) before a handler runs.
    orv::frmMain::ModuleState& module() const { return w_.module; }

    bool activated() const { return w_.activated; }
    bool catalogueOpenFailed() const { return w_.catalogueOpenFailed; }
    const std::string& appFolder() const { return w_.appFolder; }
    const std::string& settingsPath() const { return w_.settingsPath; }
    const std::string& openCatalogueKey() const { return w_.openCatalogueKey; }
    const std::string& driveRoot() const { return w_.driveRoot; }
    const std::string& driveRootPath() const { return w_.driveRootPath; }
    const std::string& cdFilter() const { return w_.cdFilter; }
    unsigned char screenCheck() const { return w_.screenCheck; }
    long recordTotal() const { return w_.recordTotal; }
    const QString& btnModeTag() const { return w_.btnModeTag; }
    int heldButton() const { return w_.heldButton; }
    int swallowClick() const { return w_.swallowClick; }

private:
    orv::frmMain& w_;
};

inline MainWindowProbe probe(orv::frmMain& w) { return MainWindowProbe(w); }

} // namespace orvtest
