#include "slideshow/picture_loading.h"

#include <gtest/gtest.h>

#include <vector>

#include "image/raster_image.h"
#include "jpeg/jpeg_decoder.h"
#include "slideshow/animation.h"
#include "slideshow/show_tick.h"

namespace Miruton {
namespace {

SlideshowState Loaded(int clientWidth, int clientHeight, bool preview) {
    SlideshowState state;
    state.preview = preview;
    ResourcePictureSource source;
    LoadPictures(state, clientWidth, clientHeight, source);
    return state;
}

TEST(LoadPictures, FullScreenLoadsTheTenPicturesInShowOrder) {
    const SlideshowState state = Loaded(1024, 768, false);
    ASSERT_EQ(state.pictureCount, 10);
    EXPECT_EQ(state.pictures[0].width, 256);  // the one portrait picture comes first
    EXPECT_EQ(state.pictures[0].height, 336);
    for (int i = 1; i < 10; ++i) {
        EXPECT_EQ(state.pictures[i].width, 336) << i;
        EXPECT_EQ(state.pictures[i].height, 256) << i;
        EXPECT_EQ(state.pictures[i].pixels.size(), 258048u) << i;
    }
}

TEST(LoadPictures, PackedBytesAreTheDecodedPixelsWithoutAlpha) {
    const SlideshowState state = Loaded(1024, 768, false);
    Tessera::JpegDecoder decoder;
    for (int i = 0; i < 10; ++i) {
        ResourceStream stream;
        stream.Open(std::string(kPictureNames[i]).c_str(), "JPEG");
        Tessera::RasterImage image;
        decoder.DecodeStream(stream, image);
        const PackedPicture& packed = state.pictures[i];
        const std::size_t count = static_cast<std::size_t>(image.Width()) * image.Height();
        ASSERT_EQ(packed.pixels.size(), 3 * count);
        // Every pixel: the library's strict Bgr decode is the saver's decoder.
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint32_t pixel = image.Pixels()[k];
            ASSERT_EQ(packed.pixels[3 * k], pixel & 0xFF) << "blue of pixel " << k;
            ASSERT_EQ(packed.pixels[3 * k + 1], (pixel >> 8) & 0xFF) << "green of pixel " << k;
            ASSERT_EQ(packed.pixels[3 * k + 2], (pixel >> 16) & 0xFF) << "red of pixel " << k;
        }
    }
}

TEST(LoadPictures, PreviewLoadsOnlyThePreviewPicture) {
    SlideshowState state = Loaded(152, 112, true);
    EXPECT_EQ(state.pictureCount, 1);
    EXPECT_EQ(state.pictures[0].width, 156);
    EXPECT_EQ(state.pictures[0].height, 116);
    for (int i = 1; i < 10; ++i) EXPECT_TRUE(state.pictures[i].pixels.empty()) << i;
    EXPECT_EQ(state.x, -2);
    EXPECT_EQ(state.y, -2);
    ReleasePictures(state);
    EXPECT_TRUE(state.pictures[0].pixels.empty());
}

TEST(LoadPictures, CentringTruncatesEachHalfOnItsOwn) {
    struct Case {
        int clientWidth, clientHeight, x, y;
    };
    // Picture 0 is 256 × 336.
    for (const Case& c : {Case{1024, 768, 384, 216}, Case{1023, 767, 383, 215},
                          Case{1921, 1081, 832, 372}, Case{255, 335, -1, -1}}) {
        const SlideshowState state = Loaded(c.clientWidth, c.clientHeight, false);
        EXPECT_EQ(state.x, c.x) << c.clientWidth;
        EXPECT_EQ(state.y, c.y) << c.clientHeight;
    }
}

// A source that serves broken data for one name and counts its calls.
class BrokenPictureSource : public PictureSource {
  public:
    explicit BrokenPictureSource(std::string_view brokenName) : broken(brokenName) {}
    std::span<const std::uint8_t> Open(std::string_view name) override {
        ++opens;
        if (name != broken) return real.Open(name);
        return garbage;
    }
    void Close() override {
        ++closes;
        real.Close();
    }
    int opens = 0, closes = 0;

