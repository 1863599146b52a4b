// Geometry of the list and card views for a client size: a pure function, applied to the widgets
// in one step.
#pragma once

namespace orv {

// What the window shows under the top band; the settings file keeps it as 0 or 1.
enum class ViewMode { List = 0, Card = 1 };

struct LayoutInput {
    float scaleWidth = 0, scaleHeight = 0; // client size, twips
    ViewMode mode = ViewMode::List;
    float tppX = 15, tppY = 15;
    float frame1Width = 9480, frame1Height = 2775;
    float frame5Width = 9480, frame5Height = 3450;
    float hScrollHeight = 255; // HScroll1, HScroll2
    float vScrollWidth = 255; // VScroll2
    float gridHeight = 0; // the grid's height before this run (kept when hidden)
};

struct ScrollBarGeometry {
    bool visible = false;
    float left = 0, top = 0, width = 0, height = 0;
    int min = 0, max = 0, largeChange = 1, value = 0;
};

struct LayoutResult {
    float frame1Left = 0;
    ScrollBarGeometry hScroll1, hScroll2, vScroll2;
    bool frame8Visible = false;
    float frame8Left = 0, frame8Top = 0, frame8Width = 0, frame8Height = 0;
    float frame5Left = 0, frame5Top = 0;
    bool gridVisible = false;
    float gridTop = 0, gridHeight = 0; // grid is always Left 0, as wide as the client
};

LayoutResult ArrangeViewsGeometry(const LayoutInput& in);

// whole(x): nearest 32-bit integer, ties to even.
long WholeTwips(float x);
// pixels(t, tpp): whole(t) / whole(tpp), truncating toward zero, as a 16-bit value.
short PixelsOf(float twips, float tpp);

} // namespace orv
