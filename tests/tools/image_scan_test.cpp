// tessaread-scan on pictures: every supported file format, the bundled
// camera-like frames, the camera-stream mode with its result lines, the
// JSON record, the stage trace and the files it cannot read.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/independent_encoders.h"
#include "tests/tools/picture_files.h"
#include "tests/tools/tool_run.h"

namespace {

using namespace tool_run;
using namespace picture_files;

// The hello-world sample grid (18 x 18) at 6 pixels per module, off centre,
// in a picture whose width (203) leaves filler at the end of each frame row.
Picture helloPicture() {
    return pictureOfGrid(readFile(kSamples + "hello-world.txt"), 203, 160, 6, 50, 20);
}

Picture blankPicture() {
    Picture p = helloPicture();
    for (size_t i = 0; i < p.rgb.size(); ++i) p.rgb[i] = static_cast<uint8_t>(200 + i % 3 * 10);
    return p;
}

std::string utf8OfLatin1(const std::string& bytes) {
    std::string out;
    for (char c : bytes) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

// The value of a JSON member as written (string quotes included).
std::string member(const std::string& object, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    const size_t at = object.find(key);
    if (at == std::string::npos) return "<missing>";
    size_t end = at + key.size();
    if (object[end] == '"') {
        end = object.find('"', end + 1) + 1;
    } else {
        end = object.find_first_of(",}", end);
    }
    return object.substr(at + key.size(), end - at - key.size());
}

// The same picture in every format and layout the scanner takes; a
// symbol the wrong way up or mirrored would not decode.
TEST_F(ScanTool, ReadsEveryFormatAsTheSameCameraFrame) {
    const Picture hello = helloPicture();
    const std::vector<std::pair<std::string, std::string>> files = {
        {"hello.ppm", ppmBytes(hello)},
        {"hello.pgm", pgmBytes(hello)},
        {"hello-up.bmp", bmpBytes(hello, false)},
        {"hello-down.bmp", bmpBytes(hello, true)},
        {"hello-32.bmp", bmpBytes(hello, false, 32)},
        // Samples of 16 bits (big-endian) and of a scale other than 255.
        {"hello-16.pgm", pgmBytes(hello, 65535)},
        {"hello-16.ppm", ppmBytes(hello, 1023)},
        {"hello-4.pgm", pgmBytes(hello, 15)},
        {"hello.jpg", jpegBytes(hello, {TJSAMP_420, false, false})},
        {"hello-grey.jpg", jpegBytes(hello, {TJSAMP_GRAY, false, false})},
        {"hello-progressive.jpg", jpegBytes(hello, {TJSAMP_444, true, false})},
    };
    std::string arguments;
    std::string expected;
    for (const auto& f : files) {
        writeFile(file(f.first), f.second);
        arguments += " " + quoted(file(f.first));
        expected += file(f.first).string() + ": Hello, World! (ASCII)\n";
    }
    // PNG and JPEG: the bundled frames.
    for (const char* name : {"hello-upright.png", "latin1-noisy.jpg"}) {
        arguments += " '" + kFrames + name + "'";
    }
    expected += kFrames + "hello-upright.png: Hello, World! (ASCII)\n";
    expected += kFrames + "latin1-noisy.jpg: " + utf8OfLatin1(readFile(kFrames + "latin1-noisy.txt")) + " (B256)\n";
    const ToolRun r = run(arguments);
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

// Every bundled frame reads its text file's bytes; the one without a
// text file holds no symbol and reads None, which makes the status 1.
TEST_F(ScanTool, ReadsTheBundledFramesAsTheirTextFilesSay) {
    std::vector<fs::path> frames;
    for (const auto& entry : fs::directory_iterator(kFrames)) {
        if (entry.path().extension() != ".txt") frames.push_back(entry.path());
    }
    std::sort(frames.begin(), frames.end());
    ASSERT_GE(frames.size(), 6u);
    std::string arguments;
    for (const fs::path& f : frames) arguments += " " + quoted(f);
    const ToolRun r = run(arguments);
    const std::vector<std::string> lines = r.lines();
    ASSERT_EQ(lines.size(), frames.size()) << r.out << r.err;
    int none = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        fs::path text = frames[i];
        text.replace_extension(".txt");
        const std::string prefix = frames[i].string() + ": ";
        if (!fs::exists(text)) {
            EXPECT_EQ(lines[i], prefix + "None");
            ++none;
            continue;
        }
        const std::string expected = prefix + utf8OfLatin1(readFile(text)) + " (";
        EXPECT_EQ(lines[i].substr(0, expected.size()), expected) << lines[i];
    }
    EXPECT_EQ(none, 1);
    EXPECT_EQ(r.status, 1);
}

// A picture larger than the program's 1280 x 960 buffer gets a buffer of
// its own size.
TEST_F(ScanTool, ReadsAPictureLargerThanTheProgramsFrameBuffer) {
    const Picture big = pictureOfGrid(readFile(kSamples + "hello-world.txt"), 1700, 1100, 20, 1100, 600);
    writeFile(file("big.pgm"), pgmBytes(big));
    const ToolRun r = run(quoted(file("big.pgm")));
    EXPECT_EQ(r.out, file("big.pgm").string() + ": Hello, World! (ASCII)\n") << r.err;
    EXPECT_EQ(r.status, 0);
}

const std::regex kLinePattern(
    "([1-9][0-9]*)\\.([1-9][0-9]?)\\.([1-9][0-9]?) "
    "(0|[1-9][0-9]?):(0|[1-9][0-9]?):(0|[1-9][0-9]?):(0|[1-9][0-9]{0,2}) - (.*)");

// One cycle per frame, the line as the program composes it; a blank frame
// switches the pair of detector settings for the next frame, a decoded
// frame keeps it.
TEST_F(ScanTool, CycleModeCarriesThePairFromFrameToFrame) {
    writeFile(file("blank.ppm"), ppmBytes(blankPicture()));
    writeFile(file("hello.ppm"), ppmBytes(helloPicture()));
    const std::string blank = quoted(file("blank.ppm")), hello = quoted(file("hello.ppm"));

    const ToolRun plain = run("--cycle " + blank + " " + hello + " " + hello);
    const std::vector<std::string> lines = plain.lines();
    ASSERT_EQ(lines.size(), 3u) << plain.out << plain.err;
    const char* tails[] = {"None", "Hello, World! (ASCII)", "Hello, World! (ASCII)"};
    for (size_t i = 0; i < 3; ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, kLinePattern)) << lines[i];
        EXPECT_EQ(m[8].str(), tails[i]);
    }
    EXPECT_EQ(plain.status, 1);

