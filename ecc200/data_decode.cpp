#include "ecc200/data_decode.h"

#include <cstdlib>
#include <utility>

#include "ecc200/decode_extensions.h"

namespace {

// ASCII-encodation codewords with a meaning beyond a character
// (ISO/IEC 16022, Table 2).
constexpr uint8_t kPad = 129;
constexpr uint8_t kLatchC40 = 230;
constexpr uint8_t kLatchBase256 = 231;
constexpr uint8_t kFnc1 = 232;
constexpr uint8_t kReaderProgramming = 234;
constexpr uint8_t kUpperShift = 235;
constexpr uint8_t kMacro05 = 236;
constexpr uint8_t kMacro06 = 237;
constexpr uint8_t kLatchX12 = 238;
constexpr uint8_t kLatchText = 239;
constexpr uint8_t kLatchEdifact = 240;
constexpr uint8_t kEci = 241;
constexpr uint8_t kUnlatch = 254;

constexpr int32_t kEdifactUnlatch = 31;
constexpr int32_t kC40Fnc1 = 27;
constexpr char kGroupSeparator = 0x1D;

// 255-state unrandomizing (ISO/IEC 16022, Annex B.2) of a codeword at
// 1-based data position `position`.
uint8_t Unrandomize255(int32_t position, uint8_t codeword) {
    const int32_t t = codeword - (149 * position) % 255;
    return static_cast<uint8_t>(t > 0 ? t - 1 : t + 255);
}

struct DecodeState {
    const uint8_t* codewords;
    int32_t count;
    int32_t pos;  // 0-based index of the next codeword (position pos + 1)
    int32_t mode;
    int32_t reported;
    bool unlatchFlag;
    bool ended;
    bool failed;
    // C40, Text and X12 state carried from one value to the next.
    int32_t shiftSet;  // 0 basic, 1..3 the shift set for the next value
    bool upperShift;   // the next character is raised by 128
    int32_t base256Remaining;
    char* text;
    int32_t textLength;
    int32_t textCapacity;  // characters, without the NUL
    // The extended decoding's codewords; nullptr for the default decoder.
    const DecodeExtensions* extensions;
    ExtendedData* extra;
};

void Append(DecodeState& st, int32_t byte) {
    if (st.textLength < st.textCapacity) st.text[st.textLength++] = static_cast<char>(byte & 0xFF);
}

void EnterMode(DecodeState& st, int32_t mode) {
    st.mode = mode;
    st.reported = mode;
    st.shiftSet = 0;
    st.upperShift = false;
}

// The length field follows 231 at once: one byte, or two when the first
// unrandomizes to 250 or more (ISO/IEC 16022, 5.2.9.1). Length 0 runs to the
// end of the data.
void LatchBase256(DecodeState& st) {
    EnterMode(st, MODE_BASE256);
    if (st.pos >= st.count) {
        st.ended = true;
        return;
    }
    const int32_t d1 = Unrandomize255(st.pos + 1, st.codewords[st.pos]);
    ++st.pos;
    if (d1 == 0) {
        st.base256Remaining = st.count - st.pos;
    } else if (d1 < 250) {
        st.base256Remaining = d1;
    } else if (st.pos < st.count) {
        st.base256Remaining = 250 * (d1 - 249) + Unrandomize255(st.pos + 1, st.codewords[st.pos]);
        ++st.pos;
    } else {
        st.ended = true;
    }
}

void AppendText(DecodeState& st, const char* text) {
    while (*text != '\0') Append(st, *text++);
}

// A letter or a digit pair: what may stand before an FNC1 in second
// position as an application indicator (ISO/IEC 16022, 5.6.2).
bool IsApplicationIndicator(uint8_t c) {
    return (c >= 'A' + 1 && c <= 'Z' + 1) || (c >= 'a' + 1 && c <= 'z' + 1) || (c >= 130 && c <= 229);
}

// FNC1 in first position marks GS1 data, in second position after an
// application indicator an industry format; neither is transmitted.
// Anywhere else it separates fields and is transmitted as GS.
void DecodeFnc1(DecodeState& st) {
    if (st.pos == 1) {
        st.extra->gs1 = true;
    } else if (!(st.pos == 2 && IsApplicationIndicator(st.codewords[0]))) {
        Append(st, kGroupSeparator);
    }
}

// The designator after 241 takes one to three codewords (ISO/IEC 16022,
// 5.4.2). A designator cut by the end of the data, or a codeword outside
// its range, makes the data undecodable.
bool ReadEciDesignator(DecodeState& st) {
    int32_t c[3] = {};
    const int32_t first = st.pos < st.count ? st.codewords[st.pos] : 0;
    const int32_t length = first == 0 ? 0 : first <= 127 ? 1 : first <= 191 ? 2 : 3;
    if (length == 0 || st.count - st.pos < length) return false;
    for (int32_t k = 0; k < length; ++k) c[k] = st.codewords[st.pos++];
    for (int32_t k = 1; k < length; ++k) {
        if (c[k] < 1 || c[k] > 254) return false;
    }
    int32_t eci = c[0] - 1;
    if (length == 2) eci = (c[0] - 128) * 254 + c[1] - 1 + 127;
    if (length == 3) eci = (c[0] - 192) * 64516 + (c[1] - 1) * 254 + c[2] - 1 + 16383;
    st.extra->segments.push_back({st.textLength, eci});
    return true;
}

// ASCII codewords that only the extended decoding knows. Reader
// programming and the macros stand only in first position; the macro
// header goes out here and the trailer when the data ends.
bool DecodeExtendedCodeword(DecodeState& st, uint8_t c) {
    const DecodeExtensions* x = st.extensions;
    if (x == nullptr) return false;
    if (c == kFnc1 && x->fnc1) {
        DecodeFnc1(st);
        return true;
    }
    if (c == kReaderProgramming && x->readerProgramming && st.pos == 1) {
        st.extra->readerProgramming = true;
        return true;
    }
    if ((c == kMacro05 || c == kMacro06) && x->macros && st.pos == 1) {
        st.extra->macro = c == kMacro05 ? 5 : 6;
        AppendText(st, c == kMacro05 ? "[)>\x1e" "05\x1d" : "[)>\x1e" "06\x1d");
        return true;
    }
    if (c == kEci && x->eci) return ReadEciDesignator(st);
    return false;
}

bool IsLatch(uint8_t c) {
    return c == kLatchC40 || c == kLatchBase256 || c == kUpperShift || c == kLatchX12 ||
           c == kLatchText || c == kLatchEdifact;
}

void DecodeAscii(DecodeState& st) {
    const uint8_t c = st.codewords[st.pos++];
    if (st.unlatchFlag) {
        st.unlatchFlag = false;
        if (!IsLatch(c)) {
            st.ended = true;
            return;
        }
    }
    if (c <= 128) {
        Append(st, c - 1);
    } else if (c == kPad) {
        st.ended = true;
    } else if (c <= 229) {
        Append(st, '0' + (c - 130) / 10);
        Append(st, '0' + (c - 130) % 10);
    } else if (c == kLatchC40) {
        EnterMode(st, MODE_C40);
    } else if (c == kLatchBase256) {
        LatchBase256(st);
    } else if (c == kUpperShift) {
        EnterMode(st, MODE_ASCII_UPPER_SHIFT);
    } else if (c == kLatchX12) {
        EnterMode(st, MODE_X12);
    } else if (c == kLatchText) {
        EnterMode(st, MODE_TEXT);
    } else if (c == kLatchEdifact) {
        EnterMode(st, MODE_EDIFACT);
    } else if (c == kUnlatch) {
        st.unlatchFlag = true;
    } else if (!DecodeExtendedCodeword(st, c)) {
        st.failed = true;
    }
}

void DecodeUpperShifted(DecodeState& st) {
    Append(st, st.codewords[st.pos++] + 127);
    st.mode = MODE_ASCII;
}

void AppendShifted(DecodeState& st, int32_t ch) {
    Append(st, st.upperShift ? ch + 128 : ch);
    st.upperShift = false;
}

// Shift 2 set of C40 and Text (ISO/IEC 16022, Table C.1): punctuation, FNC1
// (27, no character here) and the upper shift (30).
void DecodeShift2(DecodeState& st, int32_t v) {
    if (v < 15) {
        AppendShifted(st, '!' + v);
    } else if (v < 22) {
        AppendShifted(st, ':' + v - 15);
    } else if (v < 27) {
        AppendShifted(st, '[' + v - 22);
    } else if (v == 30) {
        st.upperShift = true;
    } else if (v == kC40Fnc1 && st.extensions != nullptr && st.extensions->fnc1) {
        Append(st, kGroupSeparator);
    }
}

// One C40 or Text value (ISO/IEC 16022, 5.2.5 and Annex C); values outside
// a set yield nothing.
void DecodeC40TextValue(DecodeState& st, int32_t v, bool text) {
    const int32_t set = st.shiftSet;
    st.shiftSet = 0;
    if (set == 0) {
        if (v < 3) {
            st.shiftSet = v + 1;
        } else if (v == 3) {
            AppendShifted(st, ' ');
        } else if (v < 14) {
            AppendShifted(st, '0' + v - 4);
        } else if (v < 40) {
            AppendShifted(st, (text ? 'a' : 'A') + v - 14);
        }
    } else if (set == 1) {
        if (v < 32) AppendShifted(st, v);
    } else if (set == 2) {
        DecodeShift2(st, v);
    } else if (v == 0) {
        AppendShifted(st, '`');
    } else if (v < 27) {
        AppendShifted(st, (text ? 'A' : 'a') + v - 1);
    } else if (v < 32) {
        AppendShifted(st, '{' + v - 27);
    }
}

// X12 set (ISO/IEC 16022, 5.2.7): CR, '*', '>', space, digits, capitals.
void DecodeX12Value(DecodeState& st, int32_t v) {
    static constexpr char kX12Specials[4] = {'\r', '*', '>', ' '};
    if (v < 4) {
        Append(st, kX12Specials[v]);
    } else if (v < 14) {
        Append(st, '0' + v - 4);
    } else if (v < 40) {
        Append(st, 'A' + v - 14);
    }
}

// C40, Text and X12 pack three values in two codewords; 254 in place of a
// pair returns to ASCII. A single codeword left at the end of the data is
// ASCII after an implied unlatch (ISO/IEC 16022, 5.2.5.2).
void DecodeTriplet(DecodeState& st) {
    const uint8_t c1 = st.codewords[st.pos];
    if (c1 == kUnlatch || st.count - st.pos == 1) {
        if (c1 == kUnlatch) ++st.pos;
        st.mode = MODE_ASCII;
        return;
    }
    const int32_t v = c1 * 256 + st.codewords[st.pos + 1] - 1;
    st.pos += 2;
    // 1600 * 39 + 40 * 39 + 39 is the largest pair value; others are no text.
    if (v < 0 || v > 63999) return;
    const int32_t values[3] = {v / 1600, (v / 40) % 40, v % 40};
    for (int32_t value : values) {
        if (st.mode == MODE_X12) {
            DecodeX12Value(st, value);
        } else {
            DecodeC40TextValue(st, value, st.mode == MODE_TEXT);
        }
    }
}

// EDIFACT packs four 6-bit values in three codewords. After the unlatch
// value the rest of its codeword is padding and ASCII resumes at the next
// codeword; one or two codewords left at the end of the data are ASCII
// after an implied unlatch (ISO/IEC 16022, 5.2.8).
void DecodeEdifact(DecodeState& st) {
    if (st.count - st.pos < 3) {
        st.mode = MODE_ASCII;
        return;
    }
    const uint8_t* c = st.codewords + st.pos;
    const uint32_t bits = (static_cast<uint32_t>(c[0]) << 16) | (static_cast<uint32_t>(c[1]) << 8) | c[2];
    // Codewords taken up to and including the one holding a value's last bit.
    static constexpr int32_t kBytesThrough[4] = {1, 2, 3, 3};
    for (int k = 0; k < 4; ++k) {
        const int32_t v = static_cast<int32_t>((bits >> (18 - 6 * k)) & 0x3F);
        if (v == kEdifactUnlatch) {
            st.pos += kBytesThrough[k];
            st.mode = MODE_ASCII;
            return;
        }
        Append(st, (v & 0x20) != 0 ? v : (v | 0x40));
    }
    st.pos += 3;
}

void DecodeBase256(DecodeState& st) {
    if (st.base256Remaining <= 0) {
        st.mode = MODE_ASCII;
        return;
    }
    Append(st, Unrandomize255(st.pos + 1, st.codewords[st.pos]));
    ++st.pos;
    --st.base256Remaining;
}

void DecodeNext(DecodeState& st) {
    switch (st.mode) {
        case MODE_ASCII: DecodeAscii(st); break;
        case MODE_ASCII_UPPER_SHIFT: DecodeUpperShifted(st); break;
        case MODE_EDIFACT: DecodeEdifact(st); break;
        case MODE_BASE256: DecodeBase256(st); break;
        default: DecodeTriplet(st); break;
    }
}

bool UsableData(const CodewordBuffer* data, bool anyLength) {
    return data != nullptr && data->length >= 0 && data->length <= data->capacity &&
           (anyLength || data->length <= kMaxDecodedDataCodewords);
}

// Decodes every codeword of `data` into `text` (room for `capacity` bytes);
// false when a codeword has no meaning.
bool DecodeInto(const CodewordBuffer* data, char* text, int32_t capacity, DecodeState& st) {
    st.codewords = data->bytes;
    st.count = data->length;
    st.text = text;
    st.textCapacity = capacity;
    while (!st.ended && !st.failed && st.pos < st.count) DecodeNext(st);
    return !st.failed;
}

}  // namespace

