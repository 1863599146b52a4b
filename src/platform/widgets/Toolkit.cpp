#include "platform/widgets/Toolkit.h"

#include "platform/settings/NumberText.h"
#include "platform/widgets/FolderChooser.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QHelpEvent>
#include <QInputMethod>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>
#include <cstring>

#ifdef ORV_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace orv {

namespace {
std::function<void(const QString&, MsgStyle)> g_msgHook;
std::optional<QStringList> g_nextFolders;
int g_folderCalls = 0;
QString g_lastSelected;

float twipsPerPixel(bool horizontal)
{
    const QScreen* s = QGuiApplication::primaryScreen();
    const double dpi = s ? (horizontal ? s->logicalDotsPerInchX() : s->logicalDotsPerInchY()) : 96.0;
    return dpi > 0 ? static_cast<float>(1440.0 / dpi) : 15.f;
}
} // namespace

float TwipsPerPixelX() { return twipsPerPixel(true); }
float TwipsPerPixelY() { return twipsPerPixel(false); }
int TwipsToPxX(double twips) { return static_cast<int>(RoundHalfEven(twips / TwipsPerPixelX())); }
int TwipsToPxY(double twips) { return static_cast<int>(RoundHalfEven(twips / TwipsPerPixelY())); }

void PlaceTwips(QWidget* w, double left, double top, double width, double height)
{
    w->setGeometry(TwipsToPxX(left), TwipsToPxY(top), std::max(0, TwipsToPxX(width)), std::max(0, TwipsToPxY(height)));
}

namespace {
// Runs a local event loop without user input until done() holds (checked after every event the
// filter sees on the window) or maxMs pass.
class WindowEventWait : public QObject {
public:
    WindowEventWait(QWindow* window, std::function<bool()> done) : window_(window), done_(std::move(done)) {}
    bool run(int maxMs)
    {
        if (!window_ || done_())
            return window_ != nullptr;
        window_->installEventFilter(this);
        QTimer bound;
        bound.setSingleShot(true);
        QObject::connect(&bound, &QTimer::timeout, &loop_, &QEventLoop::quit);
        bound.start(maxMs);
        loop_.exec(QEventLoop::ExcludeUserInputEvents);
        window_->removeEventFilter(this);
        return done_();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched == window_ && e->type() != QEvent::DeferredDelete) {
            // Check once the window has handled the event.
            QTimer::singleShot(0, &loop_, [this] {
                if (done_())
                    loop_.quit();
            });
        }
        return false;
    }

private:
    QWindow* window_;
    std::function<bool()> done_;
    QEventLoop loop_;
};
} // namespace

bool WaitForExposure(QWidget* w, int maxMs)
{
    QWindow* window = w ? w->windowHandle() : nullptr;
    if (!window)
        return false;
    return WindowEventWait(window, [window] { return window->isExposed(); }).run(maxMs);
}

void RepaintNow(QWidget* w)
{
    WaitForExposure(w);
    w->repaint();
    // The painting is queued for the display server until the connection is flushed, which the
    // event dispatcher does: give it one pass.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

namespace {
// The window that has the keyboard focus on the X display; 0 elsewhere or without an answer.
WId xFocusWindow()
{
#ifdef ORV_HAVE_XCB
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return 0;
    xcb_get_input_focus_reply_t* reply = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
    const WId focus = reply ? reply->focus : 0;
    std::free(reply);
    return focus;
#else
    return 0;
#endif
}
} // namespace

namespace {
// Hands the toolkit the focus event the X server would send when the display's keyboard focus
// comes to the top-level window: the toolkit makes the window its focus window, as for a real one.
bool tellFocusIn(WId window)
{
#ifdef ORV_HAVE_XCB
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return false;
    xcb_focus_in_event_t in{};
    in.response_type = XCB_FOCUS_IN;
    in.detail = XCB_NOTIFY_DETAIL_NONLINEAR;
    in.event = xcb_window_t(window);
    in.mode = XCB_NOTIFY_MODE_NORMAL;
    char event[32] = {}; // events are sent as 32 bytes
    std::memcpy(event, &in, sizeof in);
    xcb_send_event(c, 0, xcb_window_t(window), XCB_EVENT_MASK_FOCUS_CHANGE, event);
    xcb_flush(c);
    return true;
#else
    Q_UNUSED(window);
    return false;
#endif
}

// Makes w the focus window where the display's keyboard focus is on it and the toolkit knows no
// shown focus window (nor a modal dialog or a popup that would be it). The toolkit's own
// activation (QApplication::setActiveWindow) would leave it without a focus window: no input
// method, no access keys.
bool adoptKeyboardFocus(QWidget* w)
{
    const QWindow* focus = QGuiApplication::focusWindow();
    if ((focus && focus->isVisible()) || QApplication::activeModalWidget() || QApplication::activePopupWidget()
        || !w->isVisible() || !w->windowHandle() || xFocusWindow() != w->winId())
        return false;
    return tellFocusIn(w->winId());
}

// Looks again once another top-level window (a dialog) is hidden: a focus the toolkit handed to a
// modal dialog stays with the dialog as it goes, and no change of the focus window is told.
class FocusFollower : public QObject {
public:
    explicit FocusFollower(QWidget* w) : QObject(w), w_(w) {}

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::Hide && watched != w_ && watched->isWidgetType()
            && static_cast<QWidget*>(watched)->isWindow())
            lookAgain();
        return false;
    }

public:
    // Looked at once the events that came with the change are handled.
    void lookAgain()
    {
        QTimer::singleShot(0, w_, [w = w_] { adoptKeyboardFocus(w); });
    }

private:
    QWidget* w_;
};
} // namespace

