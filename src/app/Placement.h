// Window placement on the monitors: pure functions over the monitor census.
#pragma once

#include <vector>

namespace orv {

struct PixelRect {
    long left = 0, top = 0, right = 0, bottom = 0;
};

struct MonitorCensus {
    long monitorCount = 0;
    long virtualLeft = 0, virtualTop = 0, virtualWidth = 0, virtualHeight = 0;
    std::vector<PixelRect> monitorRects; // capacity monitorCount + 5
};

// Area of the intersection in square pixels; 0 when they only touch or do not meet.
long OverlapArea(const PixelRect& window, const PixelRect& monitor);

// Limits monitorCount by the SCHK switch (255 = none).
void LimitMonitorCount(MonitorCensus& census, unsigned char screenCheck);

struct TwipsRect {
    long left = 0, top = 0, width = 0, height = 0;
};

struct Placement {
    bool move = false; // false: keep the window where it was created
    TwipsRect rect;
};

// The saved rectangle (the window's outer frame) pulled inside the bounds (one monitor, or the virtual screen), never enlarged.
Placement PlaceWindow(const TwipsRect& saved, const MonitorCensus& census, float tppX, float tppY);

// The window as first shown (its outer frame in pixels, with nothing restored) pulled inside an
// area of the screen as a restored window is pulled onto its monitor: shifted back inside and
// shrunk to the area where larger, never enlarged. move is false when it lies inside already.
Placement FitInside(const PixelRect& outer, const PixelRect& area, float tppX, float tppY);

// What the window manager draws around the client area, in pixels on each side; all 0 where no
// window manager frames the window or before it has said how.
struct FrameMargins {
    long left = 0, top = 0, right = 0, bottom = 0;
};

// The client area, in pixels, whose frame covers the outer rectangle given in twips: the frame's
// corner at (left, top), its outer size width x height. Never smaller than one pixel.
PixelRect ClientRectForFrame(const TwipsRect& outer, const FrameMargins& margins, float tppX, float tppY);

} // namespace orv
