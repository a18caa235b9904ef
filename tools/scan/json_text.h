// Text conversions for the scanner's output: decoded bytes are ISO-8859-1,
// the output is UTF-8.
#pragma once

#include <string>

#include "ecc200/eci.h"

// A JSON string literal, quotes included, of ISO-8859-1 bytes.
std::string jsonLatin1(const std::string& bytes);

// A JSON string literal of text that is UTF-8 already.
std::string jsonUtf8(const std::string& utf8);

// A JSON string literal of a file name: kept as it is when it is valid
// UTF-8, otherwise read as ISO-8859-1.
std::string jsonFileName(const std::string& name);