    struct Case {
        std::string arguments;
        std::vector<const char*> kinds;  // "null" or the allowed kinds
    } cases[] = {
        {hello + " " + hello, {"01", "01"}},
        {blank + " " + hello + " " + hello, {"null", "23", "23"}},
        {blank + " " + blank + " " + hello, {"null", "null", "01"}},
    };
    for (const Case& c : cases) {
        const ToolRun r = run("--cycle --json " + c.arguments);
        const std::vector<std::string> objects = r.lines();
        ASSERT_EQ(objects.size(), c.kinds.size()) << r.out;
        for (size_t i = 0; i < objects.size(); ++i) {
            EXPECT_EQ(member(objects[i], "cycles"), "1") << objects[i];
            const std::string kind = member(objects[i], "kind");
            if (std::string(c.kinds[i]) == "null") {
                EXPECT_EQ(kind, "null") << objects[i];
            } else {
                EXPECT_TRUE(kind.size() == 1 && std::string(c.kinds[i]).find(kind) != std::string::npos)
                    << c.arguments << ": frame " << i << ": " << objects[i];
            }
        }
    }
}

// Outside the stream mode a frame that the first pair misses gets the
// second pair as well.
TEST_F(ScanTool, JsonRecordOfADecodedAndABlankFrame) {
    writeFile(file("blank.pgm"), pgmBytes(blankPicture()));
    writeFile(file("hello.bmp"), bmpBytes(helloPicture(), false));
    const ToolRun r = run("--json " + quoted(file("hello.bmp")) + " " + quoted(file("blank.pgm")));
    const std::vector<std::string> objects = r.lines();
    ASSERT_EQ(objects.size(), 2u) << r.out;
    const std::string& hello = objects[0];
    EXPECT_EQ(member(hello, "file"), "\"" + file("hello.bmp").string() + "\"");
    EXPECT_EQ(member(hello, "decoded"), "true");
    EXPECT_EQ(member(hello, "text"), "\"Hello, World!\"");
    EXPECT_EQ(member(hello, "mode"), "\"ASCII\"");
    EXPECT_EQ(member(hello, "mode_code"), "0");
    EXPECT_EQ(member(hello, "rows"), "18");
    EXPECT_EQ(member(hello, "cols"), "18");
    EXPECT_TRUE(member(hello, "kind") == "0" || member(hello, "kind") == "1") << hello;
    EXPECT_EQ(member(hello, "cycles"), "1");
    EXPECT_TRUE(std::regex_match(member(hello, "ms"), std::regex("[0-9]+\\.[0-9]{3}"))) << hello;
    std::smatch m;
    const std::string line = member(hello, "line");
    ASSERT_TRUE(std::regex_match(line, m, std::regex("\"(.*)\""))) << hello;
    const std::string inner = m[1].str();
    ASSERT_TRUE(std::regex_match(inner, m, kLinePattern)) << inner;
    EXPECT_EQ(m[8].str(), "Hello, World! (ASCII)");

    const std::string& blank = objects[1];
    EXPECT_EQ(member(blank, "decoded"), "false");
    EXPECT_EQ(member(blank, "text"), "\"\"");
    for (const char* name : {"mode", "mode_code", "rows", "cols", "kind"}) {
        EXPECT_EQ(member(blank, name), "null") << name;
    }
    EXPECT_EQ(member(blank, "cycles"), "2");
    EXPECT_NE(blank.find(" - None\""), std::string::npos) << blank;
    EXPECT_EQ(r.status, 1);
}

