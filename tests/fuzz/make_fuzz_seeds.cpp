// Writes the seed corpora of the fuzz targets, one folder per target, from
// the test encoder, the bundled samples and small generated pictures:
//
//   make-fuzz-seeds SOURCE_DIR OUTPUT_DIR
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "ecc200/symbol_size.h"
#include "tests/fuzz/seed_images.h"
#include "tests/support/ecc200_encoder.h"
#include "tools/imageio/image_frame.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string outputDir;

void makeDir(const std::string& path) { mkdir(path.c_str(), 0755); }

void writeSeed(const std::string& target, const std::string& name, const Bytes& bytes) {
    makeDir(outputDir + "/" + target);
    std::ofstream out(outputDir + "/" + target + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes textBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// ASCII encodation of plain text (ISO/IEC 16022, 5.2.3): character + 1.
Bytes asciiCodewords(const std::string& text) {
    Bytes out;
    for (unsigned char c : text) out.push_back(uint8_t(c + 1));
    return out;
}

// Data codewords in every encodation, written out by hand.
std::vector<Bytes> dataStreams() {
    return {
        asciiCodewords("Hello, World!"),
        {142, 164, 186, 208, 98},                 // digit pairs, then 'a'
        {235, 66, 67, 129},                       // upper shift
        {230, 91, 11, 91, 11, 254, 66},           // C40 latch, triplets, unlatch
        {239, 91, 11, 91, 11, 254, 66},           // Text
        {238, 89, 191, 254, 66},                  // X12
        {240, 16, 21, 1, 124, 66},                // EDIFACT
        {231, 44, 108, 59, 226, 126, 1, 104},     // Base 256 (randomized)
        {232, 66, 234, 236, 237, 241, 3, 129},    // FNC1, reader programming, macros, ECI
        {129, 175, 70, 221},                      // pads
    };
}

const std::vector<std::string> kTexts = {"A", "Hello, World!", "0123456789012345",
                                         "PN 4711-0815 REV B", "lot:150*x"};

// Every table size with a text that fits, as DecodeSymbol's input.
void decodeSymbolSeeds() {
    for (int32_t index = 0; index < kSymbolSizeCount; ++index) {
        const SymbolSizeRow& size = SymbolSizeAt(index);
        const Bytes data = asciiCodewords(kTexts[size_t(index) % kTexts.size()]);
        if (int32_t(data.size()) > size.attributes.dataCodewords) continue;
        Bytes seed = {uint8_t(size.rows), uint8_t(size.columns)};
        const Bytes grid = ecc200_test::MakeSymbolFromData(index, data);
        seed.insert(seed.end(), grid.begin(), grid.end());
        writeSeed("decode_symbol", "size" + std::to_string(index), seed);
        // The same with some modules flipped or undecided.
        for (size_t i = 7; i < seed.size(); i += 23) seed[i] = i % 2 ? uint8_t(1 - seed[i]) : 255;
        writeSeed("decode_symbol", "damaged" + std::to_string(index), seed);
    }
    writeSeed("decode_symbol", "not-a-size", Bytes{11, 13, 1, 0, 1, 0, 1});
}

// The bundled module grids (1, 0, -1 per module) as DecodeSymbol's input.
void gridFileSeeds(const std::string& sourceDir) {
    for (const char* name : {"hello-damaged", "latin1-base256", "sentence-44x44", "x12-lot",
                             "edifact-header", "serial-rectangle", "url-text"}) {
        std::ifstream in(sourceDir + "/samples/grids/" + name + ".txt");
        std::string line;
        Bytes cells;
        int rows = 0;
        int cols = 0;
        while (std::getline(in, line)) {
            std::istringstream values(line);
            std::string value;
            int count = 0;
            while (std::getline(values, value, ',')) {
                if (value.empty()) continue;
                cells.push_back(value == "1" ? 1 : value == "0" ? 0 : 255);
                ++count;
            }
            if (count > 0) {
                cols = count;
                ++rows;
            }
        }
        Bytes seed = {uint8_t(rows), uint8_t(cols)};
        seed.insert(seed.end(), cells.begin(), cells.end());
        writeSeed("decode_symbol", name, seed);
    }
}

void dataDecodeSeeds() {
    int n = 0;
    for (const Bytes& stream : dataStreams()) {
        writeSeed("data_decode", "stream" + std::to_string(n++), stream);
    }
}

// Encoded blocks of single-block sizes, clean and with errors, and other
// codes through RsInit.
void reedSolomonSeeds() {
    for (int32_t index : {0, 3, 8, 24, 27}) {
        const SymbolSizeRow& size = SymbolSizeAt(index);
        const Bytes data = ecc200_test::PadDataCodewords(asciiCodewords("Hi"),
                                                         size.attributes.dataCodewords);
        Bytes block = ecc200_test::EncodeCodewordStream(index, data);
        const int32_t nroots = size.attributes.checkCodewords;
        for (int errors = 0; errors <= nroots / 2 + 1; errors += 2) {
            Bytes seed = {0, uint8_t(nroots)};
            seed.insert(seed.end(), block.begin(), block.end());
            for (int e = 0; e < errors; ++e) seed[2 + size_t(e) * 3 % block.size()] ^= 0x5A;
            writeSeed("reed_solomon", "block" + std::to_string(index) + "-" +
                                          std::to_string(errors), seed);
        }
    }
    // symbol size, polynomial (2 bytes), fcr, prim, nroots, pad, block
    writeSeed("reed_solomon", "code-gf256", Bytes{0x80, 8, 0x2D, 0x01, 1, 1, 10, 200, 1, 2, 3});
    writeSeed("reed_solomon", "code-gf16", Bytes{0x80, 4, 0x13, 0x00, 0, 1, 4, 2, 1, 2, 3, 4, 5});
    writeSeed("reed_solomon", "code-prim7", Bytes{0x80, 8, 0x1D, 0x01, 112, 11, 32, 0, 9});
}

// A detector frame (see detect_fuzz.cpp) of the symbol for `text`,
// turned by `degrees`, `module` pixels a module, in a white frame.
Bytes symbolFrame(int32_t sizeIndex, const std::string& text, int width, int height,
                  double module, double degrees, int kind) {
    const SymbolSizeRow& size = SymbolSizeAt(sizeIndex);
    const Bytes grid = ecc200_test::MakeSymbolFromData(sizeIndex, asciiCodewords(text));
    Bytes seed = {uint8_t(width - 1), uint8_t((width - 1) >> 8), uint8_t(height - 1),
                  uint8_t((height - 1) >> 8), 0, uint8_t(kind)};
    const double turn = degrees * 3.141592653589793 / 180.0;
    const double c = std::cos(turn);
    const double s = std::sin(turn);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double dx = x + 0.5 - width / 2.0;
            const double dy = y + 0.5 - height / 2.0;
            const double u = (c * dx - s * dy) / module + size.columns / 2.0;
            const double v = (s * dx + c * dy) / module + size.rows / 2.0;
            bool dark = false;
            if (u >= 0 && v >= 0 && u < size.columns && v < size.rows) {
                dark = grid[size_t(v) * size_t(size.columns) + size_t(u)] != 0;
            }
            seed.push_back(dark ? 30 : 225);
        }
    }
    return seed;
}

