// Files on which the picture-reading fuzz target once failed, each refused
// with a reason instead of reaching a fault in a decoder.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/imageio/image_frame.h"

namespace {

struct BadFile {
    const char* what;
    std::string bytes;
    const char* reason;
};

TEST(ImageFuzzFound, RefusedWithAReason) {
    using namespace std::string_literals;
    const BadFile files[] = {
        // stb_image's PNM header numbers overflow an int (the fuzz input
        // had 56 digits, then a comment and a short header).
        {"long width", "P5333333333333333333333333\n# seed\n5 x\xA0\x46\x6E"s, "PNM header"},
        {"long width, complete header", "P5 9999999999 3 255\n\x01\x02\x03"s, "too large"},
        {"long maximum value", "P6 1 1 4294967296\n\x01\x02\x03\x04\x05\x06"s, "PNM header"},
        // A comment ended by CR hides a long number from a reader that
        // ends comments at LF only.
        {"comment ending at CR", "P5\n#c\r99999999999\n1 1\n255\n\x01"s, "PNM header"},
        {"width beyond the limit", "P5 16385 1 255\n"s + std::string(16385, '\x80'), "too large"},
        // A DHT segment whose one table declares 472 codes: its counts run
        // past the end of the file, where stb_image read zeros, and stb
        // wrote past its 257-byte size list (JPEG files now go to
        // libjpeg-turbo).
        {"Huffman counts past the end", "\xFF\xD8\xFF\xC4\xA2\x05\x01\xFF\xD9"s, "corrupt or truncated image"},
        // The same behind fill bytes in front of the SOI marker, which
        // stb_image skipped; a JPEG file must now start with SOI.
        {"Huffman table after fill bytes", "\xFF\xFF\xD8\xFF\xC4\x01\xA2\x00\x27\xFF"s, "unsupported file type"},
        // A BMP with a header size of 0: the cut-off check read the
        // 40-byte header's fields past the end of the 23-byte file.
        {"BMP header size 0",
         "\x42\x4D\x0B\x2B\x0D\x07\x15\x15\x0E\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x46"
         "\x54\x54\x0E"s,
         "unsupported file type"},
        // The same with the counts running past the segment into the next
        // one (a 3-byte segment; its table's counts come from what follows).
        // A PNG whose first IDAT chunk is empty: stb_image copied it into
        // its compressed-data buffer before it had one (a null pointer).
        // Its header's checksum is wrong.
        {"empty first IDAT",
         "\x89\x50\x4E\x47\x0D\x0A\x1A\x0A\x00\x00\x00\x0D\x49\x48\x44\x52\x00\x00\x00\x05"
         "\x00\x00\x00\x03\x08\x00\x00\x00\x00\x0E\x00\x00\x00\x00\x00\x00\x00\x49\x44\x41"
         "\x54\x78\x5E\x63\x64\xD0\x00\x02\x4E\x39\x10\xC9\x02\x26\x01\x14\x98\x02\x73\x59"
         "\x9B\xA4\xC5\x00\x00\x00\x00\x49\x45\x4E\x44\xAE\x42\x60\x82"s,
         "corrupt or truncated image"},
        // A 99-byte PNG whose second IDAT chunk claims 1 GB: stb_image
        // grew its buffer to 2 GB before finding the bytes missing.
        {"PNG chunk longer than the file",
         "\x89\x50\x4E\x47\x0D\x0A\x1A\x0A\x00\x00\x00\x0D\x49\x48\x44\x52\x00\x00\x00\x05"
         "\x00\x00\x00\x03\x08\x06\x00\x00\x00\x5B\x36\xC5\xF8\x00\x00\x00\x1D\x49\x44\x41"
         "\x54\x78\x5E\x63\x64\x88\x01\x00\x00\x6F\x06\x18\xDD\x16\xFC\x0A\xC1\x10\xEC\x79"
         "\xE6\x30\x0B\x5D\x10\x00\xA2\x68\x0D\x20\x85\xE1\x9F\xF8\x40\x00\xFF\x1D\x49\x44"
         "\x41\x54\x78\x5E\x63\x2C\x88\x01\x00\x00\x6F\x49\x45\x4E\x44\xAE\x42\x60\x82"s,
         "corrupt or truncated image"},
        // A 55-byte BMP of 16133 x 14593 pixels with compression
        // 0xFFFFFFFF, which stb_image reads as plain rows: the cut-off
        // check let it through, and stb_image decoded 700 MB of zeros. Its
        // header is now enough to refuse it.
        {"BMP of unknown compression cut off",
         "\x42\x4D\x82\x00\x00\x00\x00\x00\x00\x00\x76\x00\x00\x00\x28\x00\x00\x00\x05\x3F"
         "\x00\x00\x01\x39\x00\x00\x01\x00\x04\x00\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x05\x3F\x00"
         "\xA0\xE4\x02\x00\x40\x61\x00\x00\x00\x10\x00\x00\x29\x8D\x00"s,
         "too large"},
        // A 67-byte BMP of 14671 x 4289 pixels at 12801 bits a pixel, which
        // stb_image read as 4 bytes a pixel past the end of the file: 550 MB
        // of zeros and 13 s under the sanitizers.
        {"BMP of an unknown depth",
         "\x42\x4D\x7E\x00\x00\x47\x00\x00\x00\x00\x43\x00\x00\x00\x7C\x00\x00\x00\x4F\x39"
         "\x00\x00\xC1\x10\x00\x00\x01\x00\x01\x32\x00\x5B\xF6\xFF\xFF\xFF\xFF\x00\xFF\xFF"
         "\xFF\xFF\xFF\xFF\x54\x00\x40\x01\x00\x08\x09\x09\x09\x09\x32\x20\x33\x00\x00\x00"
         "\x02\x00\x00\xA0\xFA\x00\x6E"s,
         "bits a pixel"},
        // A 1-bit BMP of 1.7 billion x 262143 pixels and no palette: the
        // check of its indices walked them all.
        {"BMP without palette, far too wide",
         "\x42\x4D\x7E\x00\x00\x00\x00\x00\x00\x00\x3D\x00\x00\x00\x28\x00\x00\x00\xFB\x01"
         "\x62\x64\xFF\xFF\x03\x00\x00\x00\x01\x00\x20\x00\x03\x00\x00\x00\x3C\x00\x00\x00"
         "\x13\x0B\x00\x2A\x00\x55\x01\x8F\x00\x00\xFB\x01\xFF\xE0\x4A\x98\x99"s,
         "corrupt or truncated image"},
        {"Huffman counts past the segment",
         "\xFF\xD8\xFF\xC4\x00\x03\x00\xFF\xFE\x00\x10\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"s,
         "corrupt or truncated image"},
    };
    for (const BadFile& f : files) {
        // Exactly the file's bytes on the heap, so that the sanitizers see
        // any read past them.
        const std::vector<uint8_t> bytes(f.bytes.begin(), f.bytes.end());
        ImageFrame frame;
        std::string error;
        EXPECT_FALSE(decodeImageFrame(bytes.data(), bytes.size(), frame, error)) << f.what;
        EXPECT_NE(error.find(f.reason), std::string::npos) << f.what << ": " << error;
    }
}

// The stricter header reading still takes sound headers: comments ended by
// CR or LF, 16-bit samples.
TEST(ImageFuzzFound, SoundPnmHeadersStillRead) {
    using namespace std::string_literals;
    const std::string files[] = {
        "P5\n# made by hand\r2 1\n255\n\x10\x20"s,
        "P5 2 1 65535\n\x10\x00\x20\x00"s,
        "P6\n2 1\n255\n\x01\x02\x03\x04\x05\x06"s,
    };
    for (const std::string& bytes : files) {
        ImageFrame frame;
        std::string error;
        ASSERT_TRUE(decodeImageFrame(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), frame, error))
            << error;
        EXPECT_EQ(frame.width, 2);
        EXPECT_EQ(frame.height, 1);
    }
}