// The stage trace of one decoded frame: the cycle's timer encloses
// everything, each start has its end.
TEST_F(ScanTool, TraceWritesTheStagesToStandardError) {
    writeFile(file("hello.ppm"), ppmBytes(helloPicture()));
    const ToolRun r = run("--trace " + quoted(file("hello.ppm")));
    EXPECT_EQ(r.out, file("hello.ppm").string() + ": Hello, World! (ASCII)\n");
    const std::vector<std::string> trace = r.errorLines();
    ASSERT_GE(trace.size(), 4u) << r.err;
    EXPECT_EQ(trace.front(), "Start 1 started...");
    EXPECT_TRUE(std::regex_match(trace.back(), std::regex("Start 1 processed in [0-9.]+ sec\\."))) << trace.back();
    int open = 0;
    for (const std::string& t : {std::string("Start 3"), std::string("Start 4"), std::string("Start 5")}) {
        EXPECT_NE(r.err.find(t + " started...\n"), std::string::npos) << t;
        EXPECT_NE(r.err.find(t + " processed in "), std::string::npos) << t;
    }
    for (const std::string& t : trace) {
        if (t.find(" started...") != std::string::npos) ++open;
        if (t.find(" processed in ") != std::string::npos) --open;
        EXPECT_GE(open, 0) << t;
    }
    EXPECT_EQ(open, 0);
    // Without --trace nothing goes to standard error.
    EXPECT_EQ(run(quoted(file("hello.ppm"))).err, "");
}

