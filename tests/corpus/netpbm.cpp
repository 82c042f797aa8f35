#include "netpbm.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace TesseraTest {

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

std::optional<Picture> ReadNetpbm(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    std::size_t pos = 0;
    // Header: magic, width, height, maxval, separated by white space, then one
    // white-space byte before the samples.
    auto nextToken = [&]() -> std::string {
        while (pos < bytes.size() && std::isspace(bytes[pos])) ++pos;
        std::string token;
        while (pos < bytes.size() && !std::isspace(bytes[pos]))
            token += static_cast<char>(bytes[pos++]);
        return token;
    };
    const std::string magic = nextToken();
    if (magic != "P6" && magic != "P5") return std::nullopt;
    Picture picture;
    picture.channels = magic == "P6" ? 3 : 1;
    try {
        picture.width = std::stoi(nextToken());
        picture.height = std::stoi(nextToken());
        if (std::stoi(nextToken()) != 255) return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    ++pos;
    const std::size_t size =
        static_cast<std::size_t>(picture.width) * picture.height * picture.channels;
    if (pos + size > bytes.size()) return std::nullopt;
    picture.samples.assign(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                           bytes.begin() + static_cast<std::ptrdiff_t>(pos + size));
    return picture;
}

bool WritePpm(const std::string& path, const Picture& picture) {
    std::ostringstream header;
    header << (picture.channels == 3 ? "P6" : "P5") << "\n"
           << picture.width << " " << picture.height << "\n255\n";
    std::vector<std::uint8_t> bytes;
    const std::string text = header.str();
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.insert(bytes.end(), picture.samples.begin(), picture.samples.end());
    return WriteFileBytes(path, bytes);
}

}  // namespace TesseraTest
