// The decoder against symbols that independent encoders (libdmtx's
// dmtxwrite and zint) make at test time, for every ECC200 size and every
// data encodation. Texts are sized to fill each symbol (and a third of
// it), and drawn from the character sets that make each encodation use
// its basic set, its shifts and its upper shift.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "ecc200/ecc200.h"
#include "tests/support/independent_encoders.h"

namespace {

using independent::EncodedSymbol;
using independent::kSymbolSizes;
using independent::SymbolSize;

// ISO/IEC 16022, 5.2.3: data beyond 200 codewords yields no text here.
constexpr int kMaxDecodedDataCodewords = 200;

// Deterministic texts: the same symbols in every run.
struct TextSource {
    uint32_t state;
    uint32_t next(uint32_t bound) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % bound;
    }
    char pick(const std::string& set) { return set[next(static_cast<uint32_t>(set.size()))]; }
};

const std::string kDigits = "0123456789";
const std::string kUpper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
const std::string kLower = "abcdefghijklmnopqrstuvwxyz";
const std::string kPunct = "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~";

char highByte(TextSource& s) { return static_cast<char>(128 + s.next(128)); }

// Text classes, named by the dmtxwrite encodation letter that suits them;
// 'D' is digits only.
std::string makeText(char textClass, size_t length, uint32_t seed) {
    TextSource s{seed};
    std::string text;
    while (text.size() < length) {
        const uint32_t roll = s.next(100);
        switch (textClass) {
        case 'D': text += s.pick(kDigits); break;
        case 'a':  // digit pairs, letters, punctuation, upper shifts
            text += roll < 30   ? s.pick(kDigits)
                    : roll < 55 ? s.pick(kUpper)
                    : roll < 80 ? s.pick(kLower)
                    : roll < 92 ? s.pick(kPunct + " ")
                                : highByte(s);
            break;
        case 'c':  // C40 basic set, with shift 2, shift 3 and upper shift
            text += roll < 70   ? s.pick(kUpper + kDigits + " ")
                    : roll < 85 ? s.pick(kLower)
                    : roll < 95 ? s.pick(kPunct)
                                : highByte(s);
            break;
        case 't':  // Text basic set, with shifts and upper shift
            text += roll < 70   ? s.pick(kLower + kDigits + " ")
                    : roll < 85 ? s.pick(kUpper)
                    : roll < 95 ? s.pick(kPunct)
                                : highByte(s);
            break;
        case 'x': text += s.pick(kUpper + kDigits + " *>\r"); break;
        case 'e': text += static_cast<char>(32 + s.next(63)); break;  // 32 to 94
        default: text += static_cast<char>(1 + s.next(255)); break;   // Base 256: 1 to 255
        }
    }
    return text;
}

// Codewords that the forced encodation needs for `text`, with a codeword
// of slack for a closing unlatch; used only to find a length that fits.
int ascii(const std::string& t) {
    int cw = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        const bool pair = i + 1 < t.size() && std::isdigit(static_cast<unsigned char>(t[i])) &&
                          std::isdigit(static_cast<unsigned char>(t[i + 1]));
        cw += static_cast<unsigned char>(t[i]) >= 128 ? 2 : 1;
        if (pair) ++i;
    }
    return cw;
}

int c40Values(const std::string& t, const std::string& basic) {
    int values = 0;
    for (char ch : t) {
        const unsigned char u = static_cast<unsigned char>(ch);
        const char low = static_cast<char>(u & 0x7F);
        values += (u >= 128 ? 2 : 0) + (basic.find(low) != std::string::npos ? 1 : 2);
    }
    return values;
}

int codewordsNeeded(char encodation, const std::string& t) {
    const int n = static_cast<int>(t.size());
    switch (encodation) {
    case 'a':
    case 'D': return ascii(t);
    case 'c': return 2 + 2 * ((c40Values(t, kUpper + kDigits + " ") + 2) / 3);
    case 't': return 2 + 2 * ((c40Values(t, kLower + kDigits + " ") + 2) / 3);
    case 'x': return 2 + 2 * ((n + 2) / 3);
    case 'e': return 1 + ((n + 1) * 6 + 7) / 8;
    default: return 1 + (n <= 249 ? 1 : 2) + n;
    }
}

