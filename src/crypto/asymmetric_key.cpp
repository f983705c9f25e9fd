#include "crypto/ca_mgmt.hpp"

CryptoStatus CRYPTO_initAsymmetricKey(AsymmetricKey* key) {
    if (key == nullptr) {
        return ERR_NULL_POINTER;
    }
    key->type = KEY_TYPE_NONE;
    key->key = nullptr;
    return OK;
}

CryptoStatus CRYPTO_uninitAsymmetricKey(AsymmetricKey* key) {
    if (key == nullptr) {
        return ERR_NULL_POINTER;
    }
    switch (key->type) {
        case KEY_TYPE_NONE:
            return OK;
        case KEY_TYPE_RSA:
        case KEY_TYPE_ECC:
        case KEY_TYPE_DSA:
            if (key->key != nullptr) {
                RSA_freeKey(&key->key);
            }
            key->key = nullptr;
            key->type = KEY_TYPE_NONE;
            return OK;
        default:
            return ERR_BAD_KEY_TYPE;
    }
}

CryptoStatus CRYPTO_createRSAKey(AsymmetricKey* key) {
    CryptoStatus status = CRYPTO_uninitAsymmetricKey(key);
    if (status < 0) {
        return status;
    }
    status = RSA_createKey(&key->key);
    if (status == OK) {
        key->type = KEY_TYPE_RSA;
    }
    return status;
}

namespace {

CryptoStatus copyValue(vlong** dest, const vlong* src) {
    CryptoStatus status = VLONG_allocVlong(dest, nullptr);
    if (status == OK) {
        status = VLONG_copySignedValue(*dest, src);
    }
    return status;
}

}  // namespace

CryptoStatus CRYPTO_copyAsymmetricKey(AsymmetricKey* dest, const AsymmetricKey* src) {
    if (dest == nullptr || src == nullptr) {
        return ERR_NULL_POINTER;
    }
    CryptoStatus status = CRYPTO_uninitAsymmetricKey(dest);
    if (status < 0) {
        return status;
    }
    if (src->type == KEY_TYPE_NONE) {
        return OK;
    }
    if (src->type != KEY_TYPE_RSA || src->key == nullptr) {
        return ERR_BAD_KEY_TYPE;
    }
    const RSAKey* from = src->key;
    if (from->privateKey != 0 && (from->p == nullptr || from->q == nullptr || from->dP == nullptr ||
                                  from->dQ == nullptr || from->qInv == nullptr)) {
        return ERR_RSA_INCOMPLETE_PRIVATE_KEY;
    }
    status = CRYPTO_createRSAKey(dest);
    if (status < 0) {
        return status;
    }
    RSAKey* to = dest->key;
    to->privateKey = from->privateKey;
    const vlong* fromValues[] = {from->e,  from->n,  from->p,   from->q,
                                 from->dP, from->dQ, from->qInv};
    vlong** toValues[] = {&to->e, &to->n, &to->p, &to->q, &to->dP, &to->dQ, &to->qInv};
    for (int i = 0; i < 7 && status == OK; ++i) {
        if (fromValues[i] != nullptr) {
            status = copyValue(toValues[i], fromValues[i]);
        }
    }
    if (status < 0) {
        CRYPTO_uninitAsymmetricKey(dest);
    }
    return status;
}