// A bundled camera-like picture, shrunk by `factor` to grey.
bool sampleFrame(const std::string& path, int factor, Bytes& seed) {
    ImageFrame frame;
    std::string error;
    if (!loadImageFrame(path, frame, error)) return false;
    const int width = frame.width / factor;
    const int height = frame.height / factor;
    seed = {uint8_t(width - 1), uint8_t((width - 1) >> 8), uint8_t(height - 1),
            uint8_t((height - 1) >> 8), 0, 0};
    for (int y = 0; y < height; ++y) {
        const int row = frame.height - 1 - y * factor;  // frames are bottom-up
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = frame.rows() + size_t(row) * size_t(frame.stride) + 3 * size_t(x * factor);
            seed.push_back(uint8_t((p[0] + p[1] + p[2]) / 3));
        }
    }
    return true;
}

void detectSeeds(const std::string& sourceDir) {
    writeSeed("detect", "upright-10", symbolFrame(0, "Hi", 60, 50, 4, 0, 0));
    writeSeed("detect", "turned-12", symbolFrame(1, "Hello", 81, 77, 4, 17, 1));
    writeSeed("detect", "tilted-16", symbolFrame(3, "PN 4711-0815", 121, 110, 5, -32, 2));
    writeSeed("detect", "rect-8x32", symbolFrame(25, "SN 23", 170, 61, 4, 5, 3));
    writeSeed("detect", "upright-20", symbolFrame(5, "0123456789012345", 133, 133, 5, 90, 0));
    for (const char* name : {"hello-upright.png", "part-number-turned.png", "no-symbol.png",
                             "latin1-noisy.jpg"}) {
        Bytes seed;
        if (sampleFrame(sourceDir + "/samples/frames/" + name, 2, seed)) {
            writeSeed("detect", std::string("sample-") + name, seed);
        }
    }
    // A tiny colour frame and a one-pixel frame.
    writeSeed("detect", "colour-3x2", Bytes{2, 0, 1, 0, 0, 0x11, 0, 0, 255, 0, 255, 0, 255, 0, 0});
    writeSeed("detect", "one-pixel", Bytes{0, 0, 0, 0, 0, 0, 0});
}

void imageSeeds() {
    int n = 0;
    for (const seed_images::NamedImage& image : seed_images::smallImages()) {
        writeSeed("image_frame", std::to_string(n++) + "-" + image.name, image.bytes);
    }
}

// Records: repeat count, length (2 bytes), fill byte, text up to 0xFF.
void resultsTextSeeds() {
    Bytes lines = {31, 0, 0, 0};
    const Bytes line = textBytes("2024.3.7 9:5:4:42 - Hello, World! (ASCII)");
    lines.insert(lines.end(), line.begin(), line.end());
    lines.push_back(0xFF);
    writeSeed("results_text", "result-lines", lines);
    // Up to the trim: one long line, then short ones.
    writeSeed("results_text", "long-then-short",
              Bytes{0, 0x30, 0x75, 'x', 0xFF, 20, 24, 0, 'y', 'N', 'o', 'n', 'e', 0xFF});
    // Lines with CR and LF inside, and lines of the longest length.
    writeSeed("results_text", "inner-cr", Bytes{5, 0x20, 0x4E, 'a', 'a', '\r', 'b', 0xFF, 3, 0x00,
                                                0x40, '\r', 0xFF, 2, 0x90, 0x75, '\n', 0xFF});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-fuzz-seeds SOURCE_DIR OUTPUT_DIR\n");
        return 2;
    }
    const std::string sourceDir = argv[1];
    outputDir = argv[2];
    makeDir(outputDir);
    decodeSymbolSeeds();
    gridFileSeeds(sourceDir);
    dataDecodeSeeds();
    reedSolomonSeeds();
    detectSeeds(sourceDir);
    imageSeeds();
    resultsTextSeeds();
    return 0;
}
