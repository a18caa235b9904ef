// Files on which the picture-reading fuzz target once failed, each refused
// with a reason instead of reaching a fault in stb_image.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

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
        // past the end of the file, where stb_image reads zeros, and stb
        // wrote past its 257-byte size list.
        {"Huffman counts past the end", "\xFF\xD8\xFF\xC4\xA2\x05\x01\xFF\xD9"s, "Huffman"},
        // The same with the counts running past the segment into the next
        // one (a 3-byte segment; its table's counts come from what follows).
        {"Huffman counts past the segment",
         "\xFF\xD8\xFF\xC4\x00\x03\x00\xFF\xFE\x00\x10\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"s,
         "Huffman"},
    };
    for (const BadFile& f : files) {
        ImageFrame frame;
        std::string error;
        EXPECT_FALSE(decodeImageFrame(reinterpret_cast<const uint8_t*>(f.bytes.data()), f.bytes.size(),
                                      frame, error))
            << f.what;
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

}  // namespace
