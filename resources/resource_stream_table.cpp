// ResourceStream over the resource table compiled into the executable.
#include "resource_stream.h"
#include "resource_table.h"

namespace Miruton {

int ResourceStream::Open(const char* name, const char* type) {
    const EmbeddedResource* resource =
        FindEmbeddedResource(name != nullptr ? name : "", type != nullptr ? type : "");
    const std::uint8_t* bytes = resource != nullptr ? resource->bytes : nullptr;
    const std::size_t size = resource != nullptr ? resource->size : 0;
    resourceHandle = resource;
    resourceData = bytes;
    SetBuffer(bytes, bytes + size);
    return static_cast<int>(size);
}

void ResourceStream::Close() {
    resourceHandle = nullptr;
    resourceData = nullptr;
}

}  // namespace Miruton
