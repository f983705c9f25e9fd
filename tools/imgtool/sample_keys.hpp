// The repository's sample public keys, embedded whatever keys this build gives the boot manager.
// Their private halves are published, so anything they verify is signed by anyone.
#pragma once

#include <cstdint>
#include <span>

namespace imgtool {

// PEM texts of keys/sample_production_key.pub.pem and keys/sample_development_key.pub.pem.
extern const char sample_production_key_text[];
extern const char sample_development_key_text[];

// True when the key (PEM or DER, as verify reads it) is one of the sample keys: the same modulus
// and exponent, however the file is named or armoured. Needs the crypto library started.
bool is_sample_key(std::span<const std::uint8_t> key_text);

}  // namespace imgtool
