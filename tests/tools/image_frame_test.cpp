// Picture reading as the frame sees it, whatever library reads the file:
// the packed frame of every format and row padding, files and pipes, the
// colours of each PNG colour type and depth and of each kind of JPEG,
// damaged JPEG files, and sizes judged from the header before anything is
// decoded.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/tools/picture_files.h"
#include "tools/imageio/image_frame.h"

namespace {

using picture_files::chunk;
using picture_files::le32;
using picture_files::be32;
using picture_files::jpegBytes;
using picture_files::pngBytes;
using picture_files::Picture;

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

// A smooth picture whose channels differ, so that rows out of order,
// mirrored or with their colours swapped differ too, also after JPEG.
Picture gradient(int width, int height) {
    Picture p{width, height, std::vector<uint8_t>(size_t(width) * size_t(height) * 3)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* px = &p.rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
            px[0] = uint8_t(200 - 8 * x - 20 * y % 150);
            px[1] = uint8_t(40 + 5 * x + 25 * y % 150);
            px[2] = uint8_t(90 + 9 * y % 100);
        }
    }
    return p;
}

Picture grey(const Picture& p) {
    Picture g = p;
    for (size_t i = 0; i < g.rgb.size(); i += 3) g.rgb[i] = g.rgb[i + 1] = g.rgb[i + 2] = picture_files::greyOf(&p.rgb[i]);
    return g;
}

// The packed frame of the picture as the cycle reads it, packed from
// tight rows as readPicture packs them.
std::vector<uint8_t> packedOf(const Picture& p) {
    std::vector<uint8_t> rows(p.rgb.size());
    for (int y = 0; y < p.height; ++y) {
        for (size_t i = 0; i < size_t(p.width) * 3; ++i) {
            const size_t rgb = size_t(y) * size_t(p.width) * 3 + i / 3 * 3 + 2 - i % 3;
            rows[size_t(p.height - 1 - y) * size_t(p.width) * 3 + i] = p.rgb[rgb];
        }
    }
    return packRows(rows.data(), p.width, p.height, p.width * 3);
}

std::string pngOf(const Picture& p) {
    std::string rows;
    for (int y = 0; y < p.height; ++y) {
        rows += '\0';
        rows.append(p.rgb.begin() + y * p.width * 3, p.rgb.begin() + (y + 1) * p.width * 3);
    }
    return pngBytes(uint32_t(p.width), uint32_t(p.height), 8, 2, rows);
}

// A BMP file's row padding need not be zeros; the frame's is.
std::string paddingFilled(std::string bmp, int width, int height) {
    const size_t stride = size_t(frameStride(width));
    for (size_t row = 0; row < size_t(height); ++row) {
        for (size_t i = size_t(width) * 3; i < stride; ++i) bmp[54 + row * stride + i] = '\xA5';
    }
    return bmp;
}

// Every format and every row padding (widths 1 to 5) fills the frame with
// the same bytes as packing the picture's rows did: the header, the rows
// bottom up, zeros after each row. JPEG within its compression's error.
TEST(ImageFrame, EveryFormatGivesThePackedFrameOfItsPicture) {
    for (int width = 1; width <= 5; ++width) {
        const Picture colour = gradient(width, 3);
        const Picture greyed = grey(colour);
        struct Case {
            const char* what;
            std::string file;
            const Picture& picture;
            int tolerance;
        } cases[] = {
            {"BMP", picture_files::bmpBytes(colour, false), colour, 0},
            {"BMP top-down", picture_files::bmpBytes(colour, true), colour, 0},
            {"BMP, padding filled", paddingFilled(picture_files::bmpBytes(colour, false), width, 3), colour, 0},
            {"BMP 32 bits", picture_files::bmpBytes(colour, false, 32), colour, 0},
            {"PNG", pngOf(colour), colour, 0},
            {"PPM", picture_files::ppmBytes(colour), colour, 0},
            {"PGM", picture_files::pgmBytes(greyed), greyed, 0},
            {"JPEG", jpegBytes(colour), colour, 4},
        };
        for (const Case& c : cases) {
            const std::vector<uint8_t> file(c.file.begin(), c.file.end());
            ImageFrame frame;
            std::string error;
            ASSERT_TRUE(decodeImageFrame(file.data(), file.size(), frame, error)) << c.what << ": " << error;
            const std::vector<uint8_t> expected = packedOf(c.picture);
            ASSERT_EQ(frame.packed.size(), expected.size()) << c.what << ", width " << width;
            for (size_t i = 0; i < expected.size(); ++i) {
                // The header and the padding exactly, the pixels within the tolerance.
                const bool pixel = i >= kFrameHeaderSize && (i - kFrameHeaderSize) % size_t(frame.stride) < size_t(width) * 3;
                const int off = std::abs(frame.packed[i] - expected[i]);
                EXPECT_TRUE(off == 0 || (pixel && off <= c.tolerance)) << c.what << ", width " << width << ", byte " << i;
            }
        }
    }
}

