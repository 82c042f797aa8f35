// ResourceStream over the resources of the executable's own module.
#include <windows.h>

#include "resource_stream.h"

namespace Miruton {

int ResourceStream::Open(const char* name, const char* type) {
    HRSRC resource =
        FindResourceA(nullptr, name != nullptr ? name : "", type != nullptr ? type : "");
    HGLOBAL data = resource != nullptr ? LoadResource(nullptr, resource) : nullptr;
    const auto* bytes =
        static_cast<const std::uint8_t*>(data != nullptr ? LockResource(data) : nullptr);
    const DWORD size = bytes != nullptr ? SizeofResource(nullptr, resource) : 0;
    resourceHandle = resource;
    resourceData = data;
    SetBuffer(bytes, bytes + size);
    return static_cast<int>(size);
}

void ResourceStream::Close() {
    // Resource memory lives as long as the module; nothing to unlock or free.
    resourceHandle = nullptr;
    resourceData = nullptr;
}

}  // namespace Miruton
