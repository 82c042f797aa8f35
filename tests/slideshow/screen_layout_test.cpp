#include "slideshow/screen_layout.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace Miruton {

void PrintTo(const ScreenRect& r, std::ostream* out) {
    *out << r.width << "x" << r.height << "+" << r.x << "+" << r.y;
}
void PrintTo(ScreenPoint p, std::ostream* out) {
    *out << "(" << p.x << ", " << p.y << ")";
}

namespace {

// Two monitors side by side, the primary on the left: what Wine reports for
// Xephyr's -screen 1024x768 -screen 800x600 +xinerama.
ScreenLayout SideBySide(int scale = 1) {
    const std::vector<ScreenRect> desktop = {{0, 0, 1024, 768}, {1024, 0, 800, 600}};
    return CoveringLayout(desktop, scale);
}

TEST(ScreenLayout, ScaleIsTheDpiOver96RoundedAndBounded) {
    struct Case {
        int dpi, scale;
    };
    for (const Case& c : {Case{96, 1}, Case{0, 1}, Case{-96, 1}, Case{72, 1}, Case{120, 1},
                          Case{143, 1}, Case{144, 2}, Case{192, 2}, Case{239, 2}, Case{240, 3},
                          Case{480, 5}, Case{768, 8}, Case{100000, 8}})
        EXPECT_EQ(ScaleForDpi(c.dpi), c.scale) << c.dpi << " dpi";
}

TEST(ScreenLayout, MonitorsMoveIntoWindowCoordinatesCutToTheWindow) {
    struct Case {
        std::vector<ScreenRect> desktop;
        bool covering;  // a window over the bounding box, or 1920x1080 at `origin`
        ScreenPoint origin;
        int clientWidth, clientHeight;
        std::vector<ScreenRect> window;
    };
    const Case cases[] = {
        {{{0, 0, 1024, 768}, {1024, 0, 800, 600}},
         true,
         {},
         1824,
         768,
         {{0, 0, 1024, 768}, {1024, 0, 800, 600}}},
        // The primary right of the other: the desktop starts at negative x.
        {{{0, 0, 1920, 1080}, {-1280, 200, 1280, 1024}},
         true,
         {},
         3200,
         1224,
         {{1280, 0, 1920, 1080}, {0, 200, 1280, 1024}}},
        {{{0, 0, 640, 480}}, true, {}, 640, 480, {{0, 0, 640, 480}}},
        {{}, true, {}, 0, 0, {}},
        {{{0, 0, 640, 1080}, {-1280, 0, 1280, 1024}},
         false,
         {-1280, 0},
         1920,
         1080,
         {{1280, 0, 640, 1080}, {0, 0, 1280, 1024}}},
        // A window over the primary only: the other monitor is not in it.
        {{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}},
         false,
         {0, 0},
         1920,
         1080,
         {{0, 0, 1920, 1080}}},
        {{{0, 0, 1920, 1080}}, false, {100, 100}, 1920, 1080, {{0, 0, 1820, 980}}},
        // None left: one monitor covering the window.
        {{{5000, 0, 800, 600}}, false, {0, 0}, 1920, 1080, {{0, 0, 1920, 1080}}},
        {{}, false, {0, 0}, 1920, 1080, {{0, 0, 1920, 1080}}},
    };
    for (const Case& c : cases) {
        const ScreenLayout layout = c.covering ? CoveringLayout(c.desktop, 2)
                                               : WindowLayout(1920, 1080, c.origin, c.desktop, 2);
        EXPECT_EQ(layout.clientWidth, c.clientWidth);
        EXPECT_EQ(layout.clientHeight, c.clientHeight);
        EXPECT_EQ(layout.monitors, c.window);
        EXPECT_EQ(layout.scale, 2);
    }
    EXPECT_EQ(CoveringLayout({}, 0).scale, 1);
}

TEST(ScreenLayout, APointBelongsToItsMonitorOrTheNearest) {
    struct Case {
        ScreenPoint point;
        int monitor;
    };
    const Case cases[] = {
        {{0, 0}, 0},
        {{1023, 767}, 0},
        {{1024, 0}, 1},
        {{1823, 599}, 1},
        {{1500, 650}, 1},  // below the right monitor: 51 rows from it, 477
                           // columns from the left
        {{1100, 700}, 0},  // 77 columns from the left monitor, 101 rows from the right one
        {{-50, -50}, 0},
        {{5000, 300}, 1},
    };
    const ScreenLayout layout = SideBySide();
    for (const Case& c : cases)
        EXPECT_EQ(MonitorAt(layout, c.point), layout.monitors[c.monitor])
            << c.point.x << "," << c.point.y;
    // Equally near to both: the earlier one, the primary.
    const std::vector<ScreenRect> apart = {{0, 0, 100, 100}, {201, 0, 100, 100}};
    EXPECT_EQ(MonitorAt(CoveringLayout(apart, 1), {150, 50}), apart[0]);
    EXPECT_EQ(MonitorAt(CoveringLayout(apart, 1), {151, 50}), apart[1]);
    // No monitors: the client area.
    EXPECT_EQ(MonitorAt(ScreenLayout{300, 200, {}, 1}, {900, 900}), (ScreenRect{0, 0, 300, 200}));
}

