#include "slideshow/show.h"

#include <gtest/gtest.h>

#include <vector>

namespace Miruton {
namespace {

// The embedded pictures, counting how many times one is opened.
class CountingPictureSource : public PictureSource {
  public:
    std::span<const std::uint8_t> Open(std::string_view name) override {
        ++opens;
        return real.Open(name);
    }
    void Close() override { real.Close(); }
    int opens = 0;

  private:
    ResourcePictureSource real;
};

ScreenLayout Scaled(ScreenLayout layout, int scale) {
    layout.scale = scale;
    return layout;
}

TEST(Show, LaidOutAgainItDecodesNothingAndPlaysAsAShowMadeForTheNewScreen) {
    struct Case {
        const char* what;
        ScreenLayout first, second;
        bool preview;
        int pictures;
    };
    const std::vector<ScreenRect> two = {{0, 0, 1280, 1024}, {-1024, 0, 1024, 768}};
    const Case cases[] = {
        {"a window grows", SingleScreen(640, 480), SingleScreen(1024, 768), false, 10},
        {"a window shrinks below a picture", SingleScreen(1024, 768), SingleScreen(300, 200), false,
         10},
        {"one screen to two monitors at scale 2", SingleScreen(800, 600), CoveringLayout(two, 2),
         false, 10},
        {"scale 3 to scale 1", Scaled(SingleScreen(1920, 1080), 3), SingleScreen(1920, 1080), false,
         10},
        {"the preview", SingleScreen(152, 112), Scaled(SingleScreen(200, 150), 2), true, 1},
    };
    // Past the first picture's 48 ticks: positions and masks have been drawn.
    constexpr int kTicksBefore = 70, kTicksCompared = 130;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CountingPictureSource source;
        const int decodedBefore = PicturesDecoded();
        Show show(c.first, source, c.preview);
        EXPECT_EQ(source.opens, c.pictures);
        EXPECT_EQ(PicturesDecoded(), decodedBefore + c.pictures);
        for (int t = 0; t < kTicksBefore; ++t) show.AdvanceAnimation();

        show.LayOut(c.second);
        EXPECT_EQ(source.opens, c.pictures);
        EXPECT_EQ(PicturesDecoded(), decodedBefore + c.pictures);

        ResourcePictureSource freshSource;
        Show fresh(c.second, freshSource, c.preview);
        for (int t = 0; t < kTicksCompared; ++t) {
            ASSERT_EQ(show.PlanTick(), fresh.PlanTick()) << "tick " << t;
            ASSERT_EQ(show.State().step, fresh.State().step) << "tick " << t;
            show.AdvanceAnimation();
            fresh.AdvanceAnimation();
        }
    }
}

}  // namespace
}  // namespace Miruton
