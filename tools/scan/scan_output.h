// Decoding a module grid and printing one result line per input, as plain
// text or as one JSON object.
#pragma once

#include <cstdint>
#include <string>

struct ScanResult {
    bool decoded = false;
    std::string text;   // decoded bytes (ISO-8859-1), empty unless decoded
    int mode = 0;       // EncodationMode; meaningful only when decoded
    int status = 0;     // DecodeStatus
    int corrected = 0;  // codewords changed by correction, when decoded
    int rows = 0;
    int cols = 0;
};

// cells: rows x cols bytes, 1 dark, 0 light, 255 undecided.
ScanResult decodeCells(int rows, int cols, const uint8_t* cells);

// Decoded bytes for a one-line display: ISO-8859-1 converted to UTF-8,
// control characters (CR and LF included) written as \xNN.
std::string visibleText(const std::string& bytes);

// The same for text that is UTF-8 already.
std::string visibleUtf8(const std::string& utf8);

// "LABEL: TEXT (MODE)" or "LABEL: None", text converted to UTF-8, with
// control characters written as \xNN so that the result stays one line.
std::string plainLine(const std::string& label, const ScanResult& result);

// Optional leading members, already formatted as `"key":value,`.
std::string jsonLine(const std::string& members, const ScanResult& result);

// The object printed for an input that could not be read.
std::string jsonErrorLine(const std::string& file, const std::string& message);
