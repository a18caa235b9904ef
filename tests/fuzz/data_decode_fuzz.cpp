// DecodeDataCodewords on any codeword stream, also longer than the
// decoder takes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ecc200/data_decode.h"
#include "ecc200/placement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A little past the largest stream decoded, to cover the refusal.
    if (size > size_t(kMaxDecodedDataCodewords) + 8) {
        return 0;
    }
    const int32_t length = static_cast<int32_t>(size);
    CodewordBuffer* buffer = CreateCodewordBuffer(length);
    if (buffer == nullptr) {
        std::abort();
    }
    if (length > 0) {
        std::memcpy(buffer->bytes, data, size);
    }
    buffer->length = length;

    EncodationMode mode = MODE_ASCII;
    int32_t textLength = 0;
    char* text = DecodeDataCodewords(buffer, mode, textLength);
    if (text != nullptr) {
        // The text's buffer is 4 * length + 1 bytes; its terminator lies inside.
        if (textLength < 0 || textLength > 4 * length || text[textLength] != '\0') {
            std::abort();
        }
        std::free(text);
    }
    ReleaseCodewordBuffer(buffer);
    return 0;
}
