// What one tick of the show costs: composing a 336 × 256 frame through each
// mask, and planning the whole tick (allocation, zeroing and composition).
#include <benchmark/benchmark.h>

#include "slideshow/animation.h"
#include "slideshow/show_tick.h"

namespace {

Miruton::PackedPicture Picture() {
    Miruton::PackedPicture picture{336, 256, std::vector<std::uint8_t>(3 * 336 * 256)};
    for (std::size_t i = 0; i < picture.pixels.size(); ++i)
        picture.pixels[i] = static_cast<std::uint8_t>(i * 7);
    return picture;
}

void ComposeFrame(benchmark::State& state) {
    const Miruton::PackedPicture picture = Picture();
    std::vector<std::uint8_t> frame(picture.pixels.size());
    const auto kind = static_cast<Miruton::MaskKind>(state.range(0));
    const int counter = static_cast<int>(state.range(1));
    for (auto _ : state) {
        Miruton::ComposeFrame(picture, counter, kind, frame);
        benchmark::DoNotOptimize(frame.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(frame.size()));
}
BENCHMARK(ComposeFrame)->ArgsProduct({{0, 1, 2, 3}, {5, 15}});

void PlanTick(benchmark::State& state) {
    Miruton::SlideshowState show;
    show.pictureCount = 1;
    show.pictures[0] = Picture();
    show.counter = 5;
    for (auto _ : state) benchmark::DoNotOptimize(Miruton::PlanTick(show));
}
BENCHMARK(PlanTick);

}  // namespace

BENCHMARK_MAIN();
