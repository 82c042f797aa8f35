#pragma once

#include "jpeg/input_byte_stream.h"

namespace Miruton {

// Reads a resource of the running executable as a byte stream. The whole
// resource is mapped at Open, so Refill has nothing to add. The bytes belong
// to the executable and stay valid after Close.
//
// On Windows the resources are the module's own (FindResourceA and friends);
// elsewhere they come from a table compiled into the executable from the same
// list of resources (resources/resource_table.h).
class ResourceStream : public virtual Tessera::InputByteStream {
  public:
    ResourceStream() = default;
    ~ResourceStream() override { Close(); }

    // Looks the resource up by name and type (case-insensitive, as Windows
    // does) and makes its bytes the buffer; returns its size. A resource that
    // does not exist gives an empty buffer and 0: the decoder then reports
    // "Missing SOI Marker" for it.
    int Open(const char* name, const char* type);
    // Ends the use of the current resource; there is nothing to release.
    void Close();

  protected:
    void Refill() override {}
    bool AtEnd() override { return ReadPointer() >= BufferEnd(); }

  private:
    const void* resourceHandle = nullptr;  // HRSRC, or the table entry
    const void* resourceData = nullptr;    // HGLOBAL, or the entry's bytes
};

}  // namespace Miruton
