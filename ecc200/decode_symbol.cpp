#include <cstdlib>
#include <cstring>

#include "ecc200/data_decode.h"
#include "ecc200/ecc200.h"
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
    char* text = DecodeDataCodewords(w.data, mode);
    if (text == nullptr) return DecodeStatus::NoText;
    const size_t length = std::strlen(text);
    const size_t copied = length < sizeof(result.text) - 1 ? length : sizeof(result.text) - 1;
    std::memcpy(result.text, text, copied);
    result.text[copied] = '\0';
    std::free(text);
    return DecodeStatus::Ok;
}

DecodeStatus DecodeWithWork(DecodeWork& w, const uint8_t* grid, int32_t columns, DecodeResult& result,
                            EncodationMode& mode) {
    DecodeStatus status = ReadStream(w, grid, columns);
    if (status != DecodeStatus::Ok) return status;
    if ((status = Deinterleave(w)) != DecodeStatus::Ok) return status;
    if ((status = CorrectBlocks(w)) != DecodeStatus::Ok) return status;
    Reinterleave(w);
    return DecodeText(w, result, mode);
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
        return result;
    }
    correctedFlag = 1;
    correctedCount = work.correctedCount;
    mode = decodedMode;
    return result;
}
