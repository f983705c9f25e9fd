#include "crypto/asn1.hpp"

void MEMSTREAM_init(MemStream* stream, const std::uint8_t* data, std::uint32_t size) {
    stream->pData = data;
    stream->size = size;
    stream->position = 0;
}

CryptoStatus MEMSTREAM_getc(MemStream* stream, std::uint8_t* octet) {
    if (stream->position >= stream->size) {
        return ERR_EOF;
    }
    *octet = stream->pData[stream->position++];
    return OK;
}

CryptoStatus MEMSTREAM_ungetc(MemStream* stream) {
    if (stream->position == 0) {
        return ERR_EOF;
    }
    --stream->position;
    return OK;
}

std::uint32_t MEMSTREAM_tell(const MemStream* stream) {
    return stream->position;
}

CryptoStatus MEMSTREAM_seek(MemStream* stream, std::uint32_t position) {
    if (position > stream->size) {
        return ERR_EOF;
    }
    stream->position = position;
    return OK;
}

CryptoStatus MEMSTREAM_skip(MemStream* stream, std::uint32_t count) {
    if (count > stream->size - stream->position) {
        return ERR_EOF;
    }
    stream->position += count;
    return OK;
}

bool MEMSTREAM_eof(const MemStream* stream) {
    return stream->position >= stream->size;
}

CryptoStatus MEMSTREAM_access(const MemStream* stream, std::uint32_t offset, std::uint32_t length,
                              const std::uint8_t** view) {
    if (offset > stream->size || length > stream->size - offset) {
        return ERR_EOF;
    }
    *view = stream->pData + offset;
    return OK;
}