  private:
    std::string_view broken;
    ResourcePictureSource real;
    const std::vector<std::uint8_t> garbage = {0xFF, 0xD8, 0xFF, 0xE1, 0, 2};
};

TEST(LoadPictures, APictureThatCannotBeDecodedEndsTheLoadingWithItsError) {
    SlideshowState state;
    BrokenPictureSource source("JPEG3");
    try {
        LoadPictures(state, 1024, 768, source);
        FAIL() << "a broken picture loaded";
    } catch (const Tessera::JpegDecoder::JpegBadStream& e) {
        EXPECT_STREQ(e.what(), "Missing JFIF APP0 Marker");
    }
    EXPECT_EQ(source.opens, 3);
    EXPECT_EQ(source.closes, 3);  // the broken one is closed too
    EXPECT_EQ(state.pictures[1].width, 336);
    ReleasePictures(state);
    EXPECT_TRUE(state.pictures[1].pixels.empty());
}

TEST(PlanTick, FullScreenDrawsTheTextAndPreviewDoesNot) {
    SlideshowState show = Loaded(1024, 768, false);
    TickDrawing drawing = PlanTick(show);
    EXPECT_TRUE(drawing.drawText);
    EXPECT_EQ(drawing.textX, 1024 - 250);
    EXPECT_EQ(drawing.textY, 768 - 32);
    EXPECT_EQ(drawing.text.size(), 27u);
    EXPECT_EQ(drawing.textColour, 0xFF8080u);  // counter 0
    EXPECT_EQ(drawing.frame, std::vector<std::uint8_t>(3 * 256 * 336, 0));
    EXPECT_EQ(drawing.x, 384);
    EXPECT_EQ(drawing.width, 256);
    EXPECT_EQ(drawing.height, 336);

    SlideshowState preview = Loaded(152, 112, true);
    preview.counter = 12;
    drawing = PlanTick(preview);
    EXPECT_FALSE(drawing.drawText);
    EXPECT_EQ(drawing.width, 156);
    EXPECT_EQ(drawing.frame, preview.pictures[0].pixels);  // the whole picture
}

TEST(PlanTick, AtScaleTwoEverythingDoublesAndThePreviewStaysUnscaled) {
    ScreenLayout screen = SingleScreen(1024, 768);
    screen.scale = 2;
    SlideshowState show;
    ResourcePictureSource source;
    LoadPictures(show, screen, source);
    show.counter = 3;
    show.maskKind = MaskKind::Grid;
    const TickDrawing drawing = PlanTick(show);
    EXPECT_EQ(drawing.scale, 2);
    EXPECT_EQ(drawing.width, 512);
    EXPECT_EQ(drawing.height, 672);
    EXPECT_EQ(drawing.x, 256);  // 512 - 256 and 384 - 336: centred at twice the size
    EXPECT_EQ(drawing.y, 48);
    EXPECT_EQ(drawing.textX, 1024 - 500);
    EXPECT_EQ(drawing.textY, 768 - 64);
    std::vector<std::uint8_t> small(3 * 256 * 336, 0);
    ComposeFrame(show.pictures[0], 3, MaskKind::Grid, small);
    EXPECT_EQ(drawing.frame, EnlargeFrame(small, 256, 336, 2));  // the mask's cells grow too

    SlideshowState preview;
    preview.preview = true;
    LoadPictures(preview, CoveringLayout(std::vector<ScreenRect>{{0, 0, 152, 112}}, 2), source);
    EXPECT_EQ(preview.screen.scale, 1);
    EXPECT_EQ(PlanTick(preview).width, 156);
    EXPECT_EQ(preview.x, -2);
}

}  // namespace
}  // namespace Miruton
