#include "app/widgets/WindowPlacer.h"

#include "platform/widgets/Toolkit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace orv {

namespace {

// How long after the first activation a window manager's late answer to the placement is still
// taken as one.
constexpr int kLateAnswerMs = 1000;

} // namespace

WindowPlacer::WindowPlacer(QWidget* window) : QObject(window), window_(window) { window_->installEventFilter(this); }

bool WindowPlacer::eventFilter(QObject* watched, QEvent* e)
{
    // The window system's own word, not the echo of a request.
    if (watched == window_ && e->type() == QEvent::WindowStateChange && e->spontaneous() && window_->isMaximized())
        maximisedSeen_ = true;
    return false;
}

void WindowPlacer::CountMonitors(unsigned char screenCheck)
{
    auto& c = census_;
    c = MonitorCensus{};
    const QList<QScreen*> screens = QGuiApplication::screens();
    c.monitorCount = screens.size();
    if (c.monitorCount > 0) {
        const QRect v = QGuiApplication::primaryScreen()->virtualGeometry();
        c.virtualLeft = v.left();
        c.virtualTop = v.top();
        c.virtualWidth = v.width();
        c.virtualHeight = v.height();
        // The primary screen first, then the others from left to right, top to bottom.
        QList<QScreen*> ordered = screens;
        QScreen* primary = QGuiApplication::primaryScreen();
        std::stable_sort(ordered.begin(), ordered.end(), [primary](QScreen* a, QScreen* b) {
            if ((a == primary) != (b == primary))
                return a == primary;
            const QRect ga = a->geometry(), gb = b->geometry();
            return ga.left() != gb.left() ? ga.left() < gb.left() : ga.top() < gb.top();
        });
        c.monitorRects.reserve(static_cast<size_t>(c.monitorCount) + 5);
        for (QScreen* s : ordered) {
            if (c.monitorRects.size() >= static_cast<size_t>(c.monitorCount) + 5)
                break;
            const QRect g = s->geometry();
            c.monitorRects.push_back({g.left(), g.top(), g.left() + g.width(), g.top() + g.height()});
        }
    }
    LimitMonitorCount(c, screenCheck);
}

FrameMargins WindowPlacer::frameMargins() const
{
    const QWindow* window = window_->windowHandle();
    if (!window)
        return {};
    const QMargins m = window->frameMargins();
    return {m.left(), m.top(), m.right(), m.bottom()};
}

QRect WindowPlacer::OuterRect() const
{
    return window_->windowHandle() ? window_->windowHandle()->frameGeometry() : window_->frameGeometry();
}

Placement WindowPlacer::SavedPlacement(const TwipsRect& saved) const
{
    return PlaceWindow(saved, census_, TwipsPerPixelX(), TwipsPerPixelY());
}

QRect WindowPlacer::roomOnScreen() const
{
    QRect a = window_->screen()->availableGeometry();
    // A scaled screen gives the frame in whole logical pixels, rounded either way: a pixel of
    // room on each side keeps all of the real frame on the screen.
    if (window_->windowHandle() && window_->windowHandle()->devicePixelRatio() != 1.0)
        a.adjust(1, 1, -1, -1);
    return a;
}

Placement WindowPlacer::firstPlacement() const
{
    const QRect o = OuterRect();
    const QRect a = roomOnScreen();
    return FitInside({o.left(), o.top(), o.left() + o.width(), o.top() + o.height()},
                     {a.left(), a.top(), a.left() + a.width(), a.top() + a.height()}, TwipsPerPixelX(),
                     TwipsPerPixelY());
}

void WindowPlacer::Prepare(const TwipsRect& saved)
{
    const Placement p = SavedPlacement(saved);
    if (!p.move)
        return;
    if (NativeWayland())
        sizeFrame(p.rect);
    else
        window_->move(TwipsToPxX(p.rect.left), TwipsToPxY(p.rect.top));
}

bool WindowPlacer::PositionKnown() const { return !NativeWayland(); }
bool WindowPlacer::StateKnown() const { return !NativeWayland() || (shown_ && (!maximiseAsked_ || maximisedSeen_)); }

