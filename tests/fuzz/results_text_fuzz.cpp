// prependResultLine on any sequence of lines, long and short, with and
// without CR: after every call the text stays within its bound, starts
// with the new line and CR LF, and what follows is the older text or a
// piece of its beginning.
//
// Input, repeated: a repeat count, a length (2 bytes), a fill byte; then a
// line of that many fill bytes, except that the following input bytes (up
// to the next 0xFF) are written over its start. The line is put in front
// as often as the repeat count says.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shell/results_text.h"

namespace {

// Longest text: 30,097 characters of line and old text, then CR LF.
constexpr size_t kTextBound = 30099;
constexpr size_t kLongestLine = 30095;

void checkAfterPrepend(const std::string& line, const std::string& before) {
    const size_t length = strnlen(ResultsText, kResultsTextCapacity);
    if (length > kTextBound) {
        std::abort();
    }
    // The line as the text holds it: up to its first NUL, cut to the
    // longest line.
    const size_t lineLength = std::min(std::strlen(line.c_str()), kLongestLine);
    if (length < lineLength + 2 || std::memcmp(ResultsText, line.c_str(), lineLength) != 0 ||
        ResultsText[lineLength] != '\r' || ResultsText[lineLength + 1] != '\n') {
        std::abort();
    }
    const size_t rest = length - lineLength - 2;
    if (rest > before.size() || std::memcmp(ResultsText + lineLength + 2, before.data(), rest) != 0) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    clearResultsText();
    prependResultLine("Start program!");
    size_t at = 0;
    while (at + 4 <= size) {
        const int repeats = 1 + data[at] % 32;
        const size_t length = size_t(data[at + 1] | data[at + 2] << 8) % 33000;
        std::string line(length, static_cast<char>(data[at + 3]));
        at += 4;
        for (size_t i = 0; at < size && data[at] != 0xFF; ++i, ++at) {
            if (i < line.size()) {
                line[i] = static_cast<char>(data[at]);
            }
        }
        ++at;
        for (int r = 0; r < repeats; ++r) {
            const std::string before(ResultsText);
            prependResultLine(line.c_str());
            checkAfterPrepend(line, before);
        }
    }
    return 0;
}
