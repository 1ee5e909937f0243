#pragma once
// The sealed secret of a wallet as stored: the `crypto` member of a wallet
// file. Sealing and opening it is oxa_signer's work; reading and writing its
// JSON form is the wallet file's (wallet_file.hpp).

#include <cstdint>
#include <string>

namespace oxa_core {

struct KdfParams {
    std::uint32_t dklen = 32;
    std::uint32_t n = 65536;
    std::uint32_t r = 8;
    std::uint32_t p = 1;
    std::string salt;  // hex
};

struct CipherParams {
    std::string iv;  // hex
};

/// The envelope as stored; hex members are kept as text until it is opened.
struct CryptoEnvelope {
    std::string cipher;
    CipherParams cipherparams;
    std::string ciphertext;  // hex
    std::string auth_tag;  // hex
    std::string kdf;
    KdfParams kdfparams;
};

}  // namespace oxa_core
