// Status codes of the crypto library: 0 is success, any negative value a failure.
#pragma once

#include <cstdint>

using CryptoStatus = std::int32_t;

constexpr CryptoStatus OK = 0;

constexpr CryptoStatus ERR_RTOS_MUTEX_ALREADY_HELD = -5807;
constexpr CryptoStatus ERR_RTOS_MUTEX_NOT_HELD = -5808;

constexpr CryptoStatus ERR_NULL_POINTER = -6001;
constexpr CryptoStatus ERR_BAD_LENGTH = -6003;
constexpr CryptoStatus ERR_DIVIDE_BY_ZERO = -6004;
constexpr CryptoStatus ERR_BUFFER_OVERFLOW = -6007;
constexpr CryptoStatus ERR_EOF = -6012;
constexpr CryptoStatus ERR_BAD_EXPONENT = -6013;
constexpr CryptoStatus ERR_BAD_KEY_TYPE = -6015;
constexpr CryptoStatus ERR_MEM_ALLOC_FAIL = -6101;

constexpr CryptoStatus ERR_BASE64_BAD_INPUT = -6501;
constexpr CryptoStatus ERR_BASE64_NOT_INITIALISED = -6502;

constexpr CryptoStatus ERR_RAND_OPEN_FAILED = -7201;
constexpr CryptoStatus ERR_RAND_READ_FAILED = -7202;

constexpr CryptoStatus ERR_BAD_KEY_BLOB = -7402;
constexpr CryptoStatus ERR_KEY_BLOB_UNKNOWN_KEY_TYPE = -7403;
constexpr CryptoStatus ERR_BAD_KEY_BLOB_VERSION = -7404;

constexpr CryptoStatus ERR_DER_UNEXPECTED_ITEM = -7603;
constexpr CryptoStatus ERR_DER_OID_MISMATCH = -7604;
constexpr CryptoStatus ERR_DER_EXPONENT_TOO_LONG = -7605;
constexpr CryptoStatus ERR_SIGNATURE_FORMAT = -7609;
constexpr CryptoStatus ERR_UNSUPPORTED_DIGEST = -7612;
constexpr CryptoStatus ERR_DER_TOO_DEEP = -7615;
constexpr CryptoStatus ERR_DER_MODULUS_TOO_LONG = -7621;

constexpr CryptoStatus ERR_RSA_NULL_KEY = -7701;
constexpr CryptoStatus ERR_RSA_BAD_PADDING = -7702;
constexpr CryptoStatus ERR_RSA_NOT_RSA_DER = -7703;
constexpr CryptoStatus ERR_RSA_BAD_VERSION = -7704;
constexpr CryptoStatus ERR_RSA_EXPONENT_TOO_LONG = -7706;
constexpr CryptoStatus ERR_RSA_MODULUS_TOO_LONG = -7707;
constexpr CryptoStatus ERR_RSA_INCOMPLETE_PRIVATE_KEY = -7708;
constexpr CryptoStatus ERR_RSA_SIGNATURE_MISMATCH = -7711;

constexpr CryptoStatus ERR_AES_BAD_LENGTH = -7902;
constexpr CryptoStatus ERR_AES_BAD_DIRECTION = -7903;
constexpr CryptoStatus ERR_AES_BAD_KEY_LENGTH = -7904;
constexpr CryptoStatus ERR_AES_BAD_MODE = -7907;

constexpr CryptoStatus ERR_TREE_LINKED_NODE = -8001;
constexpr CryptoStatus ERR_DER_INVALID_CONTENT = -8101;
constexpr CryptoStatus ERR_DER_UNSUPPORTED_TAG = -8102;
constexpr CryptoStatus ERR_DER_BAD_LENGTH = -8103;
constexpr CryptoStatus ERR_DER_LENGTH_TOO_LONG = -8105;
constexpr CryptoStatus ERR_DER_TAG_TOO_LONG = -8108;

constexpr CryptoStatus ERR_EC_BAD_DER = -9803;
