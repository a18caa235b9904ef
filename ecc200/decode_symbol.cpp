#include <cstdlib>
#include <cstring>
#include <utility>

#include "ecc200/data_decode.h"
#include "ecc200/decode_extensions.h"
#include "ecc200/ecc200.h"
#include "ecc200/eci.h"
#include "ecc200/placement.h"
#include "ecc200/reed_solomon.h"
#include "ecc200/symbol_size.h"

namespace {

// The data buffer holds the data codewords of every size (at most 1558);
// the codeword stream holds all codewords of the size, so that 132 x 132
// and 144 x 144 (1800 and 2178 codewords) are read whole.
constexpr int32_t kCodewordBufferCapacity = 1600;
constexpr int32_t kMaxBlocks = 10;

struct DecodeWork {
    int32_t sizeIndex;
    MappingMatrix* matrix;
    CodewordBuffer* stream;
    CodewordBuffer* data;
    CodewordBuffer* blocks[kMaxBlocks];
    int32_t correctedCount;
};

void ReleaseWork(DecodeWork& w) {
    for (CodewordBuffer* block : w.blocks) ReleaseCodewordBuffer(block);
    ReleaseCodewordBuffer(w.data);
    ReleaseCodewordBuffer(w.stream);
    ReleaseMappingMatrix(w.matrix);
}

DecodeStatus ReadStream(DecodeWork& w, const uint8_t* grid, int32_t columns) {
    const int32_t total = TotalCodewords(w.sizeIndex);
    w.matrix = ExtractMappingMatrix(grid, columns, w.sizeIndex);
    if (w.matrix == nullptr) return DecodeStatus::NoCodewordMemory;
    w.stream = CreateCodewordBuffer(total > kCodewordBufferCapacity ? total : kCodewordBufferCapacity);
    if (w.stream == nullptr) return DecodeStatus::NoCodewordMemory;
    w.data = CreateCodewordBuffer(kCodewordBufferCapacity);
    if (w.data == nullptr) return DecodeStatus::NoBlockMemory;
    if (ReadCodewords(w.matrix, w.stream) == nullptr) return DecodeStatus::NoCodewordMemory;
    w.stream->length = total;
    return DecodeStatus::Ok;
}

// Codeword p of the stream belongs to block p mod B (ISO/IEC 16022, 5.7.2),
// also for 144 x 144, whose last two blocks are one codeword shorter.
DecodeStatus Deinterleave(DecodeWork& w) {
    const int32_t blockCount = SymbolSizeAt(w.sizeIndex).blocks;
    for (int32_t j = 0; j < blockCount; ++j) {
        const int32_t n = BlockCodewords(w.sizeIndex, j);
        w.blocks[j] = CreateCodewordBuffer(n);
        if (w.blocks[j] == nullptr) return DecodeStatus::NoBlockMemory;
        for (int32_t k = 0; k < n; ++k) w.blocks[j]->bytes[k] = w.stream->bytes[j + k * blockCount];
        w.blocks[j]->length = n;
    }
    return DecodeStatus::Ok;
}

DecodeStatus CorrectBlocks(DecodeWork& w) {
    const int32_t blockCount = SymbolSizeAt(w.sizeIndex).blocks;
    const int32_t nroots = CheckCodewordsPerBlock(w.sizeIndex);
    for (int32_t j = 0; j < blockCount; ++j) {
        const int32_t corrected = CorrectBlock(w.blocks[j], nroots);
        if (corrected < 0) return DecodeStatus::Uncorrectable;
        w.correctedCount += corrected;
    }
    return DecodeStatus::Ok;
}

void Reinterleave(DecodeWork& w) {
    const int32_t blockCount = SymbolSizeAt(w.sizeIndex).blocks;
    for (int32_t j = 0; j < blockCount; ++j) {
        const CodewordBuffer* block = w.blocks[j];
        for (int32_t k = 0; k < block->length; ++k) w.data->bytes[k * blockCount + j] = block->bytes[k];
    }
    w.data->length = SymbolSizeAt(w.sizeIndex).attributes.dataCodewords;
}

DecodeStatus DecodeText(DecodeWork& w, DecodeResult& result, EncodationMode& mode) {
    int32_t length = 0;
    char* text = DecodeDataCodewords(w.data, mode, length);
    if (text == nullptr) return DecodeStatus::NoText;
    // 0 bytes inside the text travel with it; the length says where it ends.
    const int32_t copied = length < kDecodedTextCapacity - 1 ? length : kDecodedTextCapacity - 1;
    std::memcpy(result.text, text, static_cast<size_t>(copied));
    result.text[copied] = '\0';
    result.length = copied;
    std::free(text);
    return DecodeStatus::Ok;
}

// The symbol's corrected data codewords into w.data.
DecodeStatus CorrectData(DecodeWork& w, const uint8_t* grid, int32_t columns) {
    DecodeStatus status = ReadStream(w, grid, columns);
    if (status != DecodeStatus::Ok) return status;
    if ((status = Deinterleave(w)) != DecodeStatus::Ok) return status;
    if ((status = CorrectBlocks(w)) != DecodeStatus::Ok) return status;
    Reinterleave(w);
    return DecodeStatus::Ok;
}

DecodeStatus DecodeWithWork(DecodeWork& w, const uint8_t* grid, int32_t columns, DecodeResult& result,
                            EncodationMode& mode) {
    const DecodeStatus status = CorrectData(w, grid, columns);
    return status != DecodeStatus::Ok ? status : DecodeText(w, result, mode);
}

DecodeStatus DecodeExtendedText(const DecodeWork& w, const DecodeExtensions& extensions, ExtendedDecode& out) {
    ExtendedData data;
    if (!DecodeDataCodewordsExtended(w.data, extensions, data)) return DecodeStatus::NoText;
    if (!EciBytesToUtf8(data.bytes, data.segments, out.utf8)) return DecodeStatus::Unconvertible;
    out.mode = data.mode;
    out.bytes = std::move(data.bytes);
    out.eci = data.segments.empty() ? -1 : data.segments.back().eci;
    out.gs1 = data.gs1;
    out.readerProgramming = data.readerProgramming;
    out.macro = data.macro;
    out.correctedCount = w.correctedCount;
    return DecodeStatus::Ok;
}

}  // namespace

