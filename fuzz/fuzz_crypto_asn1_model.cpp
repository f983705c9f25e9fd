// The DER parser against a small model of its rules, written apart from the parser: the input is
// parsed by both, and the status and every item of the tree (identifier, tag, lengths, offsets,
// encapsulation, value) must agree. Inputs whose outcome the rules leave open (an end-of-contents
// item with a length octet other than 0, a primitive item in the indefinite form) are not
// compared.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "crypto/asn1.hpp"

namespace {

constexpr int kOpen = 1;  // the rules do not decide this input

struct Item {
    std::uint8_t id = 0;
    std::uint32_t tag = 0;
    std::uint32_t length = 0;
    bool indefinite = false;
    std::uint32_t headerSize = 0;
    bool encapsulates = false;
    std::uint32_t value = 0;
    std::uint32_t dataOffset = 0;
    std::vector<Item> children;
};

class Model {
public:
    Model(const std::uint8_t* data, std::size_t size) : in_(data), size_(size) {}

    int parse(Item* top) {
        if (size_ == 0) {
            return ERR_DER_INVALID_CONTENT;
        }
        return item(top, 1, kNone);
    }

private:
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};  // no definite parent
    const std::uint8_t* in_;
    std::uint64_t size_;
    std::uint64_t at_ = 0;

    int octet(std::uint8_t* c) {
        if (at_ >= size_) {
            return ERR_EOF;
        }
        *c = in_[at_++];
        return OK;
    }

    int skip(std::uint64_t n) {
        if (n > size_ - at_) {
            return ERR_EOF;
        }
        at_ += n;
        return OK;
    }

    struct Header {
        std::uint8_t id;
        std::uint32_t tag;
        std::uint32_t length = 0;
        bool indefinite = false;
        std::uint32_t size = 0;
    };

    // Identifier and length octets at the cursor.
    int header(Header* h) {
        std::uint8_t c;
        if (int s = octet(&c)) {
            return s;
        }
        h->size = 1;
        h->id = c & 0xE0;
        h->tag = c & 0x1F;
        if (h->tag == 0x1F) {
            h->tag = 0;
            for (int n = 1;; ++n) {
                if (n == 4) {
                    return ERR_DER_TAG_TOO_LONG;
                }
                if (octet(&c) != OK) {
                    return n == 1 ? ERR_EOF : ERR_DER_TAG_TOO_LONG;
                }
                ++h->size;
                h->tag = h->tag << 7 | (c & 0x7F);
                if (c < 0x80) {
                    break;
                }
            }
        }
        if (octet(&c) != OK) {
            return ERR_DER_TAG_TOO_LONG;
        }
        ++h->size;
        if (c == 0x80) {
            h->indefinite = true;
        } else if (c < 0x80) {
            h->length = c;
        } else if ((c & 0x7F) > 4) {
            return ERR_DER_LENGTH_TOO_LONG;
        } else {
            for (int n = c & 0x7F; n > 0; --n) {
                if (int s = octet(&c)) {
                    return s;
                }
                ++h->size;
                h->length = h->length << 8 | c;
            }
        }
        return OK;
    }

    static bool emptyAllowed(std::uint8_t id, std::uint32_t tag) {
        if ((id & 0xC0) == 0x80) {
            return true;
        }
        if ((id & 0xC0) != 0) {
            return false;
        }
        for (std::uint32_t t :
             {0, 4, 5, 7, 9, 12, 16, 17, 18, 19, 20, 21, 22, 25, 26, 27, 28, 30}) {
            if (tag == t) {
                return true;
            }
        }
        return false;
    }

    static bool universalOrContext(std::uint8_t id) {
        return (id & 0xC0) == 0 || (id & 0xC0) == 0x80;
    }

    // The content [start, end) looks like DER of its own; the cursor is put back at start.
    bool encapsulated(std::uint32_t tag, std::uint64_t start, std::uint64_t end) {
        const std::uint64_t saved = size_;
        size_ = end;  // the test looks at the content only
        Header outer{};
        bool result = false;
        if (header(&outer) == OK && !outer.indefinite && universalOrContext(outer.id) &&
            outer.size + std::uint64_t{outer.length} == end - start) {
            if (tag == 4) {
                result = outer.tag >= 1 && outer.tag <= 49;
            } else if (outer.tag == 16) {
                Header inner{};
                result = header(&inner) == OK && !inner.indefinite &&
                         universalOrContext(inner.id) && inner.tag == 2 && inner.length < end - at_;
            }
        }
        size_ = saved;
        at_ = start;
        return result;
    }

    int children(Item* parent, std::uint32_t level, std::uint64_t end) {
        if (end == kNone) {
            for (;;) {
                if (at_ >= size_) {
                    return ERR_EOF;
                }
                if (in_[at_] == 0) {
                    // End of contents: the rules name only its identifier octet.
                    if (at_ + 1 >= size_) {
                        return ERR_EOF;
                    }
                    if (in_[at_ + 1] != 0) {
                        return kOpen;
                    }
                    at_ += 2;
                    return OK;
                }
                if (level > ASN1_MAX_DEPTH) {
                    return ERR_DER_TOO_DEEP;
                }
                parent->children.emplace_back();
                if (int s = item(&parent->children.back(), level, kNone)) {
                    return s;
                }
            }
        }
        while (at_ < end) {
            if (level > ASN1_MAX_DEPTH) {
                return ERR_DER_TOO_DEEP;
            }
            if (end - at_ == 1) {
                if (at_ >= size_) {
                    return ERR_EOF;
                }
                if (in_[at_] < 1 || in_[at_] > 49) {
                    return ERR_DER_BAD_LENGTH;
                }
            } else if (at_ >= size_) {
                return ERR_DER_BAD_LENGTH;
            }
            parent->children.emplace_back();
            if (int s = item(&parent->children.back(), level, end)) {
                return s;
            }
            if (at_ > end) {
                return ERR_DER_BAD_LENGTH;
            }
        }
        return OK;
    }