TEST(ScreenLayout, APictureMovesTheLeastOntoOneMonitor) {
    struct Case {
        int scale;
        ScreenPoint drawn;
        int width, height;
        ScreenPoint placed;
    };
    const Case cases[] = {
        {1, {100, 100}, 336, 256, {100, 100}},    // fits where it was drawn
        {1, {687, 478}, 336, 256, {687, 478}},    // the last place that fits on the left
        {1, {900, 600}, 336, 256, {687, 478}},    // across the right and bottom limits
        {1, {1500, 400}, 336, 256, {1487, 310}},  // the right monitor is shorter
        {1, {1100, 700}, 336, 256, {687, 478}},   // off every monitor, nearer the left one
        {1, {1024, 0}, 256, 336, {1024, 0}},      // the right monitor's corner
        {2, {1100, 200}, 672, 512, {1100, 21}},   // 600 - 512 - 2 × 33 leaves 22 rows
        {2, {1300, 100}, 672, 512, {1151, 21}},
        {1, {1200, 100}, 900, 256, {1024, 100}},  // too wide for the monitor: its left edge
        {1, {1200, 100}, 336, 590, {1200, 0}},    // too tall with the margin: its top edge
    };
    for (const Case& c : cases) {
        const ScreenPoint placed = PlaceOnMonitor(SideBySide(c.scale), c.drawn, c.width, c.height);
        EXPECT_EQ(placed, c.placed) << "drawn at " << c.drawn.x << "," << c.drawn.y;
    }
}

TEST(ScreenLayout, EveryDrawnPositionEndsWhollyInsideOneMonitorAndOneMonitorKeepsIt) {
    for (int scale : {1, 2}) {
        const ScreenLayout layout = SideBySide(scale);
        const int width = 336 * scale / 2, height = 256 * scale / 2;
        for (int x = -40; x < layout.clientWidth + 40; x += 7) {
            for (int y = -40; y < layout.clientHeight + 40; y += 5) {
                const ScreenPoint p = PlaceOnMonitor(layout, {x, y}, width, height);
                const ScreenRect m = MonitorAt(layout, p);
                ASSERT_TRUE(p.x >= m.x && p.x + width <= m.Right() - 1 && p.y >= m.y &&
                            p.y + height <= m.Bottom() - 1 - scale * kPlacementMargin)
                    << x << "," << y << " placed at " << p.x << "," << p.y;
            }
        }
    }
    // Every position a random draw gives on one monitor stays where it is.
    for (const ScreenLayout& layout : {SingleScreen(1024, 768), ScreenLayout{640, 480, {}, 1}})
        for (int x = 0; x < layout.clientWidth - 336; x += 3)
            for (int y = 0; y < layout.clientHeight - 256 - 33; y += 3)
                ASSERT_EQ(PlaceOnMonitor(layout, {x, y}, 336, 256), (ScreenPoint{x, y}));
}

TEST(ScreenLayout, TheFirstPictureAndTheTextGoToThePrimary) {
    struct Case {
        ScreenLayout layout;
        ScreenPoint centre, text;
    };
    const std::vector<ScreenRect> leftOfPrimary = {{0, 0, 1920, 1080}, {-1280, 200, 1280, 1024}};
    const Case cases[] = {
        {SingleScreen(1024, 768), {384, 216}, {774, 736}},
        {SingleScreen(1023, 767), {383, 215}, {773, 735}},  // each half truncates
        {SideBySide(), {384, 216}, {774, 736}},
        {CoveringLayout(leftOfPrimary, 1), {1280 + 832, 372}, {1280 + 1670, 1048}},
        {CoveringLayout(leftOfPrimary, 2), {1280 + 704, 204}, {1280 + 1420, 1016}},
    };
    for (const Case& c : cases) {
        const int scale = c.layout.scale;
        EXPECT_EQ(CentreOnPrimary(c.layout, 256 * scale, 336 * scale), c.centre);
        EXPECT_EQ(TextPosition(c.layout), c.text);
    }
}

}  // namespace
}  // namespace Miruton