DecodeResult DecodeSymbol(int32_t columns, int32_t rows, const uint8_t* grid, int32_t& correctedFlag,
                          int32_t& correctedCount, int32_t& mode) {
    DecodeResult result = {};
    result.status = DecodeStatus::Ok;
    const int32_t sizeIndex = FindSymbolSize(columns, rows);
    if (sizeIndex < 0 || grid == nullptr) {
        result.status = DecodeStatus::SizeNotInTable;
        return result;
    }
    DecodeWork work = {};
    work.sizeIndex = sizeIndex;
    EncodationMode decodedMode = MODE_ASCII;
    result.status = DecodeWithWork(work, grid, columns, result, decodedMode);
    ReleaseWork(work);
    if (result.status != DecodeStatus::Ok) {
        result.text[0] = '\0';
        result.length = 0;
        return result;
    }
    correctedFlag = 1;
    correctedCount = work.correctedCount;
    mode = decodedMode;
    return result;
}

ExtendedDecode DecodeSymbolExtended(int32_t columns, int32_t rows, const uint8_t* grid,
                                    const DecodeExtensions& extensions) {
    ExtendedDecode out;
    const int32_t sizeIndex = FindSymbolSize(columns, rows);
    if (sizeIndex < 0 || grid == nullptr) {
        out.status = DecodeStatus::SizeNotInTable;
        return out;
    }
    DecodeWork work = {};
    work.sizeIndex = sizeIndex;
    DecodeStatus status = CorrectData(work, grid, columns);
    if (status == DecodeStatus::Ok) status = DecodeExtendedText(work, extensions, out);
    ReleaseWork(work);
    if (status != DecodeStatus::Ok) out = ExtendedDecode();
    out.status = status;
    return out;
}
