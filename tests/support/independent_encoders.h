// Data Matrix symbols made by encoders that nobody here wrote: libdmtx's
// dmtxwrite and zint, run as programs. Test code only (uses popen).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace independent {

struct SymbolSize {
    int rows;
    int cols;
    int dataCodewords;  // ISO/IEC 16022 Table 7
};

// The 30 ECC200 sizes: the 24 squares by size, then the 6 rectangles, which
// is also zint's --vers numbering (index + 1).
extern const SymbolSize kSymbolSizes[30];

struct EncodedSymbol {
    int rows = 0;
    int cols = 0;
    std::vector<uint8_t> modules;  // rows x cols, row-major, 1 dark, 0 light
    std::vector<int> dataCodewords;  // as the encoder lists them (dmtxwrite only)
};

// True when `program` is found on PATH.
bool ProgramAvailable(const std::string& program);

// dmtxwrite -p -c -e ENCODATION -s RxC on `data`. ENCODATION is one of
// dmtxwrite's letters: a (ASCII), c (C40), t (Text), x (X12), e (EDIFACT),
// 8 (Base 256). False, with dmtxwrite's message in `error`, when it
// refuses (for instance because the data does not fit).
bool EncodeWithDmtxwrite(const std::string& data, char encodation, const SymbolSize& size,
                         EncodedSymbol& symbol, std::string& error);

// zint -b 71 --binary --dump --vers=VERSION [--fast] on `data`; zint
// chooses the encodations itself.
bool EncodeWithZint(const std::string& data, int version, bool fast, EncodedSymbol& symbol,
                    std::string& error);

// zint -b 71 --dump --square OPTIONS on `data` (given as a file, so that
// OPTIONS say how zint reads it: --binary, --eci=N, --gs1, --init, ...; with
// --segN as zint's -d): a square symbol of the size zint chooses, or of --vers.
bool EncodeWithZintOptions(const std::string& data, const std::string& options, EncodedSymbol& symbol,
                           std::string& error);

// Text art of dmtxwrite -p (left margin, two characters per module, "XX"
// dark) to modules. False when the art has no symbol in it.
bool ParseDmtxPreview(const std::string& art, EncodedSymbol& symbol);

// zint --dump (one line per row, modules as hex digits, most significant
// bit first, grouped by blanks) to modules; the width comes from the size.
bool ParseZintDump(const std::string& dump, int cols, EncodedSymbol& symbol);

}  // namespace independent
