#pragma once
// The Ethereum keystore file (Web3 Secret Storage, version 3): one private key
// sealed under a passphrase by scrypt or PBKDF2-HMAC-SHA256, AES-128-CTR and
// a Keccak-256 MAC. Its JSON is read and written here; opening and sealing
// the key is oxa_signer's (keystore.hpp).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "result.hpp"

namespace oxa_core {

enum class KeystoreKdf : std::uint8_t { Scrypt, Pbkdf2 };

/// The `crypto` member, its cipher known to be "aes-128-ctr". Hex members
/// are kept as text until the key is opened; the cost members of the other
/// KDF stay zero.
struct KeystoreCrypto {
    std::string iv;  // cipherparams.iv
    std::string ciphertext;
    KeystoreKdf kdf = KeystoreKdf::Scrypt;
    std::uint32_t dklen = 0;
    std::uint32_t n = 0;  // scrypt
    std::uint32_t r = 0;
    std::uint32_t p = 0;
    std::uint32_t c = 0;  // pbkdf2 iterations
    std::string prf;  // pbkdf2
    std::string salt;
    std::string mac;
};

struct Keystore {
    KeystoreCrypto crypto;
    std::string id;  // not checked on reading: some tools write non-RFC 4122 ids
    std::optional<std::string> address;  // hex, with or without 0x, any case
};

/// Reads a keystore's text: an object with `version` 3 and `crypto` (some
/// tools write `Crypto`); unknown members are skipped, a repeated one is
/// refused. The cipher must be "aes-128-ctr" and the KDF "scrypt" (dklen,
/// n, r, p, salt) or "pbkdf2" (c, dklen, prf, salt). The error is the
/// reader's text with its place, or the rule that failed.
Result<Keystore, std::string> parse_keystore(std::string_view text);

/// The compact JSON text, members in name order as keystore writers put them.
std::string serialize_keystore(const Keystore& keystore);

}  // namespace oxa_core
