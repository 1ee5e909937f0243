#include "keystore_file.hpp"

#include <array>

#include <nlohmann/json.hpp>

#include "json_reader.hpp"

namespace oxa_core {

namespace {

constexpr std::uint32_t VERSION = 3;
constexpr std::string_view CIPHER = "aes-128-ctr";

enum KeystoreField : std::size_t { Version, CryptoLower, CryptoUpper, Address, Id };
constexpr std::array<JsonField, 5> KEYSTORE_FIELDS = {{
    {"version", true},
    {"crypto", false},
    {"Crypto", false},
    {"address", false},
    {"id", false},
}};

enum CryptoField : std::size_t { Cipher, CipherParams, Ciphertext, Kdf, KdfParams, Mac };
constexpr std::array<JsonField, 6> CRYPTO_FIELDS = {{
    {"cipher", true},
    {"cipherparams", true},
    {"ciphertext", true},
    {"kdf", true},
    {"kdfparams", true},
    {"mac", true},
}};

constexpr std::array<JsonField, 1> CIPHER_PARAMS_FIELDS = {{{"iv", true}}};

// Every member either KDF uses; which of them must be there depends on the
// KDF, which may come after its parameters.
enum KdfField : std::size_t { Dklen, ScryptN, ScryptR, ScryptP, Iterations, Prf, Salt };
constexpr std::array<JsonField, 7> KDF_PARAMS_FIELDS = {{
    {"dklen", true},
    {"n", false},
    {"r", false},
    {"p", false},
    {"c", false},
    {"prf", false},
    {"salt", true},
}};

template <class T>
Status<JsonError> store(Result<T, JsonError> read, T& target) {
    if (!read) return Err{std::move(read).error()};
    target = std::move(read).value();
    return OK;
}

/// A u32 member, remembered as present.
Status<JsonError> store_present(JsonReader& reader, std::uint32_t& target, bool& present) {
    present = true;
    return store(reader.read_u32(), target);
}

struct KdfMembersSeen {
    bool n = false, r = false, p = false, c = false, prf = false;
};

Status<JsonError> read_kdf_params(JsonReader& reader, KeystoreCrypto& crypto,
                                  KdfMembersSeen& seen) {
    return reader.read_struct("KdfParams", KDF_PARAMS_FIELDS, [&](std::size_t field) {
        switch (static_cast<KdfField>(field)) {
            case Dklen: return store(reader.read_u32(), crypto.dklen);
            case ScryptN: return store_present(reader, crypto.n, seen.n);
            case ScryptR: return store_present(reader, crypto.r, seen.r);
            case ScryptP: return store_present(reader, crypto.p, seen.p);
            case Iterations: return store_present(reader, crypto.c, seen.c);
            case Prf: seen.prf = true; return store(reader.read_string(), crypto.prf);
            case Salt: return store(reader.read_string(), crypto.salt);
        }
        return Status<JsonError>(OK);
    });
}

Status<JsonError> read_cipher(JsonReader& reader) {
    auto cipher = reader.read_string();
    if (!cipher) return Err{std::move(cipher).error()};
    if (cipher.value() == CIPHER) return OK;
    return Err{JsonError{"unsupported cipher '" + cipher.value() + "' (expected " +
                         std::string(CIPHER) + ")"}};
}

Status<JsonError> read_kdf(JsonReader& reader, KeystoreKdf& kdf) {
    auto name = reader.read_string();
    if (!name) return Err{std::move(name).error()};
    if (name.value() == "scrypt") {
        kdf = KeystoreKdf::Scrypt;
    } else if (name.value() == "pbkdf2") {
        kdf = KeystoreKdf::Pbkdf2;
    } else {
        return Err{JsonError{"unsupported kdf '" + name.value() + "' (expected scrypt or pbkdf2)"}};
    }
    return OK;
}

Status<JsonError> read_crypto(JsonReader& reader, KeystoreCrypto& crypto, KdfMembersSeen& seen) {
    return reader.read_struct("KeystoreCrypto", CRYPTO_FIELDS, [&](std::size_t field) {
        switch (static_cast<CryptoField>(field)) {
            case Cipher: return read_cipher(reader);
            case CipherParams:
                return reader.read_struct("CipherParams", CIPHER_PARAMS_FIELDS, [&](std::size_t) {
                    return store(reader.read_string(), crypto.iv);
                });
            case Ciphertext: return store(reader.read_string(), crypto.ciphertext);
            case Kdf: return read_kdf(reader, crypto.kdf);
            case KdfParams: return read_kdf_params(reader, crypto, seen);
            case Mac: return store(reader.read_string(), crypto.mac);
        }
        return Status<JsonError>(OK);
    });
}

Status<JsonError> read_version(JsonReader& reader) {
    auto version = reader.read_u32();
    if (!version) return Err{std::move(version).error()};
    if (version.value() == VERSION) return OK;
    return Err{JsonError{"unsupported keystore version " + std::to_string(version.value()) +
                         " (expected " + std::to_string(VERSION) + ")"}};
}

Status<JsonError> read_address(JsonReader& reader, std::optional<std::string>& address) {
    auto null = reader.read_null();
    if (!null) return Err{std::move(null).error()};
    if (null.value()) return OK;
    address.emplace();
    return store(reader.read_string(), *address);
}

Status<std::string> check_kdf_members(const KeystoreCrypto& crypto, const KdfMembersSeen& seen) {
    const auto missing = [](std::string_view name) {
        return Err{"missing field `" + std::string(name) + "` in kdfparams"};
    };
    if (crypto.kdf == KeystoreKdf::Scrypt) {
        if (!seen.n) return missing("n");
        if (!seen.r) return missing("r");
        if (!seen.p) return missing("p");
    } else {
        if (!seen.c) return missing("c");
        if (!seen.prf) return missing("prf");
    }
    return OK;
}

}  // namespace

Result<Keystore, std::string> parse_keystore(std::string_view text) {
    JsonReader reader(text);
    Keystore keystore;
    KdfMembersSeen seen;
    bool has_crypto = false;
    const auto read_crypto_once = [&]() -> Status<JsonError> {
        if (has_crypto) return Err{JsonError{"both `crypto` and `Crypto` are present"}};
        has_crypto = true;
        return read_crypto(reader, keystore.crypto, seen);
    };
    auto read = reader.read_struct("Keystore", KEYSTORE_FIELDS, [&](std::size_t field) {
        switch (static_cast<KeystoreField>(field)) {
            case Version: return read_version(reader);
            case CryptoLower:
            case CryptoUpper: return read_crypto_once();
            case Address: return read_address(reader, keystore.address);
            case Id: return store(reader.read_string(), keystore.id);
        }
        return Status<JsonError>(OK);
    });
    if (!read) return Err{read.error().display()};
    if (auto end = reader.finish(); !end) return Err{end.error().display()};
    if (!has_crypto) return Err{std::string("missing field `crypto`")};
    if (auto members = check_kdf_members(keystore.crypto, seen); !members) {
        return Err{std::move(members).error()};
    }
    return keystore;
}

std::string serialize_keystore(const Keystore& keystore) {
    const KeystoreCrypto& crypto = keystore.crypto;
    nlohmann::json kdfparams = {{"dklen", crypto.dklen}, {"salt", crypto.salt}};
    if (crypto.kdf == KeystoreKdf::Scrypt) {
        kdfparams.update({{"n", crypto.n}, {"r", crypto.r}, {"p", crypto.p}});
    } else {
        kdfparams.update({{"c", crypto.c}, {"prf", crypto.prf}});
    }
    // A plain json object keeps its members sorted by name.
    nlohmann::json document = {
        {"crypto",
         {{"cipher", CIPHER},
          {"cipherparams", {{"iv", crypto.iv}}},
          {"ciphertext", crypto.ciphertext},
          {"kdf", crypto.kdf == KeystoreKdf::Scrypt ? "scrypt" : "pbkdf2"},
          {"kdfparams", std::move(kdfparams)},
          {"mac", crypto.mac}}},
        {"id", keystore.id},
        {"version", VERSION},
    };
    if (keystore.address) document["address"] = *keystore.address;
    return document.dump();
}

}  // namespace oxa_core
