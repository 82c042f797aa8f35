#include "row_converter.h"

#include <algorithm>

#include "jpeg_component.h"

namespace Tessera {

namespace {

// libjpeg's colour equations in fixed point with 16 fraction bits: each
// constant is the coefficient × 65536 rounded, each product rounded by
// adding one half before the arithmetic shift.
constexpr int kFractionBits = 16;
constexpr std::int32_t kHalf = 1 << (kFractionBits - 1);
constexpr std::int32_t Fixed(double x) {
    return static_cast<std::int32_t>(x * (1 << kFractionBits) + 0.5);
}

struct YccTables {
    std::array<int, 256> redFromCr{};   // 1.402 × (Cr − 128), rounded
    std::array<int, 256> blueFromCb{};  // 1.772 × (Cb − 128), rounded
    // The green terms stay in fixed point and are added before rounding;
    // the one half rides in the Cb term.
    std::array<std::int32_t, 256> greenFromCb{};  // −0.34414 × (Cb − 128) + ½
    std::array<std::int32_t, 256> greenFromCr{};  // −0.71414 × (Cr − 128)
};

constexpr YccTables MakeYccTables() {
    YccTables t;
    for (int i = 0; i < 256; ++i) {
        const std::int32_t k = i - 128;
        t.redFromCr[i] = (Fixed(1.40200) * k + kHalf) >> kFractionBits;
        t.blueFromCb[i] = (Fixed(1.77200) * k + kHalf) >> kFractionBits;
        t.greenFromCb[i] = -Fixed(0.34414) * k + kHalf;
        t.greenFromCr[i] = -Fixed(0.71414) * k;
    }
    return t;
}

constinit const YccTables kYcc = MakeYccTables();

constexpr std::uint8_t Clamp(int v) {
    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

struct Rgb {
    std::uint8_t r, g, b;
};

inline Rgb RgbOfYcc(int y, std::uint8_t cb, std::uint8_t cr) {
    return {Clamp(y + kYcc.redFromCr[cr]),
            Clamp(y + ((kYcc.greenFromCb[cb] + kYcc.greenFromCr[cr]) >> kFractionBits)),
            Clamp(y + kYcc.blueFromCb[cb])};
}

constexpr std::uint32_t PackBgra(Rgb c) {
    return 0xFF000000u | std::uint32_t{c.r} << 16 | std::uint32_t{c.g} << 8 | c.b;
}

// BT.601 luma as libjpeg weighs it: 0.299, 0.587 and 0.114 in 16 fraction bits.
constexpr std::uint8_t Luma(Rgb c) {
    return static_cast<std::uint8_t>(
        (Fixed(0.29900) * c.r + Fixed(0.58700) * c.g + Fixed(0.11400) * c.b + kHalf) >>
        kFractionBits);
}

// Adobe files store inks inverted (255: none), so a colour is ink × K / 255,
// rounded to nearest: (2 × ink × K + 255) / 510 (no product falls on a half).
constexpr std::uint8_t Inked(unsigned ink, unsigned black) {
    return static_cast<std::uint8_t>((2 * ink * black + 255) / 510);
}

struct Ink {
    std::uint8_t c, m, y, k;
};

constexpr Rgb RgbOfInk(Ink i) {
    return {Inked(i.c, i.k), Inked(i.m, i.k), Inked(i.y, i.k)};
}

// YCCK: Y, Cb and Cr of the inverted inks (cyan = 255 − red), and K.
inline Ink InkOfYcck(std::uint8_t y, std::uint8_t cb, std::uint8_t cr, std::uint8_t k) {
    const Rgb c = RgbOfYcc(y, cb, cr);
    return {static_cast<std::uint8_t>(255 - c.r), static_cast<std::uint8_t>(255 - c.g),
            static_cast<std::uint8_t>(255 - c.b), k};
}

}  // namespace

void RowConverter::SetUp(std::array<ComponentSetup, 4> value, unsigned n, std::size_t w,
                         std::size_t h) {
    components = std::move(value);
    count = n;
    width = w;
    height = h;
    for (unsigned i = 0; i < count; ++i) scratch[i].assign(width + 2, 0);
}

bool RowConverter::NeedsNeighbourRows() const {
    for (unsigned i = 0; i < count; ++i)
        if (components[i].upsampler.NeedsNeighbourRows()) return true;
    return false;
}

bool RowConverter::Convertible() const {
    for (unsigned i = 0; i < count; ++i)
        if (!components[i].component->Convertible()) return false;
    return count != 0;
}

void RowConverter::Gather(std::size_t y, std::size_t firstColumn, std::size_t lastColumn) {
    for (unsigned i = 0; i < count; ++i)
        rows[i] = components[i].upsampler.Row(components[i].plane, y, firstColumn, lastColumn,
                                              scratch[i].data());
}

bool RowConverter::Bgra(ColourSpace colours, std::size_t first, std::size_t last,
                        std::size_t firstColumn, std::size_t lastColumn, std::uint32_t* out) {
    if (!Convertible()) return false;
    last = std::min(last, height);
    // One loop per colour space, the choice made once per row.
    const auto each = [&](auto pixel) {
        for (std::size_t x = firstColumn; x < lastColumn; ++x) *out++ = pixel(x);
    };
    for (std::size_t y = first; y < last; ++y) {
        Gather(y, firstColumn, lastColumn);
        const std::uint8_t* c0 = rows[0];
        const std::uint8_t* c1 = rows[1];
        const std::uint8_t* c2 = rows[2];
        const std::uint8_t* c3 = rows[3];
        switch (colours) {
            case ColourSpace::Grey:
                each([&](std::size_t x) { return 0xFF000000u | c0[x] * 0x010101u; });
                break;
            case ColourSpace::YCbCr:
                each([&](std::size_t x) { return PackBgra(RgbOfYcc(c0[x], c1[x], c2[x])); });
                break;
            case ColourSpace::Rgb:
                each([&](std::size_t x) { return PackBgra({c0[x], c1[x], c2[x]}); });
                break;
            case ColourSpace::Cmyk:
                each([&](std::size_t x) {
                    return PackBgra(RgbOfInk({c0[x], c1[x], c2[x], c3[x]}));
                });
                break;
            case ColourSpace::Ycck:
                each([&](std::size_t x) {
                    return PackBgra(RgbOfInk(InkOfYcck(c0[x], c1[x], c2[x], c3[x])));
                });
                break;
        }
    }
    return true;
}

bool RowConverter::Grey(ColourSpace colours, std::size_t first, std::size_t last,
                        std::size_t firstColumn, std::size_t lastColumn, std::uint8_t* out) {
    if (colours == ColourSpace::Grey || colours == ColourSpace::YCbCr) {
        // The first component is the grey one, or Y: JFIF's luma itself.
        if (!components[0].component->Convertible()) return false;
        last = std::min(last, height);
        for (std::size_t y = first; y < last; ++y) {
            const std::uint8_t* row = components[0].upsampler.Row(
                components[0].plane, y, firstColumn, lastColumn, scratch[0].data());
            out = std::copy(row + firstColumn, row + lastColumn, out);
        }
        return true;
    }
    std::vector<std::uint32_t> pixels(lastColumn - firstColumn);
    last = std::min(last, height);
    for (std::size_t y = first; y < last; ++y) {
        if (!Bgra(colours, y, y + 1, firstColumn, lastColumn, pixels.data())) return false;
        for (const std::uint32_t p : pixels)
            *out++ = Luma({static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
                           static_cast<std::uint8_t>(p)});
    }
    return true;
}

bool RowConverter::Inks(ColourSpace colours, std::size_t first, std::size_t last,
                        std::size_t firstColumn, std::size_t lastColumn, std::uint8_t* out) {
    if (!Convertible()) return false;
    last = std::min(last, height);
    if (colours != ColourSpace::Cmyk && colours != ColourSpace::Ycck) {
        // Other pictures: their colours and no black ink.
        std::vector<std::uint32_t> pixels(lastColumn - firstColumn);
        for (std::size_t y = first; y < last; ++y) {
            Bgra(colours, y, y + 1, firstColumn, lastColumn, pixels.data());
            for (const std::uint32_t p : pixels) {
                *out++ = static_cast<std::uint8_t>(p >> 16);
                *out++ = static_cast<std::uint8_t>(p >> 8);
                *out++ = static_cast<std::uint8_t>(p);
                *out++ = 255;
            }
        }
        return true;
    }
    for (std::size_t y = first; y < last; ++y) {
        Gather(y, firstColumn, lastColumn);
        for (std::size_t x = firstColumn; x < lastColumn; ++x) {
            const Ink ink = colours == ColourSpace::Cmyk
                                ? Ink{rows[0][x], rows[1][x], rows[2][x], rows[3][x]}
                                : InkOfYcck(rows[0][x], rows[1][x], rows[2][x], rows[3][x]);
            *out++ = ink.c, *out++ = ink.m, *out++ = ink.y, *out++ = ink.k;
        }
    }
    return true;
}

}  // namespace Tessera