// The client size whose frame is the saved one, for the frame known now (a Wayland window's own
// decorations, or none where the compositor draws them); the position is the compositor's.
void WindowPlacer::sizeFrame(const TwipsRect& frame)
{
    ApplyMinimumSize();
    const PixelRect c = ClientRectForFrame(frame, frameMargins(), TwipsPerPixelX(), TwipsPerPixelY());
    const QSize size(static_cast<int>(c.right - c.left), static_cast<int>(c.bottom - c.top));
    if (size != window_->size())
        window_->resize(size);
}

void WindowPlacer::Place(const TwipsRect& saved, bool maximise)
{
    placing_ = true;
    const auto done = qScopeGuard([this] { placing_ = false; });
    // The saved rectangle is the outer frame; the frame's size is known once the window manager
    // has mapped the window. Its answer to the placement is not waited for: a request that changes
    // nothing gets none, and frame extents that come with the answer or later place the frame
    // again as they arrive (followFrameExtents).
    shown_ = WaitForExposure(window_);
    Placement p = SavedPlacement(saved);
    if (NativeWayland()) {
        // The size only, now that the window's decorations are known; the compositor places it.
        if (p.move)
            sizeFrame(p.rect);
        if (maximise) {
            maximiseAsked_ = true;
            window_->setWindowState(window_->windowState() | Qt::WindowMaximized);
        }
        return;
    }
    if (!p.move)
        p = firstPlacement();
    if (p.move) {
        placedFrame_ = p.rect;
        placeFrame();
    }
    // Maximised after the move, so that restoring returns to the placed frame.
    if (maximise) {
        window_->setWindowState(window_->windowState() | Qt::WindowMaximized);
        placementAnswered_ = false;
    }
}

// Puts the client area where the placed frame wants it, for the frame extents known now; nothing
// when the window is maximised.
void WindowPlacer::placeFrame()
{
    if (!placedFrame_ || window_->isMaximized() || window_->isFullScreen())
        return;
    ApplyMinimumSize(); // the minimum made before the frame was known would hold the window larger
    const FrameMargins m = frameMargins();
    placedMargins_ = m;
    const PixelRect c = ClientRectForFrame(*placedFrame_, m, TwipsPerPixelX(), TwipsPerPixelY());
    const QRect client(static_cast<int>(c.left), static_cast<int>(c.top), static_cast<int>(c.right - c.left),
                       static_cast<int>(c.bottom - c.top));
    if (client != window_->geometry()) {
        window_->setGeometry(client);
        placementAnswered_ = false;
    }
}

// A window manager that reports its frame extents only after the placement: the frame goes where
// it was saved all the same. A window the user has moved meanwhile, with the extents unchanged,
// stays where it is.
void WindowPlacer::followFrameExtents()
{
    const FrameMargins m = frameMargins();
    if (placedFrame_
        && (m.left != placedMargins_.left || m.top != placedMargins_.top || m.right != placedMargins_.right
            || m.bottom != placedMargins_.bottom))
        placeFrame();
}

// The window system's word on the window's geometry: the answer to the placement, or a change of
// its own. The placed frame is followed until the first activation has ended and the placement
// has had its answer, or for a bounded time after that activation where the answer never comes.
void WindowPlacer::WindowSystemMoved(bool activationOver)
{
    if (!placedFrame_)
        return;
    placementAnswered_ = true;
    followFrameExtents(); // a new request waits for its own answer
    if (activationOver && placementAnswered_)
        placedFrame_.reset();
}

void WindowPlacer::EndPlacement()
{
    followFrameExtents();
    if (placementAnswered_) {
        placedFrame_.reset();
        return;
    }
    QTimer::singleShot(kLateAnswerMs, this, [this] { placedFrame_.reset(); });
}

QSize WindowPlacer::ApplyMinimumSize()
{
    const FrameMargins m = frameMargins();
    const QSize room = roomOnScreen().size();
    const int minW = std::max(1, std::min(TwipsToPxX(6000), room.width()) - static_cast<int>(m.left + m.right));
    const int minH = std::max(1, std::min(TwipsToPxY(4500), room.height()) - static_cast<int>(m.top + m.bottom));
    if (window_->minimumWidth() != minW || window_->minimumHeight() != minH)
        window_->setMinimumSize(minW, minH);
    return {minW, minH};
}

} // namespace orv
