#include "crypto/asn1.hpp"

#include "crypto/platform.hpp"

namespace {

// Ends are kept in 64 bits: an offset plus a 32-bit length can pass 2^32, and no such sum may
// be mistaken for the indefinite form's marker.
using End = std::uint64_t;
constexpr End kNoEnd = ~End{0};

ASN1_ITEM* newItem(ASN1_ITEM* parent) {
    auto* item = static_cast<ASN1_ITEM*>(PLATFORM_malloc(sizeof(ASN1_ITEM)));
    if (item == nullptr) {
        return nullptr;
    }
    *item = ASN1_ITEM{};
    if (parent != nullptr) {
        item->parent = parent;
        ASN1_ITEM** slot = &parent->firstChild;
        while (*slot != nullptr) {
            slot = &(*slot)->next;
        }
        *slot = item;
    }
    return item;
}

void releaseChildren(ASN1_ITEM* item) {
    while (item->firstChild != nullptr) {
        ASN1_ITEM* child = item->firstChild;
        item->firstChild = child->next;
        child->next = nullptr;
        child->parent = nullptr;
        ASN1_releaseItem(&child);
    }
}

bool emptyAllowed(std::uint8_t id, std::uint32_t tag) {
    if ((id & CLASS_MASK) == CONTEXT) {
        return true;
    }
    if ((id & CLASS_MASK) != UNIVERSAL) {
        return false;
    }
    switch (tag) {
        case 0:
        case 4:
        case 5:
        case 7:
        case 9:
        case 12:
        case 16:
        case 17:
        case 18:
        case 19:
        case 20:
        case 21:
        case 22:
        case 25:
        case 26:
        case 27:
        case 28:
        case 30:
            return true;
        default:
            return false;
    }
}

struct Header {
    std::uint8_t id = 0;
    std::uint32_t tag = 0;
    std::uint32_t length = 0;
    bool indefinite = false;
    std::uint32_t size = 0;
    std::uint8_t octets[10] = {};
};

CryptoStatus readHeader(MemStream* s, Header* h) {
    std::uint8_t c;
    CryptoStatus status = MEMSTREAM_getc(s, &c);
    if (status < 0) {
        return status;
    }
    h->octets[h->size++] = c;
    h->id = c & 0xE0;
    h->tag = c & 0x1F;
    if (h->tag == 0x1F) {
        h->tag = 0;
        for (int i = 0;; ++i) {
            if (i == 3) {
                return ERR_DER_TAG_TOO_LONG;
            }
            status = MEMSTREAM_getc(s, &c);
            if (status < 0) {
                return i == 0 ? status : ERR_DER_TAG_TOO_LONG;
            }
            h->octets[h->size++] = c;
            h->tag = (h->tag << 7) | (c & 0x7F);
            if ((c & 0x80) == 0) {
                break;
            }
        }
    }
    if (MEMSTREAM_getc(s, &c) < 0) {
        return ERR_DER_TAG_TOO_LONG;
    }
    h->octets[h->size++] = c;
    if (c < 0x80) {
        h->length = c;
    } else if (c == 0x80) {
        h->indefinite = true;
    } else {
        std::uint32_t count = c & 0x7F;
        if (count > 4) {
            return ERR_DER_LENGTH_TOO_LONG;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            status = MEMSTREAM_getc(s, &c);
            if (status < 0) {
                return status;
            }
            h->octets[h->size++] = c;
            h->length = (h->length << 8) | c;
        }
    }
    return OK;
}

bool universalOrContext(std::uint8_t id) {
    return (id & CLASS_MASK) == UNIVERSAL || (id & CLASS_MASK) == CONTEXT;
}

// Whether the content [start, start+length) looks like DER of its own. Leaves the stream at start.
bool encapsulatesDer(MemStream* s, std::uint32_t tag, std::uint32_t start, std::uint32_t length) {
    bool result = false;
    Header outer;
    const End end = End{start} + length;
    if (length > 0 && readHeader(s, &outer) == OK && !outer.indefinite &&
        universalOrContext(outer.id) && End{outer.size} + outer.length == length) {
        if (tag == OCTETSTRING) {
            result = outer.tag >= 1 && outer.tag <= 49;
        } else if (outer.tag == SEQUENCE) {
            // The INTEGER's header must lie inside the content: what follows the content is not
            // the SEQUENCE's.
            Header inner;
            result = MEMSTREAM_tell(s) < end && readHeader(s, &inner) == OK &&
                     MEMSTREAM_tell(s) <= end && !inner.indefinite &&
                     universalOrContext(inner.id) && inner.tag == INTEGER &&
                     inner.length < end - MEMSTREAM_tell(s);
        }
    }
    MEMSTREAM_seek(s, start);
    return result;
}

CryptoStatus parseChildren(MemStream* s, ASN1_ITEM* parent, std::uint32_t level, End end);

CryptoStatus parseItem(MemStream* s, ASN1_ITEM* parent, std::uint32_t level, End end) {
    Header h;
    CryptoStatus status = readHeader(s, &h);
    if (status < 0) {
        return status;
    }
    ASN1_ITEM* item = newItem(parent);
    if (item == nullptr) {
        return ERR_MEM_ALLOC_FAIL;
    }
    item->id = h.id;
    item->tag = h.tag;
    item->length = h.length;
    item->indefinite = h.indefinite ? 1 : 0;
    item->headerSize = h.size;
    for (std::uint32_t i = 0; i < h.size; ++i) {
        item->header[i] = h.octets[i];
    }
    item->dataOffset = MEMSTREAM_tell(s);
    if (end != kNoEnd &&
        (item->dataOffset > end || (!h.indefinite && h.length > end - item->dataOffset))) {
        return ERR_DER_BAD_LENGTH;
    }
    if (!h.indefinite && h.length == 0) {
        return emptyAllowed(h.id, h.tag) ? OK : ERR_DER_INVALID_CONTENT;
    }
    if ((h.id & CONSTRUCTED) != 0) {
        status = parseChildren(s, item, level + 1,
                               h.indefinite ? kNoEnd : End{item->dataOffset} + h.length);
        if (status == OK && h.indefinite) {
            item->length = MEMSTREAM_tell(s) - item->dataOffset - 2;  // without end-of-contents
        }
        return status;
    }
    if (h.indefinite) {
        return ERR_DER_INVALID_CONTENT;  // a primitive item has a definite length
    }
    if ((h.id & CLASS_MASK) != UNIVERSAL) {
        return MEMSTREAM_skip(s, h.length);
    }
    std::uint8_t c;
    switch (h.tag) {
        case BOOLEAN:
            status = MEMSTREAM_getc(s, &c);
            if (status == OK) {
                item->value = c;
                status = MEMSTREAM_skip(s, h.length - 1);
            }
            return status;
        case INTEGER:
        case ENUMERATED:
            if (h.length > 4) {
                return MEMSTREAM_skip(s, h.length);
            }
            for (std::uint32_t i = 0; i < h.length; ++i) {
                status = MEMSTREAM_getc(s, &c);
                if (status < 0) {
                    return status;
                }
                item->value = (item->value << 8) | c;
            }
            return OK;
        case BITSTRING:
        case OCTETSTRING: {
            if (h.tag == BITSTRING) {
                status = MEMSTREAM_getc(s, &c);
                if (status < 0) {
                    return status;
                }
                item->value = c;
                ++item->dataOffset;
                --item->length;
                if (item->length == 0 && item->value != 0) {
                    return ERR_DER_INVALID_CONTENT;
                }
            }
            const std::uint32_t start = item->dataOffset;
            if (item->length > s->size - start) {
                return ERR_EOF;
            }
            if (encapsulatesDer(s, h.tag, start, item->length)) {
                if (parseChildren(s, item, level + 1, End{start} + item->length) == OK) {
                    item->encapsulates = 1;
                    return OK;
                }
                releaseChildren(item);
                MEMSTREAM_seek(s, start);
            }
            return MEMSTREAM_skip(s, item->length);
        }
        case 0:
        case NULLTAG:
        case OID:
        case 7:
        case 12:
        case 18:
        case 19:
        case 20:
        case 21:
        case 22:
        case 23:
        case 24:
        case 25:
        case 26:
        case 27:
        case 28:
        case 30:
            return MEMSTREAM_skip(s, h.length);
        default:
            status = MEMSTREAM_skip(s, h.length);
            return status < 0 ? status : ERR_DER_UNSUPPORTED_TAG;
    }
}

// Children of a constructed or encapsulating item at `level`; end is kNoEnd for the
// indefinite form, which runs to an end-of-contents item. The depth limit applies to items, so
// an empty item one level above it is fine in either length form: the end-of-contents octets
// are not content.
CryptoStatus parseChildren(MemStream* s, ASN1_ITEM* parent, std::uint32_t level, End end) {
    const bool tooDeep = level > ASN1_MAX_DEPTH;
    std::uint8_t c;
    CryptoStatus status;
    if (end == kNoEnd) {
        for (;;) {
            status = MEMSTREAM_getc(s, &c);
            if (status < 0) {
                return status;
            }
            if (c == 0) {
                return MEMSTREAM_getc(s, &c);  // the end-of-contents length octet
            }
            if (tooDeep) {
                return ERR_DER_TOO_DEEP;
            }
            MEMSTREAM_ungetc(s);
            status = parseItem(s, parent, level, kNoEnd);
            if (status < 0) {
                return status;
            }
        }
    }
    while (MEMSTREAM_tell(s) < end) {
        if (tooDeep) {
            return ERR_DER_TOO_DEEP;
        }
        if (end - MEMSTREAM_tell(s) == 1) {
            status = MEMSTREAM_getc(s, &c);
            if (status < 0) {
                return status;
            }
            if (c < 1 || c > 49) {
                return ERR_DER_BAD_LENGTH;
            }
            MEMSTREAM_ungetc(s);
        } else if (MEMSTREAM_eof(s)) {
            return ERR_DER_BAD_LENGTH;
        }
        status = parseItem(s, parent, level, end);
        if (status < 0) {
            return status;
        }
        if (MEMSTREAM_tell(s) > end) {
            return ERR_DER_BAD_LENGTH;
        }
    }
    return OK;
}

}  // namespace

