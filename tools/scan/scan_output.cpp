#include "tools/scan/scan_output.h"

#include <cstdio>

#include "ecc200/ecc200.h"
#include "recognition/recognition.h"
#include "tools/scan/json_text.h"

ScanResult decodeCells(int rows, int cols, const uint8_t* cells) {
    ScanResult r;
    r.rows = rows;
    r.cols = cols;
    int32_t correctedFlag = 0;
    int32_t correctedCount = 0;
    int32_t mode = 0;
    DecodeResult decoded = DecodeSymbol(cols, rows, cells, correctedFlag, correctedCount, mode);
    r.status = static_cast<int>(decoded.status);
    if (decoded.status != DecodeStatus::Ok) return r;
    r.decoded = true;
    const size_t length = decoded.length < 0 ? 0 : size_t(decoded.length);
    r.text.assign(decoded.text, length < sizeof decoded.text ? length : sizeof decoded.text - 1);
    r.mode = mode;
    r.corrected = correctedCount;
    return r;
}

std::string visibleUtf8(const std::string& utf8) {
    std::string out;
    for (char c : utf8) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

// The escapes are ASCII, which the conversion leaves as they are.
std::string visibleText(const std::string& bytes) { return visibleUtf8(Latin1ToUtf8(bytes)); }

std::string plainLine(const std::string& label, const ScanResult& result) {
    if (!result.decoded) return label + ": None";
    // The text as the program shows it, which ends at a 0 byte; what the
    // data hold from there on is counted.
    const size_t shown = result.text.find('\0');
    std::string line = label + ": " + visibleText(result.text.substr(0, shown)) + " (" +
                       encodationModeName(result.mode) + ")";
    if (shown != std::string::npos) {
        line += " [" + std::to_string(result.text.size() - shown) + " more bytes from a 0 byte on]";
    }
    return line;
}

std::string jsonLine(const std::string& members, const ScanResult& result) {
    std::string line = "{" + members;
    line += "\"decoded\":" + std::string(result.decoded ? "true" : "false");
    line += ",\"text\":" + jsonLatin1(result.text);
    line += ",\"mode\":" + (result.decoded ? jsonLatin1(encodationModeName(result.mode)) : "null");
    line += ",\"mode_code\":" + (result.decoded ? std::to_string(result.mode) : "null");
    line += ",\"status\":" + std::to_string(result.status);
    line += ",\"rows\":" + std::to_string(result.rows);
    line += ",\"cols\":" + std::to_string(result.cols);
    line += ",\"corrected\":" + (result.decoded ? std::to_string(result.corrected) : "null");
    return line + "}";
}

std::string jsonErrorLine(const std::string& file, const std::string& message) {
    return "{\"file\":" + jsonFileName(file) +
           ",\"decoded\":false,\"text\":\"\",\"mode\":null,\"mode_code\":null,\"status\":null,"
           "\"rows\":null,\"cols\":null,\"corrected\":null,\"error\":" +
           jsonLatin1(message) + "}";
}
