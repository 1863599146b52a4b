// WindowPlacer: where the main window goes at its first activation. The saved outer frame (or the
// window as created) is pulled onto the monitors and the client area put where that frame wants
// it; a window manager that frames the window (X11) answers later and may report its frame
// extents only then, so the placed frame is followed until the first activation is over.
#pragma once

#include "app/Placement.h"

#include <QObject>
#include <QRect>
#include <QSize>
#include <optional>

class QWidget;

namespace orv {

class WindowPlacer : public QObject {
public:
    explicit WindowPlacer(QWidget* window);

    // The monitors as the screens are now, the primary first, limited by the /SCHK switch.
    void CountMonitors(unsigned char screenCheck);
    const MonitorCensus& census() const { return census_; }

    // The saved frame (twips) pulled onto the monitors.
    Placement SavedPlacement(const TwipsRect& saved) const;
    // Before the window is first shown: created where it will be placed (X11), or at the size it
    // will have (Wayland, where the first size the compositor sees is the one it keeps).
    void Prepare(const TwipsRect& saved);
    // Once the window is on the screen: its frame where it was saved, or the window as created
    // pulled onto the available screen; maximised after that when it was saved so.
    void Place(const TwipsRect& saved, bool maximise);
    bool placing() const { return placing_; } // Place waits for the window system
    // The window system moved or resized the window; activationOver: the first activation has
    // ended.
    void WindowSystemMoved(bool activationOver);
    // The first activation has ended.
    void EndPlacement();

    // The outer window is at least 6000 x 4500 twips and never more than the screen has room for;
    // the client's share of that, for the frame known now, becomes the window's minimum.
    QSize ApplyMinimumSize();
    QRect OuterRect() const; // the window with its frame, in pixels

    // What shutdown may save of the window. A Wayland compositor never tells a window where it
    // is, and one that never showed the window, or never maximised it when asked to (sway has no
    // such state), said nothing of its state either: what it does not know, the settings file
    // keeps as it was read.
    bool PositionKnown() const;
    bool StateKnown() const;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    Placement firstPlacement() const;
    QRect roomOnScreen() const; // the screen's available area, in logical pixels
    FrameMargins frameMargins() const;
    void placeFrame();
    void sizeFrame(const TwipsRect& frame);
    void followFrameExtents();

    QWidget* window_;
    MonitorCensus census_;
    bool placing_ = false;
    std::optional<TwipsRect> placedFrame_; // the frame placement put the window in, until the first activation ends
    FrameMargins placedMargins_; // the frame extents it was placed with
    bool placementAnswered_ = true; // no request of the placement waits for the window system's answer
    bool shown_ = false; // the window system showed the window when it was placed
    bool maximiseAsked_ = false; // placement asked for the maximised state
    bool maximisedSeen_ = false; // the window system has shown the window maximised
};

} // namespace orv
