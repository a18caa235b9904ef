#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "recognition/stage_timer.h"

namespace {

std::vector<uint32_t> ticks;
size_t nextTick = 0;

uint32_t scriptedTicks()
{
    return nextTick < ticks.size() ? ticks[nextTick++] : 0;
}

void collect(const char* text, void* context)
{
    static_cast<std::vector<std::string>*>(context)->push_back(text);
}

// Captures the debug channel and scripts the tick counter.
class StageTimerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setDebugSink(collect, &messages);
        setTickSource(scriptedTicks);
        nextTick = 0;
    }
    void TearDown() override
    {
        setTickSource(nullptr);
        setDebugSink(nullptr, nullptr);
    }
    void script(std::vector<uint32_t> values)
    {
        ticks = std::move(values);
        nextTick = 0;
    }

    std::vector<std::string> messages;
};

std::string streamSeconds(uint32_t ms)
{
    std::ostringstream out;
    out << static_cast<float>(ms / 1000.0);
    return out.str();
}

TEST_F(StageTimerTest, OneWholeMessageAtStartAndAtEnd)
{
    script({1000, 1250});
    {
        StageTimer timer("Start 45");
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], "Start 45 started...\n");
    }
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1], "Start 45 processed in 0.25 sec.\n");
}

TEST_F(StageTimerTest, ZeroMillisecondsPrintsZero)
{
    script({77, 77});
    { StageTimer timer("P  1"); }
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1], "P  1 processed in 0 sec.\n");
}

TEST_F(StageTimerTest, WrappedCounterCountsOneShort)
{
    script({4294967290u, 5});
    { StageTimer timer("RPL"); }
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1], "RPL processed in 0.01 sec.\n");
    EXPECT_EQ(stageElapsedMs(4294967290u, 5), 10u);
    EXPECT_EQ(stageElapsedMs(0xFFFFFFFFu, 0), 0u);
    EXPECT_EQ(stageElapsedMs(5, 5), 0u);
    EXPECT_EQ(stageElapsedMs(5, 4294967295u), 4294967290u);
}

TEST_F(StageTimerTest, EndMessageStillComesWhenAnExceptionLeavesTheScope)
{
    script({10, 26});
    try {
        StageTimer timer("FMP");
        throw std::runtime_error("stage failed");
    } catch (const std::runtime_error&) {
    }
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1], "FMP processed in 0.016 sec.\n");
}

TEST_F(StageTimerTest, NestedTimersEndInReverseOrder)
{
    script({0, 1, 3, 10});
    {
        StageTimer outer("RecogLine");
        { StageTimer inner("RecogLine End"); }
    }
    const std::vector<std::string> expected = {
        "RecogLine started...\n",
        "RecogLine End started...\n",
        "RecogLine End processed in 0.002 sec.\n",
        "RecogLine processed in 0.01 sec.\n",
    };
    EXPECT_EQ(messages, expected);
}

// Timers inside a quiet scope say nothing, on its thread only; the one
// around the scope still reports the whole.
TEST_F(StageTimerTest, QuietScopeSilencesItsThreadsTimers)
{
    script({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    {
        StageTimer outer("Thorough");
        QuietStages quiet;
        { StageTimer inner("Start 3"); }
        {
            QuietStages nested;
            StageTimer deeper("Start 4");
        }
        std::thread([] { StageTimer other("Other"); }).join();
        { StageTimer stillQuiet("Start 5"); }
    }
    const std::vector<std::string> expected = {
        "Thorough started...\n",
        "Other started...\n",
        "Other processed in 0.001 sec.\n",
        // Silent timers do not read the clock: the outer one ends at tick 3.
        "Thorough processed in 0.003 sec.\n",
    };
    EXPECT_EQ(messages, expected);
}

TEST_F(StageTimerTest, SecondsAreFormattedAsAStreamPrintsAFloat)
{
    const uint32_t samples[] = {0,       1,       16,       100,       999,       1000,
                                1500,    12345,   123456,   1234567,   16777217,  99999999,
                                4294967u, 4294967295u, 3600000, 86400000, 7,   1000001};
    for (uint32_t ms : samples) {
        EXPECT_EQ(stageEndMessage("DLO", ms), "DLO processed in " + streamSeconds(ms) + " sec.\n");
    }
}

TEST_F(StageTimerTest, LongNamesAreNotCut)
{
    const std::string name(600, 'n');
    script({0, 2000});
    { StageTimer timer(name.c_str()); }
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], name + " started...\n");
    EXPECT_EQ(messages[1], name + " processed in 2 sec.\n");
}

TEST_F(StageTimerTest, TickIsTakenAfterTheStartMessage)
{
    // The sink sees no tick read yet when the start message arrives.
    struct Probe {
        size_t ticksReadAtStart = 99;
    } probe;
    setDebugSink(
        [](const char*, void* context) {
            auto* p = static_cast<Probe*>(context);
            if (p->ticksReadAtStart == 99) {
                p->ticksReadAtStart = nextTick;
            }
        },
        &probe);
    script({1, 2});
    { StageTimer timer("OnM"); }
    EXPECT_EQ(probe.ticksReadAtStart, 0u);
}

TEST(StageTimerSilent, NoListenerMeansNoMessage)
{
    std::vector<std::string> seen;
    setDebugSink(collect, &seen);
    setDebugSink(nullptr, nullptr);
    EXPECT_FALSE(debugChannelActive());
    { StageTimer timer("Start 1"); }
    EXPECT_TRUE(seen.empty());
}

}  // namespace