    int item(Item* it, std::uint32_t level, std::uint64_t end) {
        Header h{};
        if (int s = header(&h)) {
            return s;
        }
        it->id = h.id;
        it->tag = h.tag;
        it->length = h.length;
        it->indefinite = h.indefinite;
        it->headerSize = h.size;
        it->dataOffset = static_cast<std::uint32_t>(at_);
        if (end != kNone && (at_ > end || (!h.indefinite && h.length > end - at_))) {
            return ERR_DER_BAD_LENGTH;
        }
        if (!h.indefinite && h.length == 0) {
            return emptyAllowed(h.id, h.tag) ? OK : ERR_DER_INVALID_CONTENT;
        }
        if ((h.id & 0x20) != 0) {
            const std::uint64_t start = at_;
            int s = children(it, level + 1, h.indefinite ? kNone : at_ + h.length);
            if (s == OK && h.indefinite) {
                it->length = static_cast<std::uint32_t>(at_ - start - 2);
            }
            return s;
        }
        if (h.indefinite) {
            return kOpen;  // the rules give primitive items no indefinite form
        }
        if ((h.id & 0xC0) != 0) {
            return skip(h.length);
        }
        std::uint8_t c;
        switch (h.tag) {
            case 1:
                if (int s = octet(&c)) {
                    return s;
                }
                it->value = c;
                return skip(h.length - 1);
            case 2:
            case 10:
                if (h.length > 4) {
                    return skip(h.length);
                }
                for (std::uint32_t i = 0; i < h.length; ++i) {
                    if (int s = octet(&c)) {
                        return s;
                    }
                    it->value = it->value << 8 | c;
                }
                return OK;
            case 3:
            case 4: {
                if (h.tag == 3) {
                    if (int s = octet(&c)) {
                        return s;
                    }
                    it->value = c;
                    ++it->dataOffset;
                    --it->length;
                    if (it->length == 0 && c != 0) {
                        return ERR_DER_INVALID_CONTENT;
                    }
                }
                const std::uint64_t start = at_;
                const std::uint64_t stop = start + it->length;
                if (stop > size_) {
                    return ERR_EOF;
                }
                if (encapsulated(h.tag, start, stop)) {
                    Item inner;
                    if (children(&inner, level + 1, stop) == OK) {
                        it->children = std::move(inner.children);
                        it->encapsulates = true;
                        return OK;
                    }
                    at_ = start;
                }
                return skip(it->length);
            }
            case 0:
            case 5:
            case 6:
            case 7:
            case 12:
            case 30:
                return skip(h.length);
            default:
                if (h.tag >= 18 && h.tag <= 28) {
                    return skip(h.length);
                }
                if (int s = skip(h.length)) {
                    return s;
                }
                return ERR_DER_UNSUPPORTED_TAG;
        }
    }
};

void fail(const char* why, std::uint32_t index, const std::uint8_t* data, std::size_t size) {
    std::fprintf(stderr, "%s (item %u in pre-order); input:", why, index);
    for (std::size_t i = 0; i < size; ++i) {
        std::fprintf(stderr, " %02x", data[i]);
    }
    std::fprintf(stderr, "\n");
    std::abort();
}

struct Walk {
    const std::uint8_t* data;
    std::size_t size;
    std::uint32_t index = 0;

    void same(const ASN1_ITEM* ours, const Item& model) {
        const std::uint32_t n = index++;
        if (ours->id != model.id || ours->tag != model.tag) {
            fail("identifier differs", n, data, size);
        }
        if (ours->length != model.length || (ours->indefinite != 0) != model.indefinite) {
            fail("length differs", n, data, size);
        }
        if (ours->headerSize != model.headerSize || ours->dataOffset != model.dataOffset) {
            fail("header or offset differs", n, data, size);
        }
        if ((ours->encapsulates != 0) != model.encapsulates || ours->value != model.value) {
            fail("encapsulation or value differs", n, data, size);
        }
        for (std::uint32_t i = 0; i < model.headerSize; ++i) {
            if (ours->header[i] != data[model.dataOffset - model.headerSize -
                                        (model.tag == 3 && (model.id & 0xE0) == 0 ? 1 : 0) + i]) {
                fail("header octets differ", n, data, size);
            }
        }
        const ASN1_ITEM* child = ours->firstChild;
        for (const Item& m : model.children) {
            if (child == nullptr) {
                fail("child missing", n, data, size);
            }
            same(child, m);
            child = child->next;
        }
        if (child != nullptr) {
            fail("extra child", n, data, size);
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so a read past the input is caught.
    const std::vector<std::uint8_t> input(data, data + size);
    MemStream stream;
    MEMSTREAM_init(&stream, input.data(), static_cast<std::uint32_t>(size));
    ASN1_ITEM* root = nullptr;
    const CryptoStatus status = ASN1_parse(&stream, &root);
    Item top;
    const int expected = Model(input.data(), size).parse(&top);
    if (expected != kOpen && status != expected) {
        std::fprintf(stderr, "status %d, model %d\n", status, expected);
        fail("status differs", 0, data, size);
    } else if (expected == OK) {
        if (root->firstChild == nullptr || root->firstChild->next != nullptr) {
            fail("the root must hold one item", 0, data, size);
        }
        Walk{data, size}.same(root->firstChild, top);
    }
    if (root != nullptr) {
        ASN1_releaseItem(&root);
    }
    return 0;
}
