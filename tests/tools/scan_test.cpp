// tessaread-scan --grid and --debug-dir as a user runs them: the bundled
// sample grids, malformed and missing inputs, JSON output, exit statuses
// and the detector debug run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/picture_files.h"
#include "tests/tools/tool_run.h"

namespace {

using namespace tool_run;
using picture_files::bmpBytes;
using picture_files::pictureOfGrid;

struct Sample {
    const char* file;
    const char* line;  // after "PATH: "
};

const Sample kSampleResults[] = {
    {"edifact-header.txt", "UNB+UNOA:1+SENDER+RECEIVER (EDIFACT)"},
    {"gtin-digits.txt", "4006381333931 (ASCII)"},
    {"hello-damaged.txt", "Hello, World! (ASCII)"},
    {"hello-world.txt", "Hello, World! (ASCII)"},
    {"latin1-base256.txt", "Stra\xc3\x9f" "e 12, 50667 K\xc3\xb6ln (B256)"},
    {"part-number-c40.txt", "PN 4711-0815 REV B (C40)"},
    {"sentence-44x44.txt",
     "The quick brown fox jumps over the lazy dog. 0123456789 THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG! (ASCII)"},
    {"serial-rectangle.txt", "SN 2023-11-07 (ASCII)"},
    {"url-text.txt", "https://www.example.org/tessaread (TEXT)"},
    {"x12-lot.txt", "LOT*A1234567>QTY*150 (X12)"},
};

TEST_F(ScanTool, DecodesEveryBundledSample) {
    std::string arguments = "--grid";
    for (const Sample& s : kSampleResults) arguments += " '" + kSamples + s.file + "'";
    const ToolRun r = run(arguments);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> lines = r.lines();
    ASSERT_EQ(lines.size(), std::size(kSampleResults)) << r.out;
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i], kSamples + kSampleResults[i].file + ": " + kSampleResults[i].line);
    }
}

TEST_F(ScanTool, JsonCarriesTextModeStatusSizeAndCorrections) {
    const ToolRun r = run("--json --grid '" + kSamples + "latin1-base256.txt' '" + kSamples + "hello-damaged.txt'");
    EXPECT_EQ(r.status, 0);
    const std::vector<std::string> lines = r.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "{\"file\":\"" + kSamples + "latin1-base256.txt\",\"decoded\":true,"
                        "\"text\":\"Stra\xc3\x9f" "e 12, 50667 K\xc3\xb6ln\",\"mode\":\"B256\",\"mode_code\":7,"
                        "\"status\":0,\"rows\":22,\"cols\":22,\"corrected\":0}");
    // Four inverted modules in four codewords.
    EXPECT_NE(lines[1].find("\"text\":\"Hello, World!\""), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("\"rows\":18,\"cols\":18,\"corrected\":4}"), std::string::npos) << lines[1];
}

// A grid the decoder cannot read still has a result: None, status 1.
TEST_F(ScanTool, UndecodableGridIsNoneWithExitStatusOne) {
    std::string grid;
    for (int r = 0; r < 11; ++r) grid += "1,0,1,0,1,0,1,0,1,0,1,\n";
    writeFile(file("eleven.txt"), grid);
    ToolRun r = run("--grid " + quoted(file("eleven.txt")));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, file("eleven.txt").string() + ": None\n");
    r = run("--json --grid " + quoted(file("eleven.txt")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\"decoded\":false,\"text\":\"\",\"mode\":null,\"mode_code\":null,\"status\":1,"
                         "\"rows\":11,\"cols\":11,\"corrected\":null}"),
              std::string::npos)
        << r.out;
}

// CR LF line ends and rows without their last comma read as the dump.
TEST_F(ScanTool, ToleratesCrLfAndMissingLastComma) {
    std::istringstream in(readFile(kSamples + "hello-world.txt"));
    std::string line, converted;
    while (std::getline(in, line)) converted += line.substr(0, line.size() - 1) + "\r\n";
    writeFile(file("crlf.txt"), converted);
    const ToolRun r = run("--grid " + quoted(file("crlf.txt")));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, file("crlf.txt").string() + ": Hello, World! (ASCII)\n");
}

struct BadGrid {
    const char* name;
    std::string content;
    const char* message;
};

TEST_F(ScanTool, MalformedGridFilesAreReportedAndTheRestStillScanned) {
    const BadGrid bad[] = {
        {"empty.txt", "", "empty"},
        {"ragged.txt", "1,0,1,\n1,0,\n", "ragged"},
        {"prose.txt", "Hello, World!\n", "not a cell value"},
        {"value2.txt", "1,0,\n2,1,\n", "'2'"},
        {"tall.txt", [] { std::string s; for (int i = 0; i < 145; ++i) s += "1,0,\n"; return s; }(), "144"},
        {"gap.txt", "1,0,\n\n0,1,\n", "empty"},
    };
    std::string arguments = "--grid";
    for (const BadGrid& b : bad) {
        writeFile(file(b.name), b.content);
        arguments += " " + quoted(file(b.name));
    }
    arguments += " " + quoted(file("missing.txt")) + " '" + kSamples + "hello-world.txt'";
    const ToolRun r = run(arguments);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, kSamples + "hello-world.txt: Hello, World! (ASCII)\n");
    const std::vector<std::string> errors = r.errorLines();
    ASSERT_EQ(errors.size(), std::size(bad) + 1) << r.err;
    for (size_t i = 0; i < std::size(bad); ++i) {
        EXPECT_NE(errors[i].find(file(bad[i].name).string() + ": "), std::string::npos) << errors[i];
        EXPECT_NE(errors[i].find(bad[i].message), std::string::npos) << errors[i];
    }
    EXPECT_NE(errors.back().find("missing.txt: cannot open"), std::string::npos) << errors.back();
}

