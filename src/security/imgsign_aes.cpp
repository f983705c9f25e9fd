#include "security/imgsign_aes.hpp"

#include "crypto/mem.hpp"
#include "crypto/platform.hpp"
#include "security/imgsign.hpp"
#include "trace.hpp"

namespace {

constexpr std::uint32_t kCbc = MODE_CBC;
constexpr std::int32_t kBlock = 16;

}  // namespace

AesContext* CreateAESCtx(const std::uint8_t* keyMaterial, std::int32_t keyLength,
                         std::int32_t encrypt) {
    auto* ctx = static_cast<AesContext*>(PLATFORM_malloc(sizeof(AesContext)));
    if (ctx == nullptr) {
        return nullptr;
    }
    MEM_set(ctx, 0, sizeof(AesContext));
    if (AES_initContext(ctx, keyLength * 8, keyMaterial, encrypt != 0 ? 1U : 0U, kCbc) < 0) {
        DeleteAESCtx(&ctx);
        return nullptr;
    }
    return ctx;
}

CryptoStatus DoAES(AesContext* ctx, std::uint8_t* data, std::int32_t dataLength,
                   std::int32_t encrypt, std::uint8_t* iv) {
    if (dataLength % kBlock != 0) {
        return ERR_AES_BAD_LENGTH;
    }
    if (dataLength == 0) {
        return OK;  // nothing to do, and an empty buffer may have no address
    }
    std::int32_t outBits = 0;
    const CryptoStatus status =
        encrypt != 0 ? AES_encryptBlocks(ctx, iv, data, dataLength * 8, data, &outBits)
                     : AES_decryptBlocks(ctx, iv, data, dataLength * 8, data, &outBits);
    if (status < 0) {
        imgsign_trace::text(IMGSIGN_TRACE_CIPHER, "DoAES: cipher failed, error = ");
        imgsign_trace::status_value(IMGSIGN_TRACE_CIPHER, status);
    }
    return status;
}

CryptoStatus DeleteAESCtx(AesContext** ctx) {
    if (ctx != nullptr && *ctx != nullptr) {
        MEM_set(*ctx, 0, sizeof(AesContext));
        PLATFORM_free(*ctx);
        *ctx = nullptr;
    }
    return OK;
}
