#include "slideshow/animation.h"

#include <gtest/gtest.h>

#include <vector>

namespace Miruton {
namespace {

TEST(SlideRandom, FollowsTheRuntimeGeneratorFromSeedOne) {
    // The C runtime's rand() without srand: seed 1, multiplier 214013, increment 2531011.
    SlideRandom random;
    for (int expected : {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464})
        EXPECT_EQ(random.Next(), expected);
}

TEST(Mask, RulesAtTheCellBoundaries) {
    struct Case {
        MaskKind kind;
        int column, row, counter;
        bool black;
    };
    const Case cases[] = {
        {MaskKind::Grid, 7, 5, 3, true},        // both 5 and 7 exceed 3
        {MaskKind::Grid, 14, 5, 3, false},      // 14 mod 11 = 3 qualifies the column
        {MaskKind::Grid, 7, 14, 3, false},      // ... or the row
        {MaskKind::Diagonal, 11, 0, 1, false},  // (0 + 11) mod 11 = 0
        {MaskKind::Diagonal, 2, 0, 1, true},
        {MaskKind::Diagonal, 1, 0, 1, false},
        {MaskKind::Diagonal, 5, 5, 9, true},    // 10 > 9
        {MaskKind::Diagonal, 5, 5, 10, false},  // remainders never exceed 10
        {MaskKind::Rows, 0, 10, 9, true},
        {MaskKind::Rows, 3, 11, 0, false},  // remainder 0 is not above 0
        {MaskKind::Rows, 3, 12, 0, true},
        {MaskKind::Columns, 21, 0, 9, true},
        {MaskKind::Columns, 22, 0, 0, false},
        {MaskKind::Columns, 4, 100, 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "kind " << int(c.kind) << " column " << c.column
                                          << " row " << c.row << " counter " << c.counter);
        EXPECT_EQ(IsMasked(c.kind, c.column, c.row, c.counter), c.black);
    }
}

// A picture whose every pixel is distinct: blue = column, green = row, red = 7.
PackedPicture Numbered(int width, int height) {
    PackedPicture picture{width, height, {}};
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column)
            picture.pixels.insert(picture.pixels.end(),
                                  {std::uint8_t(column), std::uint8_t(row), 7});
    return picture;
}

std::vector<std::uint8_t> Compose(const PackedPicture& picture, int counter, MaskKind kind) {
    std::vector<std::uint8_t> frame(picture.pixels.size(), 0);
    ComposeFrame(picture, counter, kind, frame);
    return frame;
}

TEST(ComposeFrame, CounterZeroOrLessIsBlackAndTenOrMoreIsTheWholePicture) {
    const PackedPicture picture = Numbered(24, 13);
    for (MaskKind kind : {MaskKind::Diagonal, MaskKind::Grid, MaskKind::Rows, MaskKind::Columns}) {
        for (int counter : {-6, -1, 0})
            EXPECT_EQ(Compose(picture, counter, kind), std::vector<std::uint8_t>(24 * 13 * 3, 0));
        for (int counter : {10, 15, 21}) {
            const auto frame = Compose(picture, counter, kind);
            EXPECT_EQ(frame, picture.pixels);  // the whole picture, top row first
        }
    }
}

TEST(ComposeFrame, RowsCountFromTheBottomOfTheScreen) {
    const PackedPicture picture = Numbered(12, 23);
    // Rows with counter 1: rows j (from the bottom) with j mod 11 in {0, 1}
    // show; the frame's rows are top-down like the picture's.
    const auto frame = Compose(picture, 1, MaskKind::Rows);
    for (int row = 0; row < 23; ++row) {
        const int j = 22 - row;
        const bool shows = j % 11 <= 1;
        const std::uint8_t* p = &frame[3 * (12 * row + 5)];
        EXPECT_EQ(p[2], shows ? 7 : 0) << "frame row " << row;
        if (shows) {
            EXPECT_EQ(p[1], row);
        }
    }
}

TEST(EnlargeFrame, EveryPixelBecomesABlockOfItsColour) {
    const PackedPicture picture = Numbered(5, 3);
    for (int scale : {1, 2, 3}) {
        const auto big = EnlargeFrame(picture.pixels, 5, 3, scale);
        ASSERT_EQ(big.size(), picture.pixels.size() * scale * scale);
        for (int row = 0; row < 3 * scale; ++row)
            for (int column = 0; column < 5 * scale; ++column)
                for (int b = 0; b < 3; ++b)
                    ASSERT_EQ(big[3 * (5 * scale * row + column) + b],
                              picture.pixels[3 * (5 * (row / scale) + column / scale) + b])
                        << "scale " << scale << " row " << row << " column " << column;
    }
}

TEST(TextColour, RedFollowsTheCounter) {
    struct Case {
        int counter;
        std::uint32_t colour;
    };
    for (const Case& c : {Case{0, 0xFF8080}, Case{21, 0xFF80E9}, Case{-6, 0xFF8062},
                          Case{-5, 0xFF8067}, Case{20, 0xFF80E4}, Case{1, 0xFF8085}}) {
        EXPECT_EQ(TextColour(c.counter), c.colour) << "counter " << c.counter;
    }
}

SlideshowState ShowOf(int pictures, int width, int height, bool preview) {
    SlideshowState state;
    state.preview = preview;
    state.pictureCount = pictures;
    for (int i = 0; i < pictures; ++i) state.pictures[i] = Numbered(width, height);
    state.screen = SingleScreen(1024, 768);
    return state;
}

// Advances to the next picture (the counter lands on -6 exactly then) and
// counts the ticks that took.
int TicksOfCurrentPicture(SlideshowState& state, SlideRandom& random) {
    int ticks = 0;
    do {
        AdvanceAnimation(state, random);
        ++ticks;
    } while (state.counter != -6 && ticks < 1000);
    return ticks;
}

TEST(AdvanceAnimation, FirstPictureLasts48TicksAndEveryLaterOne54) {
    SlideshowState state = ShowOf(3, 336, 256, false);
    SlideRandom random;
    EXPECT_EQ(TicksOfCurrentPicture(state, random), 48);
    EXPECT_EQ(state.counter, -6);
    EXPECT_EQ(state.step, +1);
    for (int picture = 0; picture < 5; ++picture) {
        EXPECT_EQ(TicksOfCurrentPicture(state, random), 54);
        EXPECT_EQ(state.counter, -6);
    }
}

TEST(AdvanceAnimation, CounterClimbsTurnsAndFallsWithMasksDrawnAtEachTurn) {
    SlideshowState state = ShowOf(2, 336, 256, false);
    SlideRandom random;
    SlideRandom mirror;  // the same sequence, to predict the draws
    std::vector<int> counters;
    for (int t = 0; t < 48; ++t) {
        counters.push_back(state.counter);
        if (t <= 20) {  // until the counter first passes 20
            EXPECT_EQ(state.maskKind, MaskKind::Diagonal) << "tick " << t;
        }
        AdvanceAnimation(state, random);
    }
    std::vector<int> expected;
    for (int c = 0; c <= 21; ++c) expected.push_back(c);
    for (int c = 20; c >= -5; --c) expected.push_back(c);
    EXPECT_EQ(counters, expected);

    // Draws: the closing mask at the turn, then x, y and the opening mask.
    mirror.Next();  // the closing mask
    const int x = mirror.Next() % (1024 - 336);
    const int y = mirror.Next() % (768 - 256 - 33);
    const int opening = mirror.Next() % 4;
    EXPECT_EQ(state.currentIndex, 1);
    EXPECT_EQ(state.x, x);
    EXPECT_EQ(state.y, y);
    EXPECT_EQ(static_cast<int>(state.maskKind), opening);
}

TEST(AdvanceAnimation, SeveralMonitorsKeepTheDrawsAndPutEachPictureOnOne) {
    // The same show on one wide screen and on two monitors of the same
    // bounding box: the same masks and pictures, and the same positions
    // wherever the wide screen's position already lies on one monitor.
    SlideshowState wide = ShowOf(3, 336, 256, false);
    SlideshowState two = ShowOf(3, 336, 256, false);
    wide.screen = SingleScreen(1824, 768);
    const std::vector<ScreenRect> desktop = {{0, 0, 1024, 768}, {1024, 0, 800, 600}};
    two.screen = CoveringLayout(desktop, 1);
    SlideRandom wideRandom, twoRandom;
    int kept = 0;
    for (int picture = 0; picture < 300; ++picture) {
        TicksOfCurrentPicture(wide, wideRandom);
        TicksOfCurrentPicture(two, twoRandom);
        ASSERT_EQ(two.maskKind, wide.maskKind);
        ASSERT_EQ(two.currentIndex, wide.currentIndex);
        const bool onOne = (wide.x + 336 <= 1023 && wide.y + 256 <= 768 - 34) ||
                           (wide.x >= 1024 && wide.y + 256 <= 600 - 34);
        if (onOne) {
            ASSERT_EQ(two.x, wide.x);
            ASSERT_EQ(two.y, wide.y);
            ++kept;
        }
        const bool left = two.x + 336 <= 1023 && two.y + 256 <= 768 - 34;
        const bool right = two.x >= 1024 && two.x + 336 <= 1823 && two.y + 256 <= 600 - 34;
        ASSERT_TRUE(two.x >= 0 && two.y >= 0 && (left || right)) << two.x << "," << two.y;
    }
    EXPECT_GT(kept, 50);
    EXPECT_LT(kept, 300);  // some had to move
}

TEST(AdvanceAnimation, IndexWrapsAfterTheLastPicture) {
    SlideshowState state = ShowOf(10, 336, 256, false);
    SlideRandom random;
    std::vector<int> order;
    for (int picture = 0; picture < 12; ++picture) {
        TicksOfCurrentPicture(state, random);
        order.push_back(state.currentIndex);
    }
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 2}));
}