// The longest prefix of a long text that the encoder accepts for the
// size, starting from the estimate and shortening until it fits.
template <typename Encode>
bool fitText(const std::string& pool, char encodation, const SymbolSize& size, double share,
             Encode encode, std::string& text, EncodedSymbol& symbol, std::string& error) {
    const int budget = static_cast<int>(size.dataCodewords * share);
    // Longest prefix within the budget (the need grows with the length).
    size_t n = 1;
    size_t tooLong = pool.size() + 1;
    while (n + 1 < tooLong) {
        const size_t mid = n + (tooLong - n) / 2;
        if (codewordsNeeded(encodation, pool.substr(0, mid)) <= budget) n = mid;
        else tooLong = mid;
    }
    for (int attempt = 0; attempt < 40 && n > 0; ++attempt) {
        text = pool.substr(0, n);
        if (encode(text, symbol, error)) return true;
        n -= n / 40 + 1;
    }
    return false;
}

struct Tally {
    int symbols = 0;
    int exact = 0;   // decoded to exactly the input
    int noText = 0;  // over 200 data codewords: corrected, no text
    int refused = 0; // the encoder made no symbol
    int deviating = 0;  // libdmtx 144 x 144: uncorrectable, as expected
    std::map<int, int> modes;  // reported mode -> decoded symbols
};

// Summary over the whole run: encoder -> size -> encodation -> counts.
using Summary = std::map<std::string, std::map<int, std::map<std::string, Tally>>>;
Summary& summary() {
    static Summary s;
    return s;
}

std::string sizeName(const SymbolSize& s) { return std::to_string(s.rows) + "x" + std::to_string(s.cols); }

std::string hexBytes(const std::string& s) {
    std::string out;
    char b[4];
    for (char c : s.substr(0, 60)) {
        std::snprintf(b, sizeof b, "%02x", static_cast<unsigned char>(c));
        out += b;
    }
    return s.size() > 60 ? out + "..." : out;
}

bool hasHighByte(const std::string& s) {
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 128) return true;
    }
    return false;
}

bool contains(const std::vector<int>& list, int value) {
    for (int v : list) {
        if (v == value) return true;
    }
    return false;
}

std::string listed(const std::vector<int>& list) {
    std::string out;
    for (int v : list) out += (out.empty() ? "" : " ") + std::to_string(v);
    return out;
}

struct Expectation {
    std::vector<int> modes;  // accepted EncodationMode codes
    // libdmtx interleaves the 144 x 144 size against ISO/IEC 16022, 5.7.2
    // (ZXing cannot read its 144 x 144 symbols either, zint's it reads).
    bool nonStandardInterleaving = false;
};

// Decodes one encoder symbol and checks it against its input.
void checkSymbol(const EncodedSymbol& symbol, const SymbolSize& size, const std::string& input,
                 const Expectation& expected, const std::string& what, Tally& tally) {
    int32_t flag = 0;
    int32_t corrected = -1;
    int32_t mode = -1;
    const DecodeResult r = DecodeSymbol(symbol.cols, symbol.rows, symbol.modules.data(), flag, corrected, mode);
    ++tally.symbols;
    if (size.dataCodewords > kMaxDecodedDataCodewords) {
        // Correction succeeds (a failed block gives Uncorrectable); the text
        // is beyond what the data decoder reads.
        const bool accepted = r.status == DecodeStatus::NoText ||
                              (expected.nonStandardInterleaving && r.status == DecodeStatus::Uncorrectable);
        EXPECT_TRUE(accepted) << what << ": status " << static_cast<int>(r.status);
        EXPECT_STREQ(r.text, "") << what;
        if (r.status == DecodeStatus::NoText) ++tally.noText;
        if (r.status == DecodeStatus::Uncorrectable && accepted) ++tally.deviating;
        return;
    }
    ASSERT_EQ(r.status, DecodeStatus::Ok) << what << "\n input " << hexBytes(input)
                                          << "\n codewords " << listed(symbol.dataCodewords);
    EXPECT_EQ(corrected, 0) << what;
    const bool modeOk = contains(expected.modes, mode);
    EXPECT_TRUE(modeOk) << what << ": mode " << mode << ", expected one of " << listed(expected.modes);
    EXPECT_EQ(std::string(r.text), input) << what << "\n decoded   " << hexBytes(r.text)
                                          << "\n expected  " << hexBytes(input)
                                          << "\n codewords " << listed(symbol.dataCodewords);
    if (std::string(r.text) == input && modeOk) ++tally.exact;
    ++tally.modes[mode];
}

