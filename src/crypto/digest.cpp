#include "crypto/digest.hpp"

#include "crypto/md5.hpp"
#include "crypto/mem.hpp"
#include "crypto/sha1.hpp"
#include "crypto/sha256.hpp"
#include "crypto/sha512.hpp"

CryptoStatus CRYPTO_computeDigest(const std::uint8_t* data, std::uint32_t length,
                                  std::uint8_t* output, std::uint32_t* outputLength,
                                  std::uint32_t algorithm) {
    if (data == nullptr || output == nullptr || outputLength == nullptr) {
        return ERR_NULL_POINTER;
    }
    MEM_set(output, 0, 64);
    CryptoStatus status;
    switch (algorithm) {
        case DIGEST_MD5:
            *outputLength = MD5_RESULT_SIZE;
            status = MD5_completeDigest(data, length, output);
            break;
        case DIGEST_SHA1:
            *outputLength = SHA1_RESULT_SIZE;
            status = SHA1_completeDigest(data, length, output);
            break;
        case DIGEST_SHA256:
            *outputLength = SHA256_RESULT_SIZE;
            status = SHA256_completeDigest(data, length, output);
            break;
        case DIGEST_SHA384:
            *outputLength = SHA384_RESULT_SIZE;
            status = SHA384_completeDigest(data, length, output);
            break;
        case DIGEST_SHA512:
            *outputLength = SHA512_RESULT_SIZE;
            status = SHA512_completeDigest(data, length, output);
            break;
        case DIGEST_SHA224:
            *outputLength = SHA224_RESULT_SIZE;
            status = SHA224_completeDigest(data, length, output);
            break;
        default:
            status = ERR_UNSUPPORTED_DIGEST;
            break;
    }
    return status;
}
