#include "source_pictures.h"

#include <stb/stb_image.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <set>

#include "bench_error.h"

namespace TesseraBench {

namespace {

std::size_t SampleIndex(int x, int y, int width) {
    return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
            static_cast<std::size_t>(x)) *
           3;
}

// Where along one axis of the source a position of the fitted picture comes from.
int SourcePosition(int position, int fittedSize, int sourceSize) {
    if (sourceSize >= fittedSize) return (sourceSize - fittedSize) / 2 + position;
    const int period = 2 * sourceSize;
    const int phase = position % period;
    return phase < sourceSize ? phase : period - 1 - phase;
}

// --- value noise for the generated picture ---

// A pseudo-random value in [0, 1) for a lattice point.
double LatticeValue(int x, int y, std::uint32_t seed) {
    std::uint32_t hash = static_cast<std::uint32_t>(x) * 374761393u +
                         static_cast<std::uint32_t>(y) * 668265263u + seed * 2246822519u;
    hash = (hash ^ (hash >> 13)) * 1274126177u;
    hash ^= hash >> 16;
    return static_cast<double>(hash & 0xFFFFFF) / 0x1000000;
}

// Smoothly interpolated lattice values: soft blobs about one unit across.
double ValueNoise(double x, double y, std::uint32_t seed) {
    const double floorX = std::floor(x), floorY = std::floor(y);
    const int x0 = static_cast<int>(floorX), y0 = static_cast<int>(floorY);
    const double fx = x - floorX, fy = y - floorY;
    const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const double top = std::lerp(LatticeValue(x0, y0, seed), LatticeValue(x0 + 1, y0, seed), sx);
    const double bottom =
        std::lerp(LatticeValue(x0, y0 + 1, seed), LatticeValue(x0 + 1, y0 + 1, seed), sx);
    return std::lerp(top, bottom, sy);
}

// Four octaves of value noise, in [0, 1): detail at every scale, as in nature.
double FractalNoise(double x, double y, std::uint32_t seed) {
    double sum = 0, amplitude = 0.5;
    for (int octave = 0; octave < 4; ++octave) {
        sum += amplitude * ValueNoise(x, y, seed + static_cast<std::uint32_t>(octave));
        x *= 2;
        y *= 2;
        amplitude /= 2;
    }
    return sum / (1 - amplitude * 2);
}

struct Colour {
    double red, green, blue;
};

Colour Mix(Colour a, Colour b, double t) {
    return {std::lerp(a.red, b.red, t), std::lerp(a.green, b.green, t),
            std::lerp(a.blue, b.blue, t)};
}

// The scene at (u, v), both in picture heights from the top left corner.
Colour SceneColour(double u, double v, std::uint32_t seed) {
    const double phase = seed * 1.7;
    const double horizon =
        0.55 + 0.06 * std::sin(3.1 * u + phase) + 0.08 * (FractalNoise(u * 2, 0.5, seed) - 0.5);
    const double sunU = 0.3 + 0.4 * LatticeValue(1, 1, seed), sunV = 0.22;
    const double sunDistance = std::hypot(u - sunU, v - sunV);
    if (v < horizon) {
        Colour sky = Mix({70, 120, 215}, {200, 215, 235}, v / horizon);
        if (sunDistance < 0.07) return {255, 236, 170};  // a hard-edged sun
        const double cloud = FractalNoise(u * 3, v * 7, seed + 10);
        if (cloud > 0.55) sky = Mix(sky, {245, 245, 250}, std::min(1.0, (cloud - 0.55) * 5));
        return sky;
    }
    // Fields: broad patches of green and ochre, fine grass texture, darker
    // towards the bottom, and hard-edged dark stones.
    const double patch = FractalNoise(u * 2.5, v * 2.5, seed + 20);
    Colour ground = Mix({60, 125, 45}, {170, 140, 70}, std::clamp((patch - 0.35) * 3, 0.0, 1.0));
    const double grass = FractalNoise(u * 60, v * 90, seed + 30) - 0.5;
    const double shade = 1.0 - 0.45 * (v - horizon) / std::max(0.1, 1.0 - horizon);
    ground = {ground.red * (shade + grass * 0.5), ground.green * (shade + grass * 0.6),
              ground.blue * (shade + grass * 0.4)};
    if (ValueNoise(u * 12, v * 12, seed + 40) > 0.82) ground = Mix(ground, {50, 50, 55}, 0.8);
    return ground;
}

std::uint8_t ToSample(double value) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

}  // namespace

RgbPicture LoadPicture(const std::filesystem::path& file) {
    int width = 0, height = 0, channels = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load(file.c_str(), &width, &height, &channels, 3), stbi_image_free);
    if (!pixels) {
        const char* reason = stbi_failure_reason();
        throw BenchError("cannot read photo " + file.string() + ": " +
                         (reason != nullptr ? reason : "unknown reason"));
    }
    RgbPicture picture{width, height, {}};
    picture.samples.assign(pixels.get(), pixels.get() + SampleIndex(0, height, width));
    return picture;
}

RgbPicture FitByMirroring(const RgbPicture& source, int width, int height) {
    RgbPicture fitted{width, height, {}};
    fitted.samples.resize(SampleIndex(0, height, width));
    for (int y = 0; y < height; ++y) {
        const int sourceY = SourcePosition(y, height, source.height);
        for (int x = 0; x < width; ++x) {
            const int sourceX = SourcePosition(x, width, source.width);
            std::copy_n(&source.samples[SampleIndex(sourceX, sourceY, source.width)], 3,
                        &fitted.samples[SampleIndex(x, y, width)]);
        }
    }
    return fitted;
}

RgbPicture GeneratedPicture(int width, int height, std::uint32_t seed) {
    RgbPicture picture{width, height, {}};
    picture.samples.resize(SampleIndex(0, height, width));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Colour colour = SceneColour(double(x) / height, double(y) / height, seed);
            std::uint8_t* pixel = &picture.samples[SampleIndex(x, y, width)];
            pixel[0] = ToSample(colour.red);
            pixel[1] = ToSample(colour.green);
            pixel[2] = ToSample(colour.blue);
        }
    }
    return picture;
}

void WritePpm(const RgbPicture& picture, const std::filesystem::path& file) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << "P6\n" << picture.width << ' ' << picture.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(picture.samples.data()),
              static_cast<std::streamsize>(picture.samples.size()));
    out.close();
    if (!out) throw BenchError("cannot write " + file.string());
}

std::filesystem::path WriteSourcePicture(const std::filesystem::path& directory,
                                         const std::filesystem::path& photo, int width,
                                         int height) {
    const std::filesystem::path source =
        directory / ("photo-" + std::to_string(width) + "x" + std::to_string(height) + ".ppm");
    // Made once per run of the benchmark (a kept directory may hold one of an
    // earlier run, from other photos).
    static std::set<std::filesystem::path> written;
    if (written.contains(source)) return source;
    const RgbPicture picture = photo.empty() ? GeneratedPicture(width, height, 3)
                                             : FitByMirroring(LoadPicture(photo), width, height);
    WritePpm(picture, source);
    written.insert(source);
    return source;
}

}  // namespace TesseraBench