// The modes a dmtxwrite symbol may report: its forced encodation when it
// latched to it (a text too short for the encodation stays in ASCII), and
// an upper shift if an ASCII stretch held a byte of 128 or more.
Expectation dmtxwriteExpectation(const EncodedSymbol& symbol, int forcedMode, const std::string& text,
                                 const SymbolSize& size) {
    Expectation e;
    const int first = symbol.dataCodewords.empty() ? -1 : symbol.dataCodewords.front();
    const bool latched = first == 230 || first == 231 || first == 238 || first == 239 || first == 240;
    if (forcedMode > 0) e.modes.push_back(forcedMode);
    if (!latched) e.modes.push_back(MODE_ASCII);
    if (hasHighByte(text)) e.modes.push_back(MODE_ASCII_UPPER_SHIFT);
    e.nonStandardInterleaving = size.rows == 144;
    return e;
}

void printSummary() {
    if (summary().empty()) return;
    for (const auto& [encoder, sizes] : summary()) {
        std::printf("\n%s: decoded exactly / symbols; \"noText n/m\": of m symbols over 200 data codewords, n\n"
                    "corrected and gave no text; \"uncorr\": libdmtx's non-standard 144x144, uncorrectable\n",
                    encoder.c_str());
        std::map<std::string, Tally> totals;
        for (const auto& [index, byEncodation] : sizes) {
            std::printf("%-8s", sizeName(kSymbolSizes[index]).c_str());
            for (const auto& [encodation, t] : byEncodation) {
                char cell[64];
                if (t.deviating > 0) {
                    std::snprintf(cell, sizeof cell, "%s uncorr %d/%d", encodation.c_str(), t.deviating, t.symbols);
                } else if (kSymbolSizes[index].dataCodewords > kMaxDecodedDataCodewords) {
                    std::snprintf(cell, sizeof cell, "%s noText %d/%d", encodation.c_str(), t.noText, t.symbols);
                } else {
                    std::snprintf(cell, sizeof cell, "%s %d/%d", encodation.c_str(), t.exact, t.symbols);
                }
                std::printf("  %-18s", cell);
                if (t.refused > 0) std::printf("(refused %d) ", t.refused);
                Tally& total = totals[encodation];
                total.symbols += t.symbols;
                total.exact += t.exact;
                total.noText += t.noText;
                total.refused += t.refused;
                total.deviating += t.deviating;
                for (const auto& [mode, count] : t.modes) total.modes[mode] += count;
            }
            std::printf("\n");
        }
        for (const auto& [encodation, t] : totals) {
            std::printf("  total %-8s: %d symbols, %d decoded exactly, %d no text (over 200), %d refused by encoder",
                        encodation.c_str(), t.symbols, t.exact, t.noText, t.refused);
            if (t.deviating > 0) std::printf(", %d uncorrectable (libdmtx 144x144)", t.deviating);
            std::printf("; reported modes:");
            for (const auto& [mode, count] : t.modes) std::printf(" %d:%d", mode, count);
            std::printf("\n");
        }
    }
    std::fflush(stdout);
}

class SummaryPrinter : public ::testing::Environment {
public:
    void TearDown() override { printSummary(); }
};
::testing::Environment* const kSummaryPrinter = ::testing::AddGlobalTestEnvironment(new SummaryPrinter);

