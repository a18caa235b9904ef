// One way into the engine for a picture the caller holds (the scanner, the
// benchmarks, the soak, the tests, the thorough reader): the program's own
// recognition cycle runs on it through the frame exchange, or one attempt
// of a given kind runs on a private copy, and the outcome comes back as a
// plain value.
//
// readPicture borrows the process-wide frame exchange and the results
// routines for the duration of the call: it is for programs in which no
// camera feeds the exchange, never for the Windows program's threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "detect/recognizer.h"
#include "ecc200/decode_extensions.h"
#include "frame/packed_frame.h"

enum class CycleRun {
    // One cycle starting with the first pair of attempt kinds, as after
    // program start.
    One,
    // The scanner's reading: one cycle, and when it reads None a second
    // one, which tries the other pair; the pair choice carries over from
    // the previous picture.
    BothPairs,
    // A camera stream: one cycle, the pair choice carried from the
    // previous picture.
    Stream,
};

struct PictureReading {
    bool decoded = false;
    std::string bytes;    // the decoded bytes with their length (0 bytes kept)
    std::string utf8;     // the text as UTF-8: ISO-8859-1 bytes unless an ECI said otherwise
    int32_t mode = 0;     // EncodationMode
    int kind = -1;        // the attempt kind that decoded
    int rows = 0;         // module grid of the last symbol decoded
    int cols = 0;
    int status = -1;      // its DecodeStatus; -1: no grid reached the decoder
    int corrected = 0;    // codewords changed by correction, when decoded
    // What the decoder extensions found (thorough reading only).
    int eci = -1;
    bool gs1 = false;
    bool readerProgramming = false;
    int macro = 0;
    int cycles = 0;
    double ms = 0;        // the cycles (or the attempt) only
    std::string line;     // the last cycle's result line
};

// readPackedPicture lends the caller's packed picture to the exchange as it
// is; readPicture packs the rows into a buffer of its own first.
PictureReading readPicture(const PictureView& picture, CycleRun run);
PictureReading readPackedPicture(const PackedPicture& picture, CycleRun run);

// A finder candidate the detector accepted: corner L, then the ends A and
// B of the finder's two sides, in buffer coordinates.
struct FinderCandidate {
    int x[3];
    int y[3];
};

struct AttemptSettings {
    int kind = 0;                     // 0..3: that kind's detector flags
    DetectFlags extraFlags = 0;       // added to the kind's flags
    const char* debugFolder = nullptr;  // with extraFlags' debug bits: where the files go
    const DecodeExtensions* extensions = nullptr;  // nullptr: the default decoder
    // Shared by the attempts on one picture, so that its histogram, mean
    // and levels are counted once; nullptr: counted for this attempt.
    FrameStatistics* statistics = nullptr;
};

struct AttemptReading {
    PictureReading reading;
    int detected = 0;  // detect's result: 1, 0 or -1
    std::vector<FinderCandidate> candidates;  // in the order the detector met them
};

// One attempt of the given kind on a private copy of the picture, as the
// recognition cycle runs it, without the cycle's result line.
AttemptReading readPictureOnce(const PictureView& picture, const AttemptSettings& settings);