// A file is mapped and a pipe read in pieces (this picture is larger than
// the first piece); either gives the frame of the file's bytes.
TEST(ImageFrame, FilesAndPipesGiveTheSameFrame) {
    const std::string bmp = picture_files::bmpBytes(gradient(203, 160), false);
    const std::vector<uint8_t> bytes(bmp.begin(), bmp.end());
    ImageFrame expected;
    std::string error;
    ASSERT_TRUE(decodeImageFrame(bytes.data(), bytes.size(), expected, error)) << error;

    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("tessaread-image-frame-" + std::to_string(std::random_device()()));
    std::ofstream(file, std::ios::binary) << bmp;
    ImageFrame fromFile;
    EXPECT_TRUE(loadImageFrame(file.string(), fromFile, error)) << error;
    std::filesystem::remove(file);
    EXPECT_EQ(fromFile.packed, expected.packed);

    // The pipe by its name in /proc; a reader that stops early leaves the
    // writer failing rather than waiting.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    std::thread writer([&] {
        for (size_t at = 0; at < bmp.size();) {
            const ssize_t n = write(ends[1], bmp.data() + at, bmp.size() - at);
            if (n <= 0) break;
            at += size_t(n);
        }
        close(ends[1]);
    });
    ImageFrame fromPipe;
    EXPECT_TRUE(loadImageFrame("/proc/self/fd/" + std::to_string(ends[0]), fromPipe, error)) << error;
    close(ends[0]);
    writer.join();
    std::signal(SIGPIPE, previous);
    EXPECT_EQ(fromPipe.packed, expected.packed);
}

struct PngCase {
    const char* what;
    std::string file;        // 3 x 2 pixels
    std::string blueGreenRed;  // top row first
};

// Colours come through as the file holds them: grey widened, alpha and
// transparency ignored, 16-bit samples by their high byte, no gamma.
TEST(ImageFrame, EveryPngColourTypeGivesTheFilesColours) {
    const std::string grey6 = bytes({0, 0, 0, 0x55, 0x55, 0x55, 0xAA, 0xAA, 0xAA,
                                     0xFF, 0xFF, 0xFF, 0, 0, 0, 0x55, 0x55, 0x55});
    const PngCase cases[] = {
        {"grey, 2 bits", pngBytes(3, 2, 2, 0, bytes({0, 0x18, 0, 0xC4})), grey6},
        {"grey and alpha", pngBytes(3, 2, 8, 4, bytes({0, 0, 0, 0x55, 0x80, 0xAA, 0xFF, 0, 0xFF, 0, 0, 1, 0x55, 2})),
         grey6},
        {"grey, 16 bits, gamma 1/2.2",
         pngBytes(3, 2, 16, 0, bytes({0, 0, 0xFF, 0x55, 0x80, 0xAA, 0xFF, 0, 0xFF, 0xFF, 0, 0, 0x55, 0xFF}),
             chunk("gAMA", be32(45455))),
         grey6},
        {"palette with transparency",
         pngBytes(3, 2, 8, 3, bytes({0, 0, 1, 2, 0, 2, 1, 0}),
             chunk("PLTE", bytes({0xFF, 0, 0, 0, 0x80, 0xFF, 1, 2, 3})) + chunk("tRNS", bytes({0, 0x80}))),
         bytes({0, 0, 0xFF, 0xFF, 0x80, 0, 3, 2, 1, 3, 2, 1, 0xFF, 0x80, 0, 0, 0, 0xFF})},
        {"RGB, 16 bits",
         pngBytes(3, 2, 16, 2,
             bytes({0, 0x12, 0xFF, 0x34, 0, 0xFF, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12,
                    0, 0xFE, 0xFF, 0, 0xFF, 0x80, 0x80, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})),
         bytes({0xFF, 0x34, 0x12, 5, 3, 1, 11, 9, 7, 0x80, 0, 0xFE, 0, 0, 0, 0xFF, 0xFF, 0xFF})},
        {"RGBA, transparent",
         pngBytes(3, 2, 8, 6, bytes({0, 10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90, 0,
                                0, 1, 2, 3, 0, 4, 5, 6, 255, 7, 8, 9, 128})),
         bytes({30, 20, 10, 60, 50, 40, 90, 80, 70, 3, 2, 1, 6, 5, 4, 9, 8, 7})},
        // Adam7 passes of 3 x 2 pixels: 1 gives (0,0), 4 (2,0), 6 (1,0)
        // and 7 the second row.
        {"RGB, interlaced",
         pngBytes(3, 2, 8, 2, bytes({0, 1, 2, 3, 0, 7, 8, 9, 0, 4, 5, 6, 0, 10, 11, 12, 13, 14, 15, 16, 17, 18}), "",
             true),
         bytes({3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10, 15, 14, 13, 18, 17, 16})},
    };
    for (const PngCase& c : cases) {
        const std::vector<uint8_t> file(c.file.begin(), c.file.end());
        ImageFrame frame;
        std::string error;
        ASSERT_TRUE(decodeImageFrame(file.data(), file.size(), frame, error)) << c.what << ": " << error;
        ASSERT_EQ(frame.width, 3) << c.what;
        ASSERT_EQ(frame.height, 2) << c.what;
        for (int y = 0; y < 2; ++y) {
            const uint8_t* row = frame.rows() + size_t(1 - y) * size_t(frame.stride);
            EXPECT_EQ(std::string(row, row + 9), c.blueGreenRed.substr(size_t(y) * 9, 9)) << c.what << " row " << y;
        }
    }
}

