#include <gtest/gtest.h>

#include <utility>

#include "frame/packed_frame.h"
#include "tests/support/frame_render.h"
#include "tests/support/independent_encoders.h"
#include "tool_run.h"

using tool_run::quoted;
using tool_run::ScanTool;

// A mirrored symbol, which the fixed cycle cannot read: --thorough reads it
// and reports how, leaves its prepared pictures in --debug-dir, and goes
// on past a file it cannot read.
TEST_F(ScanTool, ThoroughReadsWhatTheCycleMissesAndReportsHow)
{
    if (!independent::ProgramAvailable("zint"))
        GTEST_SKIP() << "zint not installed";
    frame_render::ModuleGrid grid;
    ASSERT_TRUE(frame_render::encodeWithZint(18, 18, "MIRROR IMAGE", grid));
    for (int r = 0; r < grid.rows; ++r)
        for (int c = 0; c < grid.cols / 2; ++c)
            std::swap(grid.dark[size_t(r * grid.cols + c)], grid.dark[size_t(r * grid.cols + grid.cols - 1 - c)]);
    const frame_render::Frame frame = frame_render::renderFrame(320, 240, grid, {160, 120, 6, 0});
    const auto picture = file("mirrored.bmp");
    ASSERT_TRUE(writeBmpFile(picture.string().c_str(), frame.pixels.data(), frame.width,
                             frame.height, frame.stride));

    const tool_run::ToolRun plain = run(quoted(picture));
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.out, picture.string() + ": None\n");

    const tool_run::ToolRun thorough = run("--thorough " + quoted(picture));
    EXPECT_EQ(thorough.status, 0);
    EXPECT_EQ(thorough.out.rfind(picture.string() + ": MIRROR IMAGE (", 0), 0u) << thorough.out;

    const tool_run::ToolRun json = run("--thorough --json " + quoted(file("missing.bmp")) + " " + quoted(picture));
    EXPECT_EQ(json.status, 2);
    ASSERT_EQ(json.lines().size(), 2u);
    EXPECT_NE(json.lines()[0].find("\"error\":"), std::string::npos);
    const std::string line = json.lines()[1];
    for (const char* member : {"\"decoded\":true", "\"text\":\"MIRROR IMAGE\"", "\"rows\":18",
                               "\"bytes\":\"MIRROR IMAGE\"", "\"length\":12", "\"step\":\""})
        EXPECT_NE(line.find(member), std::string::npos) << member << " in " << line;
    EXPECT_EQ(line.find("\"step\":\"cycle\""), std::string::npos) << line;

    const tool_run::ToolRun debug = run("--thorough --debug-dir " + quoted(file("steps")) + " " + quoted(picture));
    EXPECT_EQ(debug.status, 0);
    int pictures = 0;
    for (const auto& entry : tool_run::fs::directory_iterator(file("steps"))) {
        EXPECT_EQ(entry.path().extension(), ".bmp");
        EXPECT_GT(entry.file_size(), kBmpFileHeaderSize + kFrameHeaderSize);
        ++pictures;
    }
    EXPECT_GT(pictures, 0);

    EXPECT_EQ(run("--thorough --grid " + quoted(picture)).status, 2);
}