TEST(AdvanceAnimation, PlacementKeepsThePictureInsideAndClearOfTheText) {
    struct Case {
        int clientWidth, clientHeight, width, height;
    };
    for (const Case& c : {Case{1024, 768, 336, 256}, Case{337, 370, 336, 256},
                          Case{1920, 1080, 256, 336}, Case{640, 480, 336, 256}}) {
        SlideshowState state = ShowOf(2, c.width, c.height, false);
        state.screen = SingleScreen(c.clientWidth, c.clientHeight);
        SlideRandom random;
        for (int picture = 0; picture < 200; ++picture) {
            TicksOfCurrentPicture(state, random);
            ASSERT_GE(state.x, 0);
            ASSERT_GE(state.y, 0);
            ASSERT_LE(state.x + c.width, c.clientWidth - 1);
            ASSERT_LE(state.y + c.height, c.clientHeight - 34);
        }
    }
}

TEST(AdvanceAnimation, DrawsTakeThePictureOnTheScreenAndATooSmallScreenPlacesItAtTheCorner) {
    // The spans are the client area less the picture's size on the screen and
    // k times the margin. Narrower than the picture, or shorter than its
    // height plus the margin: no remainder can be taken, the picture goes to
    // (0, 0) and the draws go on.
    struct Case {
        int clientWidth, clientHeight, scale;
        bool xAtZero, yAtZero;
    };
    for (const Case& c : {Case{336, 768, 1, true, false}, Case{200, 100, 1, true, true},
                          Case{1024, 289, 1, false, true}, Case{0, 0, 1, true, true},
                          Case{1920, 1200, 2, false, false}, Case{1920, 1200, 3, false, false},
                          Case{1024, 768, 3, false, true}}) {
        SlideshowState state = ShowOf(2, 336, 256, false);
        state.screen = SingleScreen(c.clientWidth, c.clientHeight);
        state.screen.scale = c.scale;
        SlideRandom random;
        SlideRandom mirror;
        TicksOfCurrentPicture(state, random);
        mirror.Next();  // the closing mask
        const int x = mirror.Next(), y = mirror.Next();
        EXPECT_EQ(state.x, c.xAtZero ? 0 : x % (c.clientWidth - 336 * c.scale));
        EXPECT_EQ(state.y, c.yAtZero ? 0 : y % (c.clientHeight - (256 + 33) * c.scale));
        EXPECT_EQ(static_cast<int>(state.maskKind), mirror.Next() % 4);
    }
}

TEST(AdvanceAnimation, PreviewStaysInPlaceAndDrawsOnlyMasks) {
    SlideshowState state = ShowOf(1, 156, 116, true);
    state.x = -2;
    state.y = -2;
    SlideRandom random;
    SlideRandom mirror;
    for (int picture = 0; picture < 3; ++picture) {
        TicksOfCurrentPicture(state, random);
        EXPECT_EQ(state.currentIndex, 0);
        EXPECT_EQ(state.x, -2);
        EXPECT_EQ(state.y, -2);
        mirror.Next();                                                   // closing mask
        EXPECT_EQ(static_cast<int>(state.maskKind), mirror.Next() % 4);  // opening mask only
    }
}

}  // namespace
}  // namespace Miruton
