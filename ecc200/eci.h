// Extended Channel Interpretations: the character sets that ECI
// designators name, and decoded bytes converted from them to UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ecc200/data_decode.h"

// The Windows code page number of the character set ECI `eci` names, or 0
// when the designator names none this decoder knows.
uint32_t EciCodePage(int32_t eci);

// `bytes` as UTF-8: bytes before the first segment are ISO-8859-1, each
// segment's bytes in its ECI's character set. False when an ECI is unknown
// or a segment's bytes are not valid in its character set.
bool EciBytesToUtf8(const std::string& bytes, const std::vector<EciSegment>& segments,
                    std::string& utf8);
