// The first byte chooses the decoder: plain Base64 or PEM armour removal; the rest is the text.
#include <cstdint>
#include <cstdlib>

#include "crypto/base64.hpp"
#include "crypto/ca_mgmt.hpp"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    BASE64_initializeContext();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint8_t* text = data + 1;
    const auto length = static_cast<std::uint32_t>(size - 1);
    std::uint8_t* out = nullptr;
    std::uint32_t outLength = 0;
    CryptoStatus status;
    if (data[0] & 1) {
        status = CA_MGMT_decodePem(text, length, &out, &outLength);
        require(status != OK || outLength <= length / 4 * 3);
    } else {
        status = BASE64_decodeMessage(text, length, &out, &outLength);
        require(status != OK || outLength <= length / 4 * 3);
    }
    if (status == OK && outLength > 0) {
        require(out != nullptr);
        volatile std::uint8_t last = out[outLength - 1];
        (void)last;
    }
    BASE64_freeMessage(&out);
    return 0;
}
