#pragma once

#include <QRect>

// The main window's geometry in twips: where each panel sits by design, and
// how the panels follow the window's outer size (frame, title bar and menu
// bar included).
namespace MainLayout {

constexpr int MinimumOuterWidth = 12000;
constexpr int MinimumOuterHeight = 8000;

// What the design allows around the client area for the window frame, the
// title bar and the menu bar. The toolkit's own menu bar and frame differ, so
// the outer size is always taken as the client size plus these.
constexpr int NonClientWidth = 120;
constexpr int NonClientHeight = 750;

// Design rectangles (left, top, width, height) in their container.
constexpr QRect Frame1{120, 135, 4950, 6810};
constexpr QRect Frame3{90, 3855, 4755, 2775};
constexpr QRect txtScript{150, 690, 4440, 1905};
constexpr QRect Frame2{5385, 150, 7155, 6345};
constexpr QRect oGrid{285, 375, 6690, 5745};

// The waveform strip lies under the two panels, across the window's width.
// Shown, it takes this band of the height (the gap above it included) from
// the panels; the window's first size and its minimum grow by it.
constexpr int StripBand = 1350;
constexpr int StripGap = 60;

// The sizes that follow the window; everything else keeps its design place.
struct Sizes
{
    int frame1Height;
    int frame3Height;
    int scriptHeight;
    int frame2Width;
    int frame2Height;
    int gridWidth;
    int gridHeight;
    QRect strip;
};

// The panel sizes, and the strip's place, for an outer window size that is
// at least the minimum.
constexpr Sizes sizesFor(int outerWidth, int outerHeight, bool stripShown = false)
{
    const int panelsHeight = outerHeight - (stripShown ? StripBand : 0);
    Sizes s{};
    s.frame1Height = panelsHeight - Frame1.top() - 800;
    s.frame3Height = s.frame1Height - Frame3.top() - 200;
    s.scriptHeight = s.frame3Height - txtScript.top() - 200;
    s.frame2Height = panelsHeight - Frame2.top() - 800;
    s.frame2Width = outerWidth - Frame2.left() - 300;
    s.gridWidth = s.frame2Width - oGrid.left() - 200;
    s.gridHeight = s.frame2Height - oGrid.top() - 200;
    s.strip = QRect(Frame1.left(), panelsHeight - 800 + StripGap,
                    Frame2.left() + s.frame2Width - Frame1.left(), StripBand - StripGap);
    return s;
}

} // namespace MainLayout