// 32 x 32 pixels in four flat quadrants, top left, top right, bottom
// left, bottom right.
const uint8_t kQuadrants[4][3] = {{200, 30, 60}, {30, 180, 70}, {40, 60, 210}, {230, 220, 20}};

picture_files::Picture quadrantPicture() {
    picture_files::Picture p{32, 32, std::vector<uint8_t>(32 * 32 * 3)};
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            for (int c = 0; c < 3; ++c) p.rgb[size_t((y * 32 + x) * 3 + c)] = kQuadrants[y / 16 * 2 + x / 16][c];
        }
    }
    return p;
}

std::string withBytes(std::string file, size_t at, const std::string& inserted) { return file.insert(at, inserted); }

// JPEG files as libjpeg-turbo's compressor writes them: each quadrant
// comes through in its place (the right way up, not mirrored) and
// colour, within the compression's error. A warning alone (stray bytes
// before the marker after SOI) still gives the picture.
TEST(ImageFrame, EveryJpegKindGivesTheFilesColours) {
    const picture_files::Picture picture = quadrantPicture();
    const std::string baseline = jpegBytes(picture);
    struct Case {
        const char* what;
        std::string file;
        bool grey;
    } cases[] = {
        {"baseline", baseline, false},
        {"4:2:0", jpegBytes(picture, {TJSAMP_420, false, false}), false},
        {"progressive", jpegBytes(picture, {TJSAMP_420, true, false}), false},
        {"grey", jpegBytes(picture, {TJSAMP_GRAY, false, false}), true},
        {"CMYK", jpegBytes(picture, {TJSAMP_444, false, true}), false},
        {"stray bytes", withBytes(baseline, 2, bytes({0, 0})), false},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> file(c.file.begin(), c.file.end());
        ImageFrame frame;
        std::string error;
        ASSERT_TRUE(decodeImageFrame(file.data(), file.size(), frame, error)) << c.what << ": " << error;
        ASSERT_EQ(frame.width, 32) << c.what;
        ASSERT_EQ(frame.height, 32) << c.what;
        for (int q = 0; q < 4; ++q) {
            const int x = q % 2 * 16 + 8, y = q / 2 * 16 + 8;
            const uint8_t* px = frame.rows() + size_t(31 - y) * size_t(frame.stride) + size_t(x) * 3;
            const uint8_t* rgb = kQuadrants[q];
            const int grey = (299 * rgb[0] + 587 * rgb[1] + 114 * rgb[2] + 500) / 1000;
            for (int c3 = 0; c3 < 3; ++c3) {
                EXPECT_NEAR(px[c3], c.grey ? grey : rgb[2 - c3], 3) << c.what << ", quadrant " << q << ", byte " << c3;
            }
        }
    }
}

