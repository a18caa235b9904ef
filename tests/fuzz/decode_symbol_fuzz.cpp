// DecodeSymbol on any grid: any row and column counts (also sizes that are
// not ECC200 sizes, and negative ones) and any module bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ecc200/ecc200.h"

namespace {

// 0..199 as they are, 200..255 as -56..-1.
int32_t sideFrom(uint8_t byte) { return byte < 200 ? byte : byte - 256; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const int32_t rows = sideFrom(data[0]);
    const int32_t cols = sideFrom(data[1]);
    data += 2;
    size -= 2;

    // The grid gets exactly rows x cols bytes, so that any read past it is
    // caught; input beyond that is ignored, missing modules are light.
    const size_t cells = rows > 0 && cols > 0 ? size_t(rows) * size_t(cols) : 0;
    std::unique_ptr<uint8_t[]> grid(new uint8_t[cells]);
    std::memset(grid.get(), 0, cells);
    std::memcpy(grid.get(), data, size < cells ? size : cells);

    int32_t correctedFlag = -7;
    int32_t correctedCount = -7;
    int32_t mode = -7;
    const DecodeResult result =
        DecodeSymbol(cols, rows, grid.get(), correctedFlag, correctedCount, mode);

    if (memchr(result.text, '\0', sizeof result.text) == nullptr) {
        std::abort();  // the text must end within its array
    }
    if (result.status == DecodeStatus::Ok) {
        if (mode == -7 || correctedFlag == -7 || correctedCount < 0) {
            std::abort();  // a success writes every out-value
        }
    } else if (result.text[0] != '\0' || mode != -7) {
        std::abort();  // a failure gives no text and leaves the mode alone
    }
    return 0;
}
