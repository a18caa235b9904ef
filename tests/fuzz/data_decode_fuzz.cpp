// DecodeDataCodewords on any codeword stream, also longer than the
// decoder takes, and the extended decoding with every extension on (up to
// the largest symbol's data), its ECI segments converted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ecc200/data_decode.h"
#include "ecc200/decode_extensions.h"
#include "ecc200/eci.h"
#include "ecc200/placement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A little past the largest data of any symbol.
    if (size > 1600) {
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
    if (text != nullptr && length > kMaxDecodedDataCodewords) {
        std::abort();
    }
    if (text != nullptr) {
        // The text's buffer is 4 * length + 1 bytes; its terminator lies inside.
        if (textLength < 0 || textLength > 4 * length || text[textLength] != '\0') {
            std::abort();
        }
        std::free(text);
    }

    DecodeExtensions all;
    all.largeSymbols = all.fnc1 = all.macros = all.readerProgramming = all.eci = true;
    ExtendedData extended;
    if (DecodeDataCodewordsExtended(buffer, all, extended)) {
        std::string utf8;
        EciBytesToUtf8(extended.bytes, extended.segments, utf8);
    }
    ReleaseCodewordBuffer(buffer);
    return 0;
}