TEST_F(ScanTool, JsonReportsAnUnreadableFileAsAnObjectWithError) {
    const ToolRun r = run("--json --grid " + quoted(file("missing.txt")));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("\"decoded\":false"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"error\":\"cannot open\"}"), std::string::npos) << r.out;
}

TEST_F(ScanTool, UsageErrorsExitWithTwoAndHelpWithZero) {
    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("--grid").status, 2);
    EXPECT_EQ(run("--frobnicate --grid x.txt").status, 2);
    EXPECT_EQ(run("--debug-dir").status, 2);
    EXPECT_EQ(run("--debug-dir d a.bmp b.bmp").status, 2);
    EXPECT_EQ(run("--grid --debug-dir d a.bmp").status, 2);
    EXPECT_EQ(run("--cycle --grid x.txt").status, 2);
    EXPECT_EQ(run("--cycle --debug-dir d a.bmp").status, 2);
    const ToolRun help = run("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"--grid", "--json", "--debug-dir", "--cycle", "--trace", "Exit status"}) {
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
}

// A module grid drawn at 8 pixels per module with a 4-module margin, as
// a BMP file stored bottom-up or (negative height) top-down.
std::string bmpOfGrid(const std::string& gridText, bool topDown) {
    const int side = (static_cast<int>(splitLines(gridText).size()) + 8) * 8;
    return bmpBytes(pictureOfGrid(gridText, side, side, 8, 32, 32), topDown);
}

// Each kind leaves its log in its own folder; a top-down file is the same
// frame as its bottom-up twin, so every kind ends the same way.
TEST_F(ScanTool, DebugDirRunsTheFourKindsInTheirOwnFolders) {
    const std::string grid = readFile(kSamples + "hello-world.txt");
    writeFile(file("up.bmp"), bmpOfGrid(grid, false));
    writeFile(file("down.bmp"), bmpOfGrid(grid, true));
    const ToolRun up = run("--debug-dir " + quoted(file("dbg-up")) + " " + quoted(file("up.bmp")));
    const ToolRun down = run("--debug-dir " + quoted(file("dbg-down")) + " " + quoted(file("down.bmp")));
    const std::vector<std::string> lines = up.lines();
    ASSERT_EQ(lines.size(), 4u) << up.out << up.err;
    bool anyDecoded = false;
    for (int kind = 0; kind < 4; ++kind) {
        const std::string prefix = "kind" + std::to_string(kind) + ": ";
        EXPECT_EQ(lines[kind].substr(0, prefix.size()), prefix);
        const std::string result = lines[kind].substr(prefix.size());
        EXPECT_TRUE(result == "None" || result == "Hello, World! (ASCII)") << lines[kind];
        anyDecoded = anyDecoded || result != "None";
        EXPECT_TRUE(fs::exists(file("dbg-up") / ("kind" + std::to_string(kind)) / "r.log")) << kind;
    }
    EXPECT_EQ(up.status, anyDecoded ? 0 : 1) << up.err;
    EXPECT_EQ(down.out, up.out);
    EXPECT_EQ(down.status, up.status);
    EXPECT_FALSE(fs::exists(file("r.log")));
}

TEST_F(ScanTool, DebugDirRefusesBrokenAndUnsupportedFiles) {
    const std::string good = bmpOfGrid(readFile(kSamples + "hello-world.txt"), false);
    std::string bits32 = good;
    bits32[28] = 32;
    std::string huge = good;
    huge.replace(18, 4, std::string("\x00\x00\x01\x00", 4));  // 65536 wide
    struct Case {
        const char* name;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"truncated.bmp", good.substr(0, good.size() - 1), "truncated"},
        {"header.bmp", good.substr(0, 30), "truncated"},
        {"text.bmp", "Hello, World!", "unsupported file type"},
        {"bits32.bmp", bits32, "truncated"},  // 32-bit rows promised, 24-bit rows given
        {"huge.bmp", huge, "too large"},
    };
    for (const Case& c : cases) {
        writeFile(file(c.name), c.bytes);
        const ToolRun r = run("--debug-dir " + quoted(file("dbg")) + " " + quoted(file(c.name)));
        EXPECT_EQ(r.status, 2) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_NE(r.err.find(file(c.name).string() + ": "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
    }
    EXPECT_EQ(run("--debug-dir " + quoted(file("dbg")) + " " + quoted(file("none.bmp"))).status, 2);
}

}  // namespace
