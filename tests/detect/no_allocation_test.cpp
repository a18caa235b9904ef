// Detection works inside the Recognizer's fixed arrays: a detect call must
// not touch the allocator, and frames of any shape (one pixel, one row,
// padded rows, very large, symbols cut by the frame edge) must come back
// with 0 or 1 and no access outside the pixel buffer (the sanitizer build
// checks the latter).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "detect/recognizer.h"
#include "tests/support/frame_render.h"

// The replacements pair malloc with free; GCC, seeing them inlined into
// new and delete expressions, takes that for a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {

// The replaced global allocation functions below count only while this is
// set, so the other tests of the binary are unaffected.
std::atomic<bool> countingAllocations{false};
std::atomic<long long> allocationCount{0};

void* countedAllocation(std::size_t size)
{
    if (countingAllocations.load(std::memory_order_relaxed))
        allocationCount.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}

void* countedAlignedAllocation(std::size_t size, std::align_val_t alignment)
{
    if (countingAllocations.load(std::memory_order_relaxed))
        allocationCount.fetch_add(1, std::memory_order_relaxed);
    const std::size_t align = static_cast<std::size_t>(alignment);
    const std::size_t rounded = (size + align - 1) / align * align;
    return std::aligned_alloc(align, rounded == 0 ? align : rounded);
}

}  // namespace

void* operator new(std::size_t size)
{
    if (void* p = countedAllocation(size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return countedAllocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return countedAllocation(size);
}
void* operator new(std::size_t size, std::align_val_t alignment)
{
    if (void* p = countedAlignedAllocation(size, alignment))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment)
{
    return operator new(size, alignment);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept
{
    std::free(p);
}

namespace {

using namespace frame_render;

struct DetectRun {
    int result;
    long long allocations;
};

// detect on a private copy of the frame; the copy and the Recognizer are
// made before counting starts, as the recognition attempt makes them.
DetectRun countedDetect(const Frame& frame, unsigned flags)
{
    std::vector<uint8_t> copy = frame.pixels;
    auto r = std::make_unique<Recognizer>();
    r->width = frame.width;
    r->height = frame.height;
    r->stride = frame.stride;
    r->pixels = copy.data();
    r->ownsPixels = 0;
    allocationCount = 0;
    countingAllocations = true;
    const int result = r->detect(210, "out0.bmp", "outt.txt", flags);
    countingAllocations = false;
    return {result, allocationCount.load()};
}

Frame symbolFrame(int width, int height, int rows, int cols, const Placement& at)
{
    ModuleGrid grid;
    EXPECT_TRUE(encodeWithZint(rows, cols, "no-alloc", grid));
    return renderFrame(width, height, grid, at);
}

TEST(NoAllocation, DetectTouchesNoAllocatorWithOrWithoutASymbol)
{
    const Frame withSymbol = symbolFrame(640, 480, 16, 16, Placement{300, 250, 8, 20});
    const Frame without = noiseFrame(640, 480, 7);
    int foundCount = 0;
    for (unsigned flags : kAttemptFlags) {
        const DetectRun found = countedDetect(withSymbol, flags);
        foundCount += found.result == 1;
        EXPECT_EQ(found.allocations, 0) << std::hex << flags;
        const DetectRun none = countedDetect(without, flags);
        EXPECT_EQ(none.result, 0) << std::hex << flags;
        EXPECT_EQ(none.allocations, 0) << std::hex << flags;
    }
    // Not every threshold choice finds it, but the path through grid
    // sampling must have been taken.
    EXPECT_GT(foundCount, 0);
}

TEST(UnusualFrames, TinyAndPaddedFramesReturnCleanly)
{
    struct Size {
        int width;
        int height;
    };
    const Size sizes[] = {{1, 1}, {1, 7}, {9, 1}, {1, 480}, {640, 1}, {2, 2}, {3, 5},
                          {5, 3}, {7, 7}, {321, 17}, {13, 321}, {2, 640}, {641, 2}};
    for (const Size& s : sizes) {
        for (uint32_t seed = 1; seed <= 3; ++seed) {
            const Frame frames[] = {noiseFrame(s.width, s.height, seed),
                                    uniformFrame(s.width, s.height, uint8_t(seed * 80))};
            for (const Frame& f : frames)
                for (unsigned flags : kAttemptFlags) {
                    const DetectRun run = countedDetect(f, flags);
                    EXPECT_TRUE(run.result == 0 || run.result == 1)
                        << s.width << "x" << s.height << " flags " << std::hex << flags;
                    EXPECT_EQ(run.allocations, 0);
                }
        }
    }
}

TEST(UnusualFrames, SymbolsCutByTheFrameEdgeReturnCleanly)
{
    ModuleGrid grid;
    ASSERT_TRUE(encodeWithZint(20, 20, "edge", grid));
    const Placement places[] = {
        {0, 0, 8, 0},      {150, 10, 8, 0},   {10, 200, 7, 33}, {310, 200, 9, 45},
        {300, 10, 6, 200}, {150, 230, 10, 95}, {-20, 120, 8, 10}, {290, 250, 8, 300},
    };
    for (const Placement& at : places) {
        const Frame f = renderFrame(317, 241, grid, at);
        for (unsigned flags : kAttemptFlags) {
            const DetectRun run = countedDetect(f, flags);
            EXPECT_TRUE(run.result == 0 || run.result == 1) << at.centerX << "," << at.centerY;
            EXPECT_EQ(run.allocations, 0);
        }
    }
}

// Beyond the design reach of 998 pixels per walk: the walks must stop at
// the capacity of their arrays.
TEST(UnusualFrames, VeryLargeFramesReturnCleanly)
{
    const Frame big = symbolFrame(4096, 4096, 48, 48, Placement{2000, 2100, 60, 12});
    for (unsigned flags : {kAttemptFlags[0], kAttemptFlags[2]}) {
        const DetectRun run = countedDetect(big, flags);
        EXPECT_TRUE(run.result == 0 || run.result == 1);
        EXPECT_EQ(run.allocations, 0);
    }
    const Frame noise = noiseFrame(4096, 4096, 3);
    const DetectRun run = countedDetect(noise, kAttemptFlags[0]);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.allocations, 0);
}

}  // namespace
