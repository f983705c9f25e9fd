// The input is arbitrary DER. Parses it, then visits every item and fetches its content the way
// the key and signature code do, so that any offset or length the parser records is exercised.
#include <cstdint>
#include <cstdlib>

#include "crypto/asn1.hpp"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void visit(const ASN1_ITEM* item, const MemStream* stream, std::uint32_t depth) {
    require(depth <= ASN1_MAX_DEPTH + 1);
    std::uint32_t children = 0;
    for (const ASN1_ITEM* child = item->firstChild; child != nullptr; child = child->next) {
        require(child->parent == item);
        ++children;
        if (!child->indefinite) {
            const std::uint8_t* view = nullptr;
            if (MEMSTREAM_access(stream, child->dataOffset, child->length, &view) == OK &&
                child->length > 0) {
                // Touch both ends so the sanitizer sees any out-of-range view.
                volatile std::uint8_t first = view[0];
                volatile std::uint8_t last = view[child->length - 1];
                (void)first;
                (void)last;
            }
        }
        visit(child, stream, depth + 1);
    }
    require(ASN1_childCount(item) == children);
    ASN1_ITEM* nth = nullptr;
    if (children > 0) {
        require(ASN1_getChild(item, children, &nth) == OK && nth != nullptr);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemStream stream;
    MEMSTREAM_init(&stream, data, static_cast<std::uint32_t>(size));
    ASN1_ITEM* root = nullptr;
    if (ASN1_parse(&stream, &root) == OK) {
        require(root != nullptr);
        visit(root, &stream, 0);
        static const std::uint8_t sha256Prefix[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02};
        ASN1_ITEM* first = nullptr;
        if (ASN1_getChild(root, 1, &first) == OK && first != nullptr) {
            ASN1_ITEM* algorithm = nullptr;
            if (ASN1_getChild(first, 1, &algorithm) == OK && algorithm != nullptr) {
                std::uint8_t arc = 0;
                ASN1_ITEM* oid = nullptr;
                ASN1_checkAlgorithmOid(algorithm, &stream, sha256Prefix, sizeof sha256Prefix, &arc,
                                       &oid);
            }
        }
    }
    if (root != nullptr) {
        ASN1_releaseItem(&root);
    }
    return 0;
}
