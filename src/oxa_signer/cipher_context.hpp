#pragma once
// An OpenSSL cipher context that frees itself; freeing cleanses the key
// schedule it holds.

#include <openssl/evp.h>

#include <memory>

namespace oxa_signer {

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* ctx) const noexcept { EVP_CIPHER_CTX_free(ctx); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

}  // namespace oxa_signer
