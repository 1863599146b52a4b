#include "views/Layout.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace orv {

namespace {

// Nearest 32-bit whole number, a half going to the even neighbour (the default rounding mode).
long Whole(double x)
{
    const double r = std::nearbyint(x);
    if (!(r >= std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    if (r > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<long>(r);
}

} // namespace

long WholeTwips(float x) { return Whole(x); }

short PixelsOf(float twips, float tpp)
{
    const long divisor = WholeTwips(tpp);
    if (divisor == 0)
        return 0;
    const long q = WholeTwips(twips) / divisor;
    if (q > std::numeric_limits<short>::max())
        return std::numeric_limits<short>::max();
    if (q < std::numeric_limits<short>::min())
        return std::numeric_limits<short>::min();
    return static_cast<short>(q);
}

LayoutResult ArrangeViewsGeometry(const LayoutInput& in)
{
    LayoutResult r;
    const float sw = in.scaleWidth;
    const float sh = in.scaleHeight;
    const float hbar = in.hScrollHeight;

    r.hScroll1.height = hbar;
    r.hScroll2.height = hbar;
    r.vScroll2.width = in.vScrollWidth;
    r.gridHeight = in.gridHeight;

    // A. Top band: a bar under it when the client is narrower than the band.
    long bandOffset = 0;
    if (sw < in.frame1Width) {
        ScrollBarGeometry& bar = r.hScroll1;
        bar.min = 0;
        bar.max = PixelsOf(in.frame1Width - sw, in.tppX);
        bar.largeChange = PixelsOf(sw, in.tppX);
        bar.width = sw;
        bar.top = in.frame1Height;
        bar.visible = true;
        bandOffset = WholeTwips(bar.height);
    }
    r.frame1Left = 0;
    r.hScroll1.value = 0;

    // B. List view: the grid fills everything under the band (height 0 rather than negative).
    if (in.mode == ViewMode::List) {
        r.frame8Visible = false;
        const long h = Whole(static_cast<double>(sh) - in.frame1Height - bandOffset);
        r.gridHeight = h > 0 ? static_cast<float>(h) : 0.0f;
        r.gridTop = sh - r.gridHeight;
        r.gridVisible = true;
        return r;
    }

    // C. Card view.
    long gridTop = 0;
    if (in.frame1Width + in.frame5Width < sw) {
        // D. Side by side: the card stands right of the band at the top edge.
        r.frame5Left = 0;
        r.frame5Top = 0;
        r.frame8Top = 0;
        r.frame8Left = in.frame1Width;
        r.frame8Width = in.frame5Width;
        r.frame8Height = in.frame5Height;
        gridTop = Whole(static_cast<double>(r.frame8Height) + bandOffset);
    } else {
        // E. Stacked under the band.
        r.frame8Left = 0;
        r.frame8Top = static_cast<float>(static_cast<double>(in.frame1Height) + bandOffset);
        if (sw < in.frame5Width) {
            ScrollBarGeometry& bar = r.hScroll2;
            r.frame8Width = sw;
            bar.min = 0;
            bar.max = PixelsOf(in.frame5Width - sw, in.tppX);
            bar.largeChange = PixelsOf(sw, in.tppX);
            bar.width = sw;
            const long t = Whole(static_cast<double>(in.frame1Height) + bandOffset + in.frame5Height);
            if (bar.height + t > sh) {
                // The bar goes to the bottom edge and the viewport ends above it.
                const long h = Whole(static_cast<double>(sh) - bandOffset - in.frame1Height - bar.height);
                r.frame8Height = h < 0 ? 0.0f : static_cast<float>(h);
                bar.top = sh - bar.height;
            } else {
                r.frame8Height = in.frame5Height;
                bar.top = static_cast<float>(static_cast<double>(in.frame1Height) + bandOffset + r.frame8Height);
            }
            bar.visible = true;
            bandOffset = Whole(static_cast<double>(bar.height) + bandOffset);
        } else {
            r.frame8Width = in.frame5Width;
        }
        r.frame5Left = 0;
        r.hScroll2.value = 0;

        // F. Vertical fit.
        gridTop = Whole(static_cast<double>(in.frame1Height) + bandOffset + in.frame5Height);
        if (sh < gridTop) {
            if (!r.hScroll2.visible) {
                const long h = Whole(static_cast<double>(sh) - in.frame1Height - bandOffset);
                r.frame8Height = h < 0 ? 0.0f : static_cast<float>(h);
            }
            ScrollBarGeometry& bar = r.vScroll2;
            bar.visible = true;
            bar.top = r.frame8Top;
            bar.left = sw - bar.width;
            r.frame8Width = bar.left;
            bar.max = PixelsOf(in.frame5Height - r.frame8Height, in.tppY);
            bar.height = r.frame8Height;
            bar.largeChange = PixelsOf(bar.height, in.tppY);
            if (r.hScroll2.visible) {
                r.hScroll2.max = PixelsOf(in.frame5Width - r.frame8Width, in.tppX);
                r.hScroll2.width = r.frame8Width;
                r.hScroll2.largeChange = PixelsOf(r.frame8Width, in.tppX);
            }
        } else {
            r.frame8Height = in.frame5Height;
        }
        r.frame5Top = 0;
        r.vScroll2.value = 0;
    }

    // G. The grid takes what is left under the card, or disappears.
    r.frame8Visible = true;
    const long h = Whole(static_cast<double>(sh) - gridTop);
    r.gridTop = static_cast<float>(gridTop);
    if (h <= 0) {
        r.gridVisible = false;
    } else {
        r.gridHeight = static_cast<float>(h);
        r.gridVisible = true;
    }
    return r;
}

} // namespace orv
