#include "resource_table.h"

#include <algorithm>

namespace Miruton {

namespace {

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return UpperAscii(x) == UpperAscii(y);
           });
}

}  // namespace

const EmbeddedResource* FindEmbeddedResource(std::string_view name, std::string_view type) {
    for (const EmbeddedResource& resource : EmbeddedResources())
        if (SameName(resource.name, name) && SameName(resource.type, type)) return &resource;
    return nullptr;
}

}  // namespace Miruton
