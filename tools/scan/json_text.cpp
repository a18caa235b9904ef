#include "tools/scan/json_text.h"

#include <cstdio>

#include "ecc200/eci.h"

// Escapes what JSON requires (quote, backslash, controls) and DEL, which
// is legal but invisible.
static std::string jsonEscapeUtf8(const std::string& utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        unsigned char u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (u < 0x20 || u == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string jsonLatin1(const std::string& bytes) { return jsonEscapeUtf8(Latin1ToUtf8(bytes)); }

std::string jsonUtf8(const std::string& utf8) { return jsonEscapeUtf8(utf8); }

static size_t utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// Structural check only (lead and continuation bytes); overlong three-
// and four-byte forms are let through, which is harmless for display.
static bool isUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        size_t n = utf8SequenceLength(static_cast<unsigned char>(s[i]));
        if (n == 0 || s.size() - i < n) return false;
        for (size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        }
        i += n;
    }
    return true;
}

std::string jsonFileName(const std::string& name) {
    return jsonEscapeUtf8(isUtf8(name) ? name : Latin1ToUtf8(name));
}
