// DER parser: turns a memory stream into a tree of items that record where their content
// lies, so callers fetch content bytes only when they need them.
#pragma once

#include <cstdint>

#include "crypto/status.hpp"

// A read cursor over a caller's buffer; the buffer is never modified.
struct MemStream {
    const std::uint8_t* pData;
    std::uint32_t size;
    std::uint32_t position;
};

void MEMSTREAM_init(MemStream* stream, const std::uint8_t* data, std::uint32_t size);
CryptoStatus MEMSTREAM_getc(MemStream* stream, std::uint8_t* octet);  // ERR_EOF at the end
CryptoStatus MEMSTREAM_ungetc(MemStream* stream);
std::uint32_t MEMSTREAM_tell(const MemStream* stream);
CryptoStatus MEMSTREAM_seek(MemStream* stream, std::uint32_t position);  // ERR_EOF beyond end
CryptoStatus MEMSTREAM_skip(MemStream* stream, std::uint32_t count);
bool MEMSTREAM_eof(const MemStream* stream);
// A view of `length` content bytes at `offset`; ERR_EOF if they are not all there.
CryptoStatus MEMSTREAM_access(const MemStream* stream, std::uint32_t offset, std::uint32_t length,
                              const std::uint8_t** view);

constexpr std::uint8_t CLASS_MASK = 0xC0;
constexpr std::uint8_t UNIVERSAL = 0x00;
constexpr std::uint8_t APPLICATION = 0x40;
constexpr std::uint8_t CONTEXT = 0x80;
constexpr std::uint8_t PRIVATE = 0xC0;
constexpr std::uint8_t CONSTRUCTED = 0x20;

constexpr std::uint32_t BOOLEAN = 1;
constexpr std::uint32_t INTEGER = 2;
constexpr std::uint32_t BITSTRING = 3;
constexpr std::uint32_t OCTETSTRING = 4;
constexpr std::uint32_t NULLTAG = 5;
constexpr std::uint32_t OID = 6;
constexpr std::uint32_t ENUMERATED = 10;
constexpr std::uint32_t SEQUENCE = 16;
constexpr std::uint32_t SET = 17;

constexpr std::uint32_t ASN1_MAX_DEPTH = 40;

struct ASN1_ITEM {
    ASN1_ITEM* parent;
    ASN1_ITEM* firstChild;
    ASN1_ITEM* next;
    void (*releaseHook)(ASN1_ITEM* item);
    std::uint8_t id;  // class bits and the constructed bit
    std::uint32_t tag;
    std::uint32_t length;
    std::uint8_t indefinite;
    std::uint32_t headerSize;
    std::uint8_t header[10];  // identifier and length octets as read (at most 4 + 5)
    std::uint8_t encapsulates;
    std::uint32_t value;  // BOOLEAN, short INTEGER/ENUMERATED; BIT STRING: unused bits
    std::uint32_t dataOffset;
};

// The root is synthetic: its only child is the first item of the input.
CryptoStatus ASN1_parse(MemStream* stream, ASN1_ITEM** root);
// Releases an item and its subtree; the item must already be unlinked (no parent, no sibling).
CryptoStatus ASN1_releaseItem(ASN1_ITEM** item);
// n counts from 1; n = 0 also gives the first child.
CryptoStatus ASN1_getChild(const ASN1_ITEM* item, std::uint32_t n, ASN1_ITEM** child);
std::uint32_t ASN1_childCount(const ASN1_ITEM* item);
// item must be a universal SEQUENCE whose first child is a universal OID with the expected
// content, plus one extra last octet when extraArc is given (returned there).
CryptoStatus ASN1_checkAlgorithmOid(const ASN1_ITEM* item, const MemStream* stream,
                                    const std::uint8_t* expected, std::uint32_t expectedLength,
                                    std::uint8_t* extraArc, ASN1_ITEM** oidItem);
