// Decoder extensions for the thorough reading: codewords and sizes the
// default decoder refuses. With every extension off, DecodeSymbolExtended
// gives exactly DecodeSymbol's status, mode and bytes.
#pragma once

#include <cstdint>
#include <string>

#include "ecc200/ecc200.h"

struct DecodeExtensions {            // all false: exactly the default decoder
    bool largeSymbols = false;       // more than 200 data codewords
    bool fnc1 = false;               // FNC1 as GS (0x1D); in first position it sets the GS1 flag
    bool macros = false;             // 236/237 macro header and trailer
    bool readerProgramming = false;  // 234: accepted, flagged
    bool eci = false;                // 241: ECI designators with character-set conversion
};

struct ExtendedDecode {
    DecodeStatus status = DecodeStatus::NoText;
    int32_t mode = 0;
    std::string bytes;               // decoded bytes, any length, 0 bytes kept
    std::string utf8;                // as UTF-8 (converted per ECI; ISO-8859-1 when none)
    int32_t eci = -1;                // last ECI designator, -1 none
    bool gs1 = false;
    bool readerProgramming = false;
    int32_t macro = 0;               // 5 or 6
    int32_t correctedCount = 0;
};

// Same grid convention as DecodeSymbol. Everything but the status is left
// at its default unless the status is Ok.
ExtendedDecode DecodeSymbolExtended(int32_t columns, int32_t rows, const uint8_t* grid,
                                    const DecodeExtensions& extensions);