struct Encodation {
    char letter;
    const char* name;
    int mode;
};
constexpr Encodation kDmtxEncodations[] = {
    {'a', "ASCII", MODE_ASCII}, {'c', "C40", MODE_C40}, {'t', "Text", MODE_TEXT},
    {'x', "X12", MODE_X12}, {'e', "EDIFACT", MODE_EDIFACT}, {'8', "Base256", MODE_BASE256},
};
constexpr double kShares[] = {1.0, 0.34};

class IndependentEncoder : public ::testing::TestWithParam<int> {};

TEST_P(IndependentEncoder, DmtxwriteSymbolsDecodeToTheirInput) {
    ASSERT_TRUE(independent::ProgramAvailable("dmtxwrite")) << "dmtxwrite missing: run scripts/setup (dmtx-utils)";
    const int index = GetParam();
    const SymbolSize& size = kSymbolSizes[index];
    for (const Encodation& e : kDmtxEncodations) {
        Tally& tally = summary()["dmtxwrite -e a/c/t/x/e/8"][index][e.name];
        for (double share : kShares) {
            const std::string pool = makeText(e.letter, 3 * size.dataCodewords + 8, 1000u * index + e.letter);
            auto encode = [&](const std::string& t, EncodedSymbol& s, std::string& err) {
                return independent::EncodeWithDmtxwrite(t, e.letter, size, s, err);
            };
            std::string text, error;
            EncodedSymbol symbol;
            if (!fitText(pool, e.letter, size, share, encode, text, symbol, error)) {
                ++tally.refused;
                continue;
            }
            checkSymbol(symbol, size, text, dmtxwriteExpectation(symbol, e.mode, text, size),
                        "dmtxwrite -e " + std::string(1, e.letter) + " -s " + sizeName(size) + ", " +
                            std::to_string(text.size()) + " bytes",
                        tally);
        }
    }
}

struct TextClass {
    char letter;
    const char* name;
};
constexpr TextClass kZintClasses[] = {
    {'D', "digits"}, {'a', "mixed"}, {'c', "upper"}, {'t', "lower"},
    {'x', "x12set"}, {'e', "edifset"}, {'8', "bytes"},
};

TEST_P(IndependentEncoder, ZintSymbolsDecodeToTheirInput) {
    ASSERT_TRUE(independent::ProgramAvailable("zint")) << "zint missing: run scripts/setup (zint)";
    const int index = GetParam();
    const SymbolSize& size = kSymbolSizes[index];
    for (const TextClass& c : kZintClasses) {
        Tally& tally = summary()["zint --vers=1..30"][index][c.name];
        for (double share : kShares) {
            const std::string pool = makeText(c.letter, 3 * size.dataCodewords + 8, 7000u * index + c.letter);
            // The short texts go through zint's fast encodation choice.
            const bool fast = share < 1.0;
            auto encode = [&](const std::string& t, EncodedSymbol& s, std::string& err) {
                return independent::EncodeWithZint(t, index + 1, fast, s, err);
            };
            std::string text, error;
            EncodedSymbol symbol;
            if (!fitText(pool, c.letter, size, share, encode, text, symbol, error)) {
                ++tally.refused;
                continue;
            }
            const Expectation any{{MODE_ASCII, MODE_ASCII_UPPER_SHIFT, MODE_C40, MODE_TEXT, MODE_X12,
                                   MODE_EDIFACT, MODE_BASE256}};
            checkSymbol(symbol, size, text, any,
                        "zint --vers=" + std::to_string(index + 1) + (fast ? " --fast" : "") + " (" +
                            sizeName(size) + "), " + c.name + ", " + std::to_string(text.size()) + " bytes",
                        tally);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllSizes, IndependentEncoder, ::testing::Range(0, 30),
                         [](const ::testing::TestParamInfo<int>& param) {
                             const SymbolSize& s = kSymbolSizes[param.param];
                             return "S" + std::to_string(s.rows) + "x" + std::to_string(s.cols);
                         });

}  // namespace