CryptoStatus ASN1_parse(MemStream* stream, ASN1_ITEM** root) {
    if (stream == nullptr || root == nullptr) {
        return ERR_NULL_POINTER;
    }
    if (MEMSTREAM_eof(stream)) {
        return ERR_DER_INVALID_CONTENT;
    }
    ASN1_ITEM* top = newItem(nullptr);
    if (top == nullptr) {
        return ERR_MEM_ALLOC_FAIL;
    }
    CryptoStatus status = parseItem(stream, top, 1, kNoEnd);
    if (status < 0) {
        ASN1_releaseItem(&top);
        return status;
    }
    *root = top;
    return OK;
}

CryptoStatus ASN1_releaseItem(ASN1_ITEM** item) {
    if (item == nullptr || *item == nullptr) {
        return ERR_NULL_POINTER;
    }
    ASN1_ITEM* node = *item;
    if (node->parent != nullptr || node->next != nullptr) {
        return ERR_TREE_LINKED_NODE;
    }
    releaseChildren(node);
    if (node->releaseHook != nullptr) {
        node->releaseHook(node);
    }
    PLATFORM_free(node);
    *item = nullptr;
    return OK;
}

CryptoStatus ASN1_getChild(const ASN1_ITEM* item, std::uint32_t n, ASN1_ITEM** child) {
    if (item == nullptr || child == nullptr) {
        return ERR_NULL_POINTER;
    }
    ASN1_ITEM* c = item->firstChild;
    for (std::uint32_t i = 1; c != nullptr && i < n; ++i) {
        c = c->next;
    }
    if (c == nullptr) {
        return ERR_DER_UNEXPECTED_ITEM;
    }
    *child = c;
    return OK;
}

