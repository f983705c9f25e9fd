// DER parser: turns a memory stream into a tree of items that record where their content
// lies, so callers fetch content bytes only when they need them. Items come from
// PLATFORM_malloc and belong to the tree; the input buffer stays the caller's.
#pragma once

#include <cstdint>

#include "crypto/status.hpp"

// A read cursor over a caller's buffer; the buffer is never modified.
struct MemStream {
    const std::uint8_t* pData;
    std::uint32_t size;
    std::uint32_t position;
};

// None of these check for a null stream. init keeps the pointer (data may be null with size 0)
// and starts at position 0.
void MEMSTREAM_init(MemStream* stream, const std::uint8_t* data, std::uint32_t size);
// The next byte; ERR_EOF at the end with *octet untouched.
CryptoStatus MEMSTREAM_getc(MemStream* stream, std::uint8_t* octet);
// Steps back one byte; ERR_EOF at position 0.
CryptoStatus MEMSTREAM_ungetc(MemStream* stream);
std::uint32_t MEMSTREAM_tell(const MemStream* stream);
// Moves to an absolute position (size itself allowed) or forward by count; ERR_EOF beyond the
// end, with the position unchanged.
CryptoStatus MEMSTREAM_seek(MemStream* stream, std::uint32_t position);
CryptoStatus MEMSTREAM_skip(MemStream* stream, std::uint32_t count);
bool MEMSTREAM_eof(const MemStream* stream);
// A view of `length` bytes at absolute `offset`, whatever the position (which does not move);
// ERR_EOF, with *view untouched, if they are not all there.
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

// Parses one item from the stream's position into a new tree in *root. The root is synthetic:
// its only child is that item; bytes after it are left unread. Items record offsets into the
// stream's buffer, which must outlive their use. A BIT STRING or OCTET STRING whose content
// parses as DER of its own gets that as children (encapsulates = 1). ERR_NULL_POINTER,
// ERR_DER_INVALID_CONTENT for an empty stream, ERR_MEM_ALLOC_FAIL, ERR_EOF, ERR_DER_* for bad
// input (ERR_DER_TOO_DEEP beyond ASN1_MAX_DEPTH levels). On failure the partial tree is released
// and *root is untouched. The caller releases the tree with ASN1_releaseItem(root).
CryptoStatus ASN1_parse(MemStream* stream, ASN1_ITEM** root);
// Releases an item and its subtree (each item's releaseHook, if set, runs just before it is
// freed) and sets *item to null. The item must already be unlinked (no parent, no sibling):
// else ERR_TREE_LINKED_NODE and nothing is released. ERR_NULL_POINTER for a null item.
CryptoStatus ASN1_releaseItem(ASN1_ITEM** item);
// The n-th child, counting from 1; n = 0 also gives the first. ERR_NULL_POINTER,
// ERR_DER_UNEXPECTED_ITEM when there is none (*child untouched). The child stays in the tree.
CryptoStatus ASN1_getChild(const ASN1_ITEM* item, std::uint32_t n, ASN1_ITEM** child);
// item must not be null.
std::uint32_t ASN1_childCount(const ASN1_ITEM* item);
// item must be a universal SEQUENCE whose first child is a universal OID with the expected
// content, plus one extra last octet when extraArc is given (returned there); what follows the
// OID is not looked at. stream is the one the tree was parsed from. *oidItem, if asked for, gets
// the OID item. ERR_NULL_POINTER, ERR_DER_UNEXPECTED_ITEM, ERR_DER_OID_MISMATCH, ERR_EOF;
// outputs are written only on success.
CryptoStatus ASN1_checkAlgorithmOid(const ASN1_ITEM* item, const MemStream* stream,
                                    const std::uint8_t* expected, std::uint32_t expectedLength,
                                    std::uint8_t* extraArc, ASN1_ITEM** oidItem);