void FollowKeyboardFocus(QWidget* w)
{
    auto* follower = new FocusFollower(w);
    QCoreApplication::instance()->installEventFilter(follower);
    QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged, follower, [follower](QWindow* now) {
        if (!now)
            follower->lookAgain();
    });
}

void TakeKeyboardFocus(QWidget* w)
{
    if (QGuiApplication::focusWindow() != w->windowHandle() && !adoptKeyboardFocus(w))
        w->activateWindow();
}

bool NativeWayland() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

void CommitComposition()
{
    // A composition lives in the focused window. Qt's Wayland input context reaches for the
    // seat's keyboard, which a compositor without one (a headless weston) never gives the
    // window: it would crash there, before the settings are saved.
    if (NativeWayland() && !QGuiApplication::focusWindow())
        return;
    if (QInputMethod* im = QGuiApplication::inputMethod())
        im->commit();
}

namespace {
class UnboundAltKeys : public QObject {
public:
    explicit UnboundAltKeys(QWidget* window) : QObject(window), window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(e);
        // Alt alone: Ctrl+Alt is AltGr where the window system reports it so, and types.
        const Qt::KeyboardModifiers m = key->modifiers();
        if (!(m & Qt::AltModifier) || (m & (Qt::ControlModifier | Qt::MetaModifier)))
            return false;
        const QString text = key->text();
        if (text.isEmpty() || !text.front().isPrint())
            return false;
        const auto* target = qobject_cast<QWidget*>(watched);
        return target && target->window() == window_;
    }

private:
    QWidget* window_;
};
} // namespace

void IgnoreUnboundAltKeys(QWidget* w) { QCoreApplication::instance()->installEventFilter(new UnboundAltKeys(w)); }

namespace {
class PlainToolTip : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        auto* w = qobject_cast<QWidget*>(watched);
        if (!w || e->type() != QEvent::ToolTip)
            return false;
        const QString tip = w->toolTip();
        if (tip.isEmpty()) {
            QToolTip::hideText();
        } else {
            // Escaped inside markup that keeps every blank and line as it is.
            const QString shown = QStringLiteral("<p style=\"white-space:pre\">%1</p>").arg(tip.toHtmlEscaped());
            QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), shown, w);
        }
        return true;
    }
};
} // namespace

void KeepToolTipPlain(QWidget* w) { w->installEventFilter(new PlainToolTip(w)); }

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
    if (pointer == kHourglassPointer)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

QString BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder, const QString& selected)
{
    ++g_folderCalls;
    g_lastSelected = selected;
    if (g_nextFolders) {
        if (g_nextFolders->isEmpty())
            return {};
        return g_nextFolders->takeFirst();
    }
    // A start folder that names a directory is the top of the tree; otherwise the discs, the home
    // folder and the root are.
    std::vector<ChooserPlace> places;
    if (!startFolder.isEmpty() && QDir(startFolder).exists())
        places.push_back({ChooserPlace::Kind::Root, QDir(startFolder).dirName().toStdString(),
                          QDir(startFolder).absolutePath().toStdString()});
    else
        places = FolderChooser::systemPlaces();
    QApplication::restoreOverrideCursor();
    FolderChooser chooser(owner, title, places, selected);
    if (chooser.exec() != QDialog::Accepted)
        return {};
    return QDir::toNativeSeparators(chooser.chosenFolder());
}

void FolderChooserHook::setNextFolders(const QStringList& answers)
{
    g_nextFolders = answers;
    g_folderCalls = 0;
}
int FolderChooserHook::calls() { return g_folderCalls; }
QString FolderChooserHook::lastSelected() { return g_lastSelected; }
void FolderChooserHook::remove()
{
    g_nextFolders.reset();
    g_folderCalls = 0;
}

int checkValue(const QCheckBox* box)
{
    switch (box->checkState()) {
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    default: return 0;
    }
}

void setCheckValue(QCheckBox* box, int v)
{
    box->setCheckState(v == 2 ? Qt::PartiallyChecked : (v == 1 ? Qt::Checked : Qt::Unchecked));
}

} // namespace orv
