#include "app/Placement.h"

#include <algorithm>
#include <cmath>

namespace orv {

namespace {

// Nearest whole number, a half going to the even neighbour (the default rounding mode).
long Whole(double x) { return static_cast<long>(std::nearbyint(x)); }

struct Bounds {
    long left, top, right, bottom;
};

// One axis of the clamp: shifted back inside [lo, hi] pixels, shrunk only when larger than the
// bounds. Comparisons use the unrounded quotient; only assignments round.
void clampAxis(long& pos, long& size, double lo, double hi, double tpp)
{
    if (pos / tpp < lo)
        pos = Whole(lo * tpp);
    if ((pos + size) / tpp > hi) {
        pos = Whole(hi * tpp - size);
        if (pos / tpp < lo) {
            pos = Whole(lo * tpp);
            size = Whole(hi * tpp - pos);
        }
    }
}

} // namespace

long OverlapArea(const PixelRect& window, const PixelRect& monitor)
{
    if (monitor.left < window.right && window.left < monitor.right && monitor.top < window.bottom
        && window.top < monitor.bottom) {
        return (std::min(window.bottom, monitor.bottom) - std::max(window.top, monitor.top))
            * (std::min(window.right, monitor.right) - std::max(window.left, monitor.left));
    }
    return 0;
}

void LimitMonitorCount(MonitorCensus& census, unsigned char screenCheck)
{
    if (screenCheck != 255 && census.monitorCount > screenCheck)
        census.monitorCount = screenCheck;
}

Placement PlaceWindow(const TwipsRect& saved, const MonitorCensus& census, float tppX, float tppY)
{
    Placement result;
    if (census.monitorCount <= 0)
        return result;

    const double tx = tppX;
    const double ty = tppY;
    long L = saved.left, T = saved.top, W = saved.width, H = saved.height;

    const PixelRect window{Whole(L / tx), Whole(T / ty), Whole((L + W) / tx), Whole((T + H) / ty)};
    const long scanned = std::min<long>(census.monitorCount, static_cast<long>(census.monitorRects.size()));
    long reference = 0;
    long bestArea = 0;
    for (long i = 0; i < scanned; ++i) {
        const long area = OverlapArea(window, census.monitorRects[i]);
        if (area > bestArea) {
            bestArea = area;
            reference = i;
        }
    }

    if (L == 0 && T == 0 && W == 0 && H == 0)
        return result;

    Bounds b{census.virtualLeft, census.virtualTop, census.virtualLeft + census.virtualWidth,
             census.virtualTop + census.virtualHeight};
    if (census.monitorCount == 1 && reference < static_cast<long>(census.monitorRects.size())) {
        const PixelRect& m = census.monitorRects[reference];
        b = {m.left, m.top, m.right, m.bottom};
    }

    // Comparisons use the unrounded quotient; only assignments round.
    clampAxis(L, W, b.left, b.right, tx);
    clampAxis(T, H, b.top, b.bottom, ty);

    result.move = true;
    result.rect = {L, T, W, H};
    return result;
}

Placement FitInside(const PixelRect& outer, const PixelRect& area, float tppX, float tppY)
{
    MonitorCensus census;
    census.monitorCount = 1;
    census.virtualLeft = area.left;
    census.virtualTop = area.top;
    census.virtualWidth = area.right - area.left;
    census.virtualHeight = area.bottom - area.top;
    census.monitorRects = {area};
    const TwipsRect now{Whole(outer.left * static_cast<double>(tppX)), Whole(outer.top * static_cast<double>(tppY)),
                        Whole((outer.right - outer.left) * static_cast<double>(tppX)),
                        Whole((outer.bottom - outer.top) * static_cast<double>(tppY))};
    Placement p = PlaceWindow(now, census, tppX, tppY);
    p.move = p.move
        && (p.rect.left != now.left || p.rect.top != now.top || p.rect.width != now.width
            || p.rect.height != now.height);
    return p;
}

PixelRect ClientRectForFrame(const TwipsRect& outer, const FrameMargins& margins, float tppX, float tppY)
{
    const long left = Whole(outer.left / static_cast<double>(tppX)) + margins.left;
    const long top = Whole(outer.top / static_cast<double>(tppY)) + margins.top;
    const long width = std::max(1L, Whole(outer.width / static_cast<double>(tppX)) - margins.left - margins.right);
    const long height = std::max(1L, Whole(outer.height / static_cast<double>(tppY)) - margins.top - margins.bottom);
    return {left, top, left + width, top + height};
}

} // namespace orv
