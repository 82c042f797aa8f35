#include "resources/resource_stream.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/raster_image.h"
#include "jpeg/jpeg_decoder.h"
#include "jpeg/memory_stream.h"

namespace {

std::vector<std::uint8_t> SourceFile(const std::string& name) {
    std::ifstream file(std::string(TESSERA_TEST_RESOURCES) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The stream exposes what a reader sees of its buffer.
class InspectableStream : public Miruton::ResourceStream {
  public:
    bool AtEndNow() { return AtEnd(); }
    void RefillNow() { Refill(); }
    std::vector<std::uint8_t> Buffer() const { return {ReadPointer(), BufferEnd()}; }
};

TEST(ResourceStream, OpenMapsExactlyTheResourceBytes) {
    struct Case {
        const char* name;
        const char* type;
        const char* file;
    };
    for (const Case& c : {Case{"BLOCK", "DATA", "block.bin"}, Case{"DAWN", "JPEG", "dawn.jpg"},
                          Case{"dawn", "jpeg", "dawn.jpg"}, Case{"Block", "Data", "block.bin"}}) {
        SCOPED_TRACE(std::string(c.name) + "/" + c.type);
        InspectableStream stream;
        const std::vector<std::uint8_t> expected = SourceFile(c.file);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(stream.Open(c.name, c.type), static_cast<int>(expected.size()));
        EXPECT_EQ(stream.Buffer(), expected);
        EXPECT_FALSE(stream.AtEndNow());
    }
    InspectableStream stream;
    EXPECT_EQ(stream.Open("BLOCK", "DATA"), 6072);
}

TEST(ResourceStream, AMissingResourceGivesAnEmptyBuffer) {
    struct Case {
        const char* name;
        const char* type;
    };
    for (const Case& c :
         {Case{"NOSUCH", "JPEG"}, Case{"DAWN", "DATA"}, Case{"", ""}, Case{"DAWN", ""}}) {
        SCOPED_TRACE(std::string(c.name) + "/" + c.type);
        InspectableStream stream;
        EXPECT_EQ(stream.Open(c.name, c.type), 0);
        EXPECT_EQ(stream.ReadPointer(), nullptr);
        EXPECT_EQ(stream.BufferEnd(), nullptr);
        EXPECT_TRUE(stream.AtEndNow());
        EXPECT_FALSE(stream.HasData());
        EXPECT_EQ(stream.ReadByte(), 0);  // nothing to read, nothing consumed
    }
}

TEST(ResourceStream, RefillAddsNothingAndAtEndFollowsTheReadPointer) {
    InspectableStream stream;
    stream.Open("BLOCK", "DATA");
    std::vector<std::uint8_t> all(6072);
    EXPECT_EQ(stream.ReadBlock(all.data(), 6071), 6071u);
    EXPECT_FALSE(stream.AtEndNow());
    EXPECT_EQ(stream.ReadByte(), 'T');
    const auto* end = stream.ReadPointer();
    EXPECT_TRUE(stream.AtEndNow());
    stream.RefillNow();
    EXPECT_EQ(stream.ReadPointer(), end);
    EXPECT_EQ(stream.BufferEnd(), end);
    EXPECT_TRUE(stream.AtEndNow());
}

TEST(ResourceStream, OpenAfterCloseGivesAFreshBufferOverTheNewResource) {
    InspectableStream stream;
    stream.Open("DAWN", "JPEG");
    stream.ReadByte();
    stream.Close();
    EXPECT_EQ(stream.Open("BLOCK", "DATA"), 6072);
    EXPECT_EQ(stream.Buffer(), SourceFile("block.bin"));
    stream.Close();
    stream.Open("DAWN", "JPEG");
    EXPECT_EQ(stream.Buffer(), SourceFile("dawn.jpg"));
}

TEST(ResourceStream, TheDecoderReadsAnEmbeddedPictureAsItReadsTheFile) {
    Tessera::JpegDecoder decoder;
    Tessera::RasterImage fromResource;
    Miruton::ResourceStream stream;
    stream.Open("DAWN", "JPEG");
    decoder.DecodeStream(stream, fromResource);
    stream.Close();

    const std::vector<std::uint8_t> bytes = SourceFile("dawn.jpg");
    Tessera::MemoryStream memory(bytes);
    Tessera::RasterImage fromFile;
    decoder.DecodeStream(memory, fromFile);

    ASSERT_EQ(fromResource.Width(), 48);
    ASSERT_EQ(fromResource.Height(), 32);
    EXPECT_TRUE(std::equal(fromFile.Pixels(), fromFile.Pixels() + 48 * 32, fromResource.Pixels()));
    // Alpha is opaque and the corners carry the gradient's two ends.
    EXPECT_EQ(fromResource.Pixels()[0] >> 24, 0xFFu);
}

TEST(ResourceStream, AMissingPictureIsReportedAsAMissingStartOfImage) {
    Tessera::JpegDecoder decoder;
    Tessera::RasterImage image;
    Miruton::ResourceStream stream;
    stream.Open("JPEGZ", "JPEG");
    try {
        decoder.DecodeStream(stream, image);
        FAIL() << "a missing resource decoded";
    } catch (const Tessera::JpegDecoder::JpegBadStream& e) {
        EXPECT_STREQ(e.what(), "Missing SOI Marker");
    }
    EXPECT_EQ(image.Width(), 0);
}

}  // namespace