char* DecodeDataCodewords(const CodewordBuffer* data, EncodationMode& mode, int32_t& textLength) {
    mode = MODE_ASCII;
    if (!UsableData(data, false)) return nullptr;
    const int32_t capacity = 4 * data->length;
    char* text = static_cast<char*>(std::malloc(static_cast<size_t>(capacity) + 1));
    if (text == nullptr) return nullptr;
    DecodeState st = {};
    if (!DecodeInto(data, text, capacity, st)) {
        std::free(text);
        return nullptr;
    }
    text[st.textLength] = '\0';
    textLength = st.textLength;
    mode = static_cast<EncodationMode>(st.reported);
    return text;
}

bool DecodeDataCodewordsExtended(const CodewordBuffer* data, const DecodeExtensions& extensions,
                                 ExtendedData& out) {
    out = ExtendedData();
    if (!UsableData(data, extensions.largeSymbols)) return false;
    // Room for two digits a codeword (3,116 bytes for the largest symbol)
    // and the macro header and trailer.
    std::string text(static_cast<size_t>(4 * data->length + 16), '\0');
    DecodeState st = {};
    st.extensions = &extensions;
    st.extra = &out;
    if (!DecodeInto(data, &text[0], static_cast<int32_t>(text.size()), st)) {
        out = ExtendedData();
        return false;
    }
    if (out.macro != 0) AppendText(st, "\x1e\x04");
    text.resize(static_cast<size_t>(st.textLength));
    out.bytes = std::move(text);
    out.mode = static_cast<EncodationMode>(st.reported);
    return true;
}