// A corrupt JPEG whose entropy-coded data drove stb_image's bit reader to
// shift by 32 bits: read or refused, it must not touch memory outside its
// buffers.
TEST(ImageFuzzFound, CorruptJpegScanIsReadWithinBounds) {
    using namespace std::string_literals;
    const std::string file =
        "\xFF\xD8\xFF\xC0\x00\x11\x08\x00\x03\x00\x05\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01\xFF\xC4\x01"
        "\xA2\x00\x00\x01\x05\x01\x01\x01\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x01\x02\x03\x04\x05"
        "\x06\x07\x08\x09\x0A\x0B\x10\x00\x02\x01\x03\x03\x02\x04\x03\x05\x05\x04\x04\x00\x00\x01\x7D\x01"
        "\x02\x03\x00\x04\x11\x05\x12\x21\x31\x41\x06\x13\x51\x61\x07\x22\x71\x14\x32\x81\x91\xA1\x08\x23"
        "\x42\xB1\xC1\x15\x52\xD1\xF0\x24\x33\x62\x72\x82\x09\x0A\x16\x17\x18\x19\x1A\x25\x26\x27\x28\x29"
        "\x2A\x34\x35\x36\x37\x38\x39\x3A\x43\x44\x45\x46\x47\x48\x49\x4A\x53\x54\x55\x56\x57\x58\x59\x5A"
        "\x63\x64\x65\x66\x67\x68\x69\x6A\x73\x74\x75\x76\x77\x78\x79\x7A\x83\x84\x85\x86\x87\x88\x89\x8A"
        "\x92\x93\x94\x95\x96\x97\x98\x99\x9A\xA2\xA3\xA4\xA5\xA6\xA7\xA8\xA9\xAA\xB2\xB3\xB4\xB5\xB6\xB7"
        "\xB8\xB9\xBA\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xC9\xCA\xD2\xD3\xD4\xD5\xD6\xD7\xD8\xD9\xDA\xE1\xE2\xE3"
        "\xE4\xE5\xE6\xE7\xE8\xE9\xEA\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\xFA\x01\x00\x03\x01\x01\x01\x01"
        "\x01\x01\x01\x01\x01\x00\x00\x00\x00\x00\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x11\x00"
        "\x02\x01\x02\x04\x04\x03\x04\x07\x05\x04\x04\x00\x01\x02\x77\xFF\x74\x75\x76\xF5\x9F\xD9\xDB\xC4"
        "\x9E\x00\x00\x00\x0E\xDF\xEC\x28\xC6\x01\xC7\xCB\xD3\x24\xE7\x85\xFF\x00\x86\xBE\xF8\xA9\xFF\x00"
        "\xFA\xFF\xDA\x00\x0C\x00\x3F\x00\x2C\xB6\xFE\xBC\x12\x80\x3F\xFF\xD9\xE3\xE4\xE5\xE6\xE7\xE8\xE9"
        "\xEA\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\xFA\xFF\xDA\x00\x0C\x03\x01\xA2\x02\x11\x03\x11\x00\x3F\x00"
        "\xF3\x10\xF5\xA9\xFF\x00\xFA\xFF\xDA\x00\x0C\x00\x2C\xB6\xFE\xFF\xD9\x10\xF5\x9F\xD9\xDB\xC4\x9E"
        "\x00\x00\x00\x0E\xDF\xEC\x28\xC6\x01\xC7\xCB\xD3\x24\xE7\x85\xFF\x00\x86\xBE\xF8\xA9\xFF\x00\xFA"
        "\xFF\xDA\x00\x0C\x00\x3F\x00\x2C\xB6\xFE\xBC\x12\x80\x3F\xFF\xD9\xE3\xE4\xE5\xE6\xE7\xE8\xE9\xEA"
        "\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\xFA\xFF\xDA\x00\x0C\x03\x01\x00\x02\x11\x03\x11\x00\x3F\x00\xF3"
        "\x10\xF5\xA9\xFF\x00\xFA\xFF\xD9"s;
    const std::vector<uint8_t> bytes(file.begin(), file.end());
    ImageFrame frame;
    std::string error;
    if (decodeImageFrame(bytes.data(), bytes.size(), frame, error)) {
        EXPECT_EQ(frame.rowBytes(), static_cast<size_t>(frame.stride) * static_cast<size_t>(frame.height));
    } else {
        EXPECT_FALSE(error.empty());
    }
}

std::string readSample(const std::string& name) {
    std::ifstream in(std::string(TESSAREAD_SOURCE_DIR) + "/samples/frames/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool decodes(const std::string& bytes, std::string& error) {
    ImageFrame frame;
    return decodeImageFrame(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), frame, error);
}

// Empty IDAT chunks are legal anywhere, also in front of the first one
// with data (refused while stb_image read PNG files).
TEST(ImageFuzzFound, EmptyPngDataChunksStillRead) {
    const std::string png = readSample("hello-upright.png");
    const size_t type = png.find("IDAT");
    ASSERT_NE(type, std::string::npos);
    const size_t start = type - 4;
    const size_t length = static_cast<uint8_t>(png[start]) << 24 | static_cast<uint8_t>(png[start + 1]) << 16 |
                          static_cast<uint8_t>(png[start + 2]) << 8 | static_cast<uint8_t>(png[start + 3]);
    const std::string emptyChunk("\0\0\0\0IDAT\x35\xAF\x06\x1E", 12);
    for (const size_t at : {start, start + 12 + length}) {
        std::string file = png;
        file.insert(at, emptyChunk);
        std::string error;
        EXPECT_TRUE(decodes(file, error)) << at << ": " << error;
    }
}

}  // namespace