// Every unreadable file is one line on standard error naming it; the
// others are still scanned, and the status says an error happened.
TEST_F(ScanTool, UnreadableFilesAreReportedAndTheOthersScanned) {
    const std::string png = readFile(kFrames + "hello-upright.png");
    const std::string bmp = bmpBytes(helloPicture(), false);
    const std::string ppm = ppmBytes(helloPicture());
    // A Huffman table that declares more than 256 codes (counts follow the
    // marker, its length and the table's class byte); a file cut off.
    std::string jpeg = readFile(kFrames + "latin1-noisy.jpg");
    const size_t dht = jpeg.find("\xFF\xC4");
    ASSERT_NE(dht, std::string::npos);
    jpeg.replace(dht + 5, 2, "\xFF\xFF");
    struct Bad {
        const char* name;
        std::string bytes;
        const char* message;
    } bad[] = {
        {"cut.png", png.substr(0, png.size() / 2), "corrupt or truncated"},
        {"cut.bmp", bmp.substr(0, bmp.size() - 100), "truncated"},
        {"cut.ppm", ppm.substr(0, ppm.size() - 1), "truncated"},
        {"notes.txt", "Hello, World!\n", "unsupported file type"},
        {"codes.jpg", jpeg, "corrupt or truncated"},
        {"cut.jpg", readFile(kFrames + "latin1-noisy.jpg").substr(0, 20000), "corrupt or truncated"},
        {"empty.png", "", "empty"},
    };
    // Paths that are no picture files: a directory, a device that never
    // ends, a path through a file.
    fs::create_directory(file("folder"));
    const std::pair<std::string, const char*> paths[] = {
        {file("missing.png").string(), "cannot open file"},
        {file("folder").string(), "is a directory"},
        {"/dev/zero", "not a regular file"},
        {file("hello.ppm").string() + "/x.png", "cannot open file"},
    };
    writeFile(file("hello.ppm"), ppm);
    std::vector<std::pair<std::string, const char*>> expected(std::begin(paths), std::end(paths));
    for (const Bad& b : bad) {
        writeFile(file(b.name), b.bytes);
        expected.emplace_back(file(b.name).string(), b.message);
    }
    std::string arguments;
    for (const auto& e : expected) arguments += " " + quoted(fs::path(e.first));
    arguments += " " + quoted(file("hello.ppm"));

    const ToolRun r = run(arguments);
    EXPECT_EQ(r.out, file("hello.ppm").string() + ": Hello, World! (ASCII)\n");
    EXPECT_EQ(r.status, 2);
    const std::vector<std::string> errors = r.errorLines();
    ASSERT_EQ(errors.size(), expected.size()) << r.err;
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::string prefix = "tessaread-scan: " + expected[i].first + ": ";
        EXPECT_EQ(errors[i].substr(0, prefix.size()), prefix) << errors[i];
        EXPECT_NE(errors[i].find(expected[i].second), std::string::npos) << errors[i];
    }

    // In JSON an unreadable file is an object with its error.
    const ToolRun json = run("--json " + quoted(file("cut.bmp")) + " " + quoted(file("hello.ppm")));
    const std::vector<std::string> objects = json.lines();
    ASSERT_EQ(objects.size(), 2u) << json.out;
    EXPECT_EQ(member(objects[0], "decoded"), "false");
    EXPECT_EQ(member(objects[0], "error"), "\"truncated image file\"");
    EXPECT_EQ(member(objects[1], "decoded"), "true");
    EXPECT_EQ(json.status, 2);

    // The stream mode skips what it cannot read: it was never a frame.
    const ToolRun cycle = run("--cycle " + quoted(file("folder")) + " " + quoted(file("hello.ppm")));
    ASSERT_EQ(cycle.lines().size(), 1u) << cycle.out;
    EXPECT_EQ(cycle.status, 2);
}

