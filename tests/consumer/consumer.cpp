// Decodes a JPEG file with an installed Tessera, the way another program
// would: the headers, the whole picture, and the picture again row by row,
// which must agree; writes the picture as a binary PPM.
//
//   consumer INPUT.jpg OUTPUT.ppm
//
// Prints "WIDTH HEIGHT COMPONENTS" and exits 0, or prints "error CODE
// MESSAGE" and exits 1; exit 2 for usage and file trouble, 3 when the rows
// disagree with the whole picture.
#include <tessera/jpeg.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: consumer INPUT.jpg OUTPUT.ppm\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) return 2;
    const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    try {
        const Tessera::JpegInfo info = Tessera::ReadJpegInfo(file.data(), file.size());
        Tessera::DecodeOptions options;
        options.format = Tessera::PixelFormat::Rgb;
        const Tessera::Image image = Tessera::DecodeJpeg(file.data(), file.size(), options);

        Tessera::JpegReader reader(file.data(), file.size(), options);
        std::vector<std::uint8_t> rows;
        std::vector<std::uint8_t> chunk(7 * reader.RowBytes());
        while (const std::size_t n = reader.ReadRows(chunk.data(), 7))
            rows.insert(rows.end(), chunk.begin(), chunk.begin() + n * reader.RowBytes());
        if (rows != image.pixels || reader.Info().width != info.width) return 3;

        std::ofstream out(argv[2], std::ios::binary);
        out << "P6\n" << image.width << ' ' << image.height << "\n255\n";
        out.write(reinterpret_cast<const char*>(image.pixels.data()),
                  static_cast<std::streamsize>(image.pixels.size()));
        if (!out) return 2;
        std::cout << info.width << ' ' << info.height << ' ' << info.components << '\n';
        return 0;
    } catch (const Tessera::GraphicsException& error) {
        std::cout << "error " << static_cast<int>(error.Code()) << ' ' << error.what() << '\n';
    } catch (const Tessera::StreamError& error) {
        std::cout << "error " << static_cast<int>(error.Code()) << ' ' << error.what() << '\n';
    }
    return 1;
}
