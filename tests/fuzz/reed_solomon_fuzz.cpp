// Reed-Solomon decoding of any block: CorrectBlock with any ECC200 block
// length and any nroots, and RsInit/RsDecode with any code parameters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ecc200/placement.h"
#include "ecc200/reed_solomon.h"

namespace {

// CorrectBlock on the bytes as one block; a corrected block must decode
// again without any correction.
void correctEcc200Block(int32_t nroots, const uint8_t* data, size_t size) {
    const int32_t length = static_cast<int32_t>(size);
    CodewordBuffer* block = CreateCodewordBuffer(length);
    if (block == nullptr) {
        std::abort();
    }
    if (length > 0) {
        std::memcpy(block->bytes, data, size);
    }
    block->length = length;
    const int32_t corrected = CorrectBlock(block, nroots);
    const int32_t expectedLength = nroots > 0 ? (length > nroots ? length - nroots : 0) : length;
    if (block->length != expectedLength) {
        std::abort();
    }
    if (corrected > 0) {
        block->length = length;
        if (CorrectBlock(block, nroots) != 0) {
            std::abort();
        }
    } else if (corrected < 0 && std::memcmp(block->bytes, data, size) != 0) {
        std::abort();  // an uncorrectable block is left unchanged
    }
    ReleaseCodewordBuffer(block);
}

// Any parameters: the codec refuses or decodes a block of exactly nn - pad
// bytes.
void decodeAnyCode(const uint8_t* data, size_t size) {
    if (size < 7) {
        return;
    }
    const int32_t symbolSize = data[0] % 10;  // 8 is the largest accepted
    const int32_t polynomial = data[1] | (data[2] << 8);
    const int32_t fcr = data[3];
    const int32_t prim = data[4];
    const int32_t nroots = data[5];
    const int32_t pad = data[6];
    RsCodec* codec = RsInit(symbolSize, polynomial, fcr, prim, nroots, pad);
    if (codec == nullptr) {
        return;
    }
    const size_t blockSize = size_t(codec->nn - codec->pad);
    std::unique_ptr<uint8_t[]> block(new uint8_t[blockSize]);
    std::memset(block.get(), 0, blockSize);
    const size_t given = size - 7 < blockSize ? size - 7 : blockSize;
    std::memcpy(block.get(), data + 7, given);
    // Symbols beyond the field's width are not symbols of the code.
    for (size_t i = 0; i < blockSize; ++i) {
        block[i] = static_cast<uint8_t>(block[i] & codec->nn);
    }
    RsDecode(codec, block.get());
    RsFree(codec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const uint8_t selector = data[0];
    if (selector & 0x80) {
        decodeAnyCode(data + 1, size - 1);
        return 0;
    }
    // Any nroots, also negative and past the block; blocks up to 300 bytes
    // (ECC200 blocks have at most 255).
    const int32_t nroots = static_cast<int8_t>(data[1]);
    const size_t length = size - 2 > 300 ? 300 : size - 2;
    (void)selector;
    correctEcc200Block(nroots, data + 2, length);
    return 0;
}
