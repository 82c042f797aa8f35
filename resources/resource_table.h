#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace Miruton {

// A resource compiled into a native executable: the same name, type and bytes
// that the Windows build puts into the module's resources.
struct EmbeddedResource {
    const char* name;
    const char* type;
    const std::uint8_t* bytes;
    std::size_t size;
};

// The executable's own table, generated at build time from its resource list
// (cmake/TesseraResources.cmake); every executable that opens resources links one.
std::span<const EmbeddedResource> EmbeddedResources();

// The entry with this name and type, compared without regard to case as
// Windows compares resource names; null when there is none.
const EmbeddedResource* FindEmbeddedResource(std::string_view name, std::string_view type);

}  // namespace Miruton