std::uint32_t ASN1_childCount(const ASN1_ITEM* item) {
    std::uint32_t n = 0;
    for (const ASN1_ITEM* c = item->firstChild; c != nullptr; c = c->next) {
        ++n;
    }
    return n;
}

CryptoStatus ASN1_checkAlgorithmOid(const ASN1_ITEM* item, const MemStream* stream,
                                    const std::uint8_t* expected, std::uint32_t expectedLength,
                                    std::uint8_t* extraArc, ASN1_ITEM** oidItem) {
    if (item == nullptr || stream == nullptr || expected == nullptr) {
        return ERR_NULL_POINTER;
    }
    if ((item->id & CLASS_MASK) != UNIVERSAL || item->tag != SEQUENCE) {
        return ERR_DER_UNEXPECTED_ITEM;
    }
    const ASN1_ITEM* oid = item->firstChild;
    if (oid == nullptr || (oid->id & CLASS_MASK) != UNIVERSAL || oid->tag != OID) {
        return ERR_DER_UNEXPECTED_ITEM;
    }
    if (oid->length != expectedLength + (extraArc != nullptr ? 1 : 0)) {
        return ERR_DER_OID_MISMATCH;
    }
    const std::uint8_t* content;
    CryptoStatus status = MEMSTREAM_access(stream, oid->dataOffset, oid->length, &content);
    if (status < 0) {
        return status;
    }
    for (std::uint32_t i = 0; i < expectedLength; ++i) {
        if (content[i] != expected[i]) {
            return ERR_DER_OID_MISMATCH;
        }
    }
    if (extraArc != nullptr) {
        *extraArc = content[expectedLength];
    }
    if (oidItem != nullptr) {
        *oidItem = const_cast<ASN1_ITEM*>(oid);
    }
    return OK;
}
