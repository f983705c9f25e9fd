#include "crypto/mem.hpp"

CryptoStatus MEM_copy(void* dest, const void* src, std::int32_t count) {
    if (dest == nullptr || src == nullptr) {
        return ERR_NULL_POINTER;
    }
    auto* d = static_cast<std::uint8_t*>(dest);
    const auto* s = static_cast<const std::uint8_t*>(src);
    for (std::int32_t i = 0; i < count; ++i) {
        d[i] = s[i];
    }
    return OK;
}

CryptoStatus MEM_set(void* dest, std::uint8_t value, std::int32_t count) {
    if (dest == nullptr) {
        return ERR_NULL_POINTER;
    }
    auto* d = static_cast<volatile std::uint8_t*>(dest);  // also wipes secrets: keep the stores
    for (std::int32_t i = 0; i < count; ++i) {
        d[i] = value;
    }
    return OK;
}

CryptoStatus MEM_compare(const void* a, const void* b, std::int32_t count, std::int32_t* result) {
    if (a == nullptr || b == nullptr || result == nullptr) {
        return ERR_NULL_POINTER;
    }
    const auto* pa = static_cast<const std::uint8_t*>(a);
    const auto* pb = static_cast<const std::uint8_t*>(b);
    *result = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        if (pa[i] != pb[i]) {
            *result = pa[i] < pb[i] ? -1 : 1;
            break;
        }
    }
    return OK;
}

CryptoStatus MEM_xor(void* dest, const void* src, std::int32_t count) {
    if (dest == nullptr || src == nullptr) {
        return ERR_NULL_POINTER;
    }
    auto* d = static_cast<std::uint8_t*>(dest);
    const auto* s = static_cast<const std::uint8_t*>(src);
    for (std::int32_t i = 0; i < count; ++i) {
        d[i] ^= s[i];
    }
    return OK;
}