// Damaged files of every format, many at once: each gives exactly one
// line, on standard output (a picture, read or not) or standard error (a
// file refused), and nothing crashes. Most damage is aimed at the headers,
// where sizes come from.
TEST_F(ScanTool, DamagedFilesEachGiveOneLineAndNeverCrash) {
    const Picture hello = helloPicture();
    const std::string originals[] = {
        ppmBytes(hello), pgmBytes(hello, 65535), bmpBytes(hello, true), bmpBytes(hello, false, 32),
        readFile(kFrames + "hello-upright.png"), readFile(kFrames + "latin1-noisy.jpg"),
    };
    std::mt19937 random(20240307);
    std::string arguments;
    constexpr int kCopies = 30;
    int files = 0;
    for (const std::string& original : originals) {
        for (int copy = 0; copy < kCopies; ++copy) {
            std::string bytes = original;
            const int changes = 1 + static_cast<int>(random() % 8);
            for (int k = 0; k < changes; ++k) {
                const size_t span = random() % 4 != 0 ? std::min<size_t>(bytes.size(), 64) : bytes.size();
                bytes[random() % span] = static_cast<char>(random());
            }
            if (random() % 4 == 0) bytes.resize(random() % bytes.size());
            const std::string name = "damaged" + std::to_string(files++);
            writeFile(file(name), bytes);
            arguments += " " + quoted(file(name));
        }
    }
    const ToolRun r = run(arguments);
    EXPECT_TRUE(r.status == 1 || r.status == 2) << r.status;
    EXPECT_EQ(r.lines().size() + r.errorLines().size(), static_cast<size_t>(files)) << r.err;
}

// The detector debug run takes any supported format, not only BMP; a
// folder is no picture, and a file is no folder for the debug files.
TEST_F(ScanTool, DebugDirReadsAnyFormat) {
    const ToolRun r = run("--debug-dir " + quoted(file("dbg")) + " '" + kFrames + "hello-upright.png'");
    EXPECT_EQ(r.lines().size(), 4u) << r.out << r.err;
    EXPECT_NE(r.out.find(": Hello, World! (ASCII)"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(file("dbg") / "kind0" / "out0.bmp"));
    EXPECT_EQ(r.status, 0);
    writeFile(file("plain"), "x");
    for (const std::string& arguments : {quoted(file("dbg2")) + " " + quoted(file("dbg")),
                                         quoted(file("plain")) + " '" + kFrames + "hello-upright.png'"}) {
        const ToolRun bad = run("--debug-dir " + arguments);
        EXPECT_EQ(bad.status, 2) << arguments;
        EXPECT_EQ(bad.out, "") << arguments;
        EXPECT_EQ(bad.errorLines().size(), 1u) << bad.err;
    }
}

}  // namespace

namespace {

// Data with a 0 byte: the program's line ends at it; the scanner reports
// every byte (JSON escapes them, the plain line counts what follows).
TEST_F(ScanTool, DataWithAZeroByteAreReportedWhole) {
    independent::EncodedSymbol symbol;
    std::string error;
    ASSERT_TRUE(independent::EncodeWithZint(std::string("ab\0cd", 5), 4, false, symbol, error)) << error;
    std::string grid;
    for (int r = 0; r < symbol.rows; ++r) {
        for (int c = 0; c < symbol.cols; ++c) grid += symbol.modules[size_t(r * symbol.cols + c)] ? "1," : "0,";
        grid += "\n";
    }
    writeFile(file("zero.txt"), grid);
    writeFile(file("zero.bmp"), bmpBytes(pictureOfGrid(grid, 320, 240, 8, 100, 60), false));
    for (const std::string& input : {"--grid " + quoted(file("zero.txt")), quoted(file("zero.bmp"))}) {
        const ToolRun plain = run(input);
        EXPECT_EQ(plain.status, 0) << plain.err;
        EXPECT_NE(plain.out.find(": ab ("), std::string::npos) << plain.out;
        EXPECT_NE(plain.out.find(") [3 more bytes from a 0 byte on]"), std::string::npos) << plain.out;
        const ToolRun json = run("--json " + input);
        EXPECT_EQ(member(json.lines().at(0), "text"), "\"ab\\u0000cd\"") << json.out;
    }
    const ToolRun cycle = run("--cycle " + quoted(file("zero.bmp")));
    EXPECT_NE(cycle.out.find(" - ab ("), std::string::npos) << cycle.out;
}

}  // namespace