// A JPEG file that ends before its end marker is cut off and refused, not
// read with rows made up; so is a fatal error that follows a warning
// (a table broken after the picture's data, stray bytes before).
TEST(ImageFrame, CutOffOrBrokenJpegIsRefused) {
    const picture_files::Picture picture = quadrantPicture();
    const std::string baseline = jpegBytes(picture);
    const std::string progressive = jpegBytes(picture, {TJSAMP_420, true, false});
    const std::string brokenTable = bytes({0xFF, 0xC4, 0, 19, 0}) + std::string(16, '\xFF');
    const std::pair<const char*, std::string> files[] = {
        {"cut inside the scan", baseline.substr(0, baseline.size() - 10)},
        {"cut before the last scan", progressive.substr(0, progressive.rfind("\xFF\xDA"))},
        {"broken table after a warning",
         withBytes(withBytes(baseline, baseline.size() - 2, brokenTable), 2, bytes({0, 0}))},
    };
    for (const auto& f : files) {
        const std::vector<uint8_t> file(f.second.begin(), f.second.end());
        ImageFrame frame;
        std::string error;
        EXPECT_FALSE(decodeImageFrame(file.data(), file.size(), frame, error)) << f.first;
        EXPECT_NE(error.find("corrupt or truncated image"), std::string::npos) << f.first << ": " << error;
    }
}

// stb_image's palette table holds 256 colours of which only the file's
// entries are set: pixels must index those (Valgrind saw the others).
TEST(ImageFrame, PaletteBmpIsReadOnlyWithinItsPalette) {
    // 2 x 1 pixels of 8 bits, a palette of two entries (blue-green-red-0).
    const auto bmp = [](int first, int second) {
        return "BM" + le32(66) + le32(0) + le32(62) + le32(40) + le32(2) + le32(1) + bytes({1, 0, 8, 0}) +
               std::string(16, '\0') + le32(2) + le32(0) + bytes({10, 20, 30, 0, 40, 50, 60, 0}) +
               bytes({first, second, 0, 0});
    };
    const std::string inside = bmp(1, 0);
    ImageFrame frame;
    std::string error;
    ASSERT_TRUE(decodeImageFrame(reinterpret_cast<const uint8_t*>(inside.data()), inside.size(), frame, error))
        << error;
    EXPECT_EQ(std::string(frame.rows(), frame.rows() + 6), bytes({40, 50, 60, 10, 20, 30}));
    const std::string beyond = bmp(0, 2);
    EXPECT_FALSE(decodeImageFrame(reinterpret_cast<const uint8_t*>(beyond.data()), beyond.size(), frame, error));
    EXPECT_NE(error.find("palette"), std::string::npos) << error;
}

// Headers without pixel data: "too large" can only come from the header.
TEST(ImageFrame, SizeIsJudgedFromTheHeaderBeforeDecoding) {
    // A frame header (SOF0) and a scan header, no tables.
    const auto jpegHeader = [](int width, int height) {
        return bytes({0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, height >> 8, height & 0xFF, width >> 8, width & 0xFF, 1, 1,
                      0x11, 0, 0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 0x3F, 0});
    };
    const std::string bmpHeader = "BM" + le32(54) + le32(0) + le32(54) + le32(40) + le32(9000) + le32(9000) +
                                  bytes({1, 0, 24, 0}) + std::string(24, '\0');
    struct Case {
        const char* what;
        std::string file;
        bool tooLarge;
    } cases[] = {
        {"PNG 16000 x 16000", pngBytes(16000, 16000, 8, 2, ""), true},
        {"PNG one row over 8192 x 8192", pngBytes(8192, 8193, 8, 2, ""), true},
        {"PNG 16384 x 1", pngBytes(16384, 1, 8, 2, ""), false},
        {"JPEG 16000 x 16000", jpegHeader(16000, 16000), true},
        {"JPEG one row over 8192 x 8192", jpegHeader(8192, 8193), true},
        {"BMP 9000 x 9000", bmpHeader, true},
        {"PGM 9000 x 9000", "P5 9000 9000 255\n", true},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> file(c.file.begin(), c.file.end());
        ImageFrame frame;
        std::string error;
        EXPECT_FALSE(decodeImageFrame(file.data(), file.size(), frame, error)) << c.what;
        EXPECT_EQ(error.find("too large") != std::string::npos, c.tooLarge) << c.what << ": " << error;
        EXPECT_TRUE(frame.packed.empty()) << c.what;
    }
}

}  // namespace
