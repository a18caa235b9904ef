// Extended Channel Interpretations: the character sets that ECI
// designators name, and decoded bytes converted from them to UTF-8.
#pragma once

#include <string>
#include <vector>

#include "ecc200/data_decode.h"

// `bytes` as UTF-8: bytes before the first segment are ISO-8859-1, each
// segment's bytes in its ECI's character set. False when an ECI is unknown
// or a segment's bytes are not valid in its character set (or the
// segments are out of order or past the bytes).
// ISO-8859-1 bytes as UTF-8.
std::string Latin1ToUtf8(const std::string& bytes);

bool EciBytesToUtf8(const std::string& bytes, const std::vector<EciSegment>& segments,
                    std::string& utf8);
