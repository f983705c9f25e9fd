// Buffering and padding shared by the Merkle-Damgard digests. A context has H (state words),
// lengthHigh/lengthLow (bytes hashed, 64-bit), bufferedCount and buffer (one block). Whole
// blocks are compressed straight from the caller's data; only a partial block is copied.
#pragma once

#include <cstdint>

#include "crypto/status.hpp"

namespace crypto_detail {

// compress(H, data, blockCount)
template <typename Ctx, typename Compress>
CryptoStatus mdUpdate(Ctx* ctx, const std::uint8_t* data, std::uint32_t length, Compress compress) {
    if (ctx == nullptr || data == nullptr) {
        return ERR_NULL_POINTER;
    }
    constexpr std::uint32_t kBlock = sizeof ctx->buffer;
    std::uint32_t low = ctx->lengthLow + length;
    ctx->lengthHigh += (low < ctx->lengthLow) ? 1 : 0;
    ctx->lengthLow = low;

    if (ctx->bufferedCount > 0) {
        std::uint32_t room = kBlock - static_cast<std::uint32_t>(ctx->bufferedCount);
        std::uint32_t take = length < room ? length : room;
        for (std::uint32_t i = 0; i < take; ++i) {
            ctx->buffer[ctx->bufferedCount + static_cast<std::int32_t>(i)] = data[i];
        }
        ctx->bufferedCount += static_cast<std::int32_t>(take);
        data += take;
        length -= take;
        if (ctx->bufferedCount < static_cast<std::int32_t>(kBlock)) {
            return OK;
        }
        compress(ctx->H, ctx->buffer, 1);
        ctx->bufferedCount = 0;
    }
    if (length >= kBlock) {
        compress(ctx->H, data, length / kBlock);
        data += length - length % kBlock;
        length %= kBlock;
    }
    for (std::uint32_t i = 0; i < length; ++i) {
        ctx->buffer[i] = data[i];
    }
    ctx->bufferedCount = static_cast<std::int32_t>(length);
    return OK;
}

// Appends 0x80, zeros and the bit length (in the last 8 bytes of the block, big- or
// little-endian; any further length bytes before them stay zero) and compresses.
template <typename Ctx, typename Compress>
void mdPad(Ctx* ctx, Compress compress, bool bigEndianLength, std::uint32_t lengthFieldSize) {
    constexpr std::int32_t kBlock = sizeof ctx->buffer;
    const std::int32_t limit = kBlock - static_cast<std::int32_t>(lengthFieldSize);
    ctx->buffer[ctx->bufferedCount++] = 0x80;
    if (ctx->bufferedCount > limit) {
        while (ctx->bufferedCount < kBlock) {
            ctx->buffer[ctx->bufferedCount++] = 0;
        }
        compress(ctx->H, ctx->buffer, 1);
        ctx->bufferedCount = 0;
    }
    while (ctx->bufferedCount < kBlock - 8) {
        ctx->buffer[ctx->bufferedCount++] = 0;
    }
    std::uint32_t bitsHigh = (ctx->lengthHigh << 3) | (ctx->lengthLow >> 29);
    std::uint32_t bitsLow = ctx->lengthLow << 3;
    std::uint8_t* tail = ctx->buffer + kBlock - 8;
    if (bigEndianLength) {
        storeBe32(tail, bitsHigh);
        storeBe32(tail + 4, bitsLow);
    } else {
        storeLe32(tail, bitsLow);
        storeLe32(tail + 4, bitsHigh);
    }
    compress(ctx->H, ctx->buffer, 1);
    ctx->bufferedCount = 0;
}

}  // namespace crypto_detail
