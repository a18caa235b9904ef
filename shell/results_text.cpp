#include "shell/results_text.h"

#include <cstring>

char ResultsText[kResultsTextCapacity];

namespace {

// Trimming starts when the text and the new line reach the first bound and
// goes on until they are below the second.
constexpr size_t kTrimStart = 29998;
constexpr size_t kTrimUntil = 30098;

// A line that alone would break the bound is shortened, so that the text
// never exceeds kTrimUntil + 1 characters.
constexpr size_t kLongestLine = kTrimUntil - 1 - 2;

size_t prependedLength;

// Removes the last CR of the text[0, length) and all after it; a text
// without CR is emptied, so that trimming always ends.
size_t cutOldestLine(size_t length) {
    while (length > 0) {
        --length;
        if (ResultsText[length] == '\r') {
            break;
        }
    }
    ResultsText[length] = '\0';
    return length;
}

}  // namespace

int prependResultLine(const char* line) {
    size_t lineLength = std::strlen(line);
    if (lineLength > kLongestLine) {
        lineLength = kLongestLine;
    }
    size_t textLength = std::strlen(ResultsText);
    if (textLength + lineLength >= kTrimStart) {
        textLength = cutOldestLine(textLength);
        while (textLength > 0 && textLength + lineLength >= kTrimUntil) {
            textLength = cutOldestLine(textLength);
        }
    }
    // Shift the text (with its NUL) right, then write the line and CR LF
    // in front of it.
    std::memmove(ResultsText + lineLength + 2, ResultsText, textLength + 1);
    std::memcpy(ResultsText, line, lineLength);
    ResultsText[lineLength] = '\r';
    ResultsText[lineLength + 1] = '\n';
    prependedLength += lineLength + 2;
    return 0;
}

void clearResultsText() {
    ResultsText[0] = '\0';
    prependedLength = 0;
}

size_t takePrependedLength() {
    const size_t length = prependedLength;
    prependedLength = 0;
    return length;
}
