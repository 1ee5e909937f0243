#include "wallet_file.hpp"

#include <array>
#include <chrono>
#include <cstdio>

namespace oxa_core {

namespace {

constexpr std::array<std::string_view, 2> KEY_TYPE_NAMES = {"mnemonic", "private_key"};
constexpr std::array<KeyType, 2> KEY_TYPES = {KeyType::Mnemonic, KeyType::PrivateKey};

enum WalletField : std::size_t {
    OxaVersion,
    Id,
    Name,
    CreatedAt,
    ChainTypeField,
    Accounts,
    Crypto,
    KeyTypeField,
    Metadata
};
constexpr std::array<JsonField, 9> WALLET_FIELDS = {{
    {"oxa_version", true},
    {"id", true},
    {"name", true},
    {"created_at", true},
    {"chain_type", false},
    {"accounts", true},
    {"crypto", true},
    {"key_type", true},
    {"metadata", false},
}};

enum AccountField : std::size_t { AccountId, Address, ChainId, DerivationPath };
constexpr std::array<JsonField, 4> ACCOUNT_FIELDS = {{
    {"account_id", true},
    {"address", true},
    {"chain_id", true},
    {"derivation_path", true},
}};

// The names in declaration order: a name's position is its ChainType value.
constexpr std::array<std::string_view, FAMILIES.size()> CHAIN_TYPE_NAMES = [] {
    std::array<std::string_view, FAMILIES.size()> names{};
    for (const Family& family : FAMILIES)
        names[static_cast<std::size_t>(family.type)] = family.name;
    return names;
}();

template <class T>
Status<JsonError> store(Result<T, JsonError> read, T& target) {
    if (!read) return Err{std::move(read).error()};
    target = std::move(read).value();
    return OK;
}

Status<JsonError> read_account(JsonReader& reader, WalletAccount& account) {
    return reader.read_struct("WalletAccount", ACCOUNT_FIELDS, [&](std::size_t field) {
        switch (static_cast<AccountField>(field)) {
            case AccountId: return store(reader.read_string(), account.account_id);
            case Address: return store(reader.read_string(), account.address);
            case ChainId: return store(reader.read_string(), account.chain_id);
            case DerivationPath: return store(reader.read_string(), account.derivation_path);
        }
        return Status<JsonError>(OK);
    });
}

Status<JsonError> read_chain_type(JsonReader& reader, std::optional<ChainType>& chain_type) {
    auto is_null = reader.read_null();
    if (!is_null) return Err{std::move(is_null).error()};
    if (is_null.value()) {
        chain_type.reset();
        return OK;
    }
    auto variant = reader.read_variant(CHAIN_TYPE_NAMES);
    if (!variant) return Err{std::move(variant).error()};
    chain_type = ALL_CHAIN_TYPES[variant.value()];
    return OK;
}

Status<JsonError> read_key_type(JsonReader& reader, KeyType& key_type) {
    auto variant = reader.read_variant(KEY_TYPE_NAMES);
    if (!variant) return Err{std::move(variant).error()};
    key_type = KEY_TYPES[variant.value()];
    return OK;
}

// An account checked as read_account checks it, with nothing kept.
Status<JsonError> check_account(JsonReader& reader) {
    return reader.read_struct("WalletAccount", ACCOUNT_FIELDS,
                              [&](std::size_t) { return reader.skip_string(); });
}

Status<JsonError> read_member(JsonReader& reader, WalletField field, EncryptedWallet& wallet) {
    switch (field) {
        case OxaVersion: return store(reader.read_u32(), wallet.oxa_version);
        case Id: return store(reader.read_string(), wallet.id);
        case Name: return store(reader.read_string(), wallet.name);
        case CreatedAt: return store(reader.read_string(), wallet.created_at);
        case ChainTypeField: return read_chain_type(reader, wallet.chain_type);
        case Accounts:
            return reader.read_seq([&] {
                wallet.accounts.emplace_back();
                return read_account(reader, wallet.accounts.back());
            });
        case Crypto: return store(reader.read_raw(), wallet.crypto);
        case KeyTypeField: return read_key_type(reader, wallet.key_type);
        case Metadata: return store(reader.read_raw(), wallet.metadata);
    }
    return OK;
}

// A summary keeps three texts, in buffers it reuses from file to file, and
// checks every other member by the same rules without keeping it: a scan of
// the vault is spared most of the copies.
Status<JsonError> read_member(JsonReader& reader, WalletField field, WalletSummary& summary) {
    switch (field) {
        case Id: return reader.read_string_into(summary.id);
        case Name: return reader.read_string_into(summary.name);
        case CreatedAt: return reader.read_string_into(summary.created_at);
        case OxaVersion: {
            auto version = reader.read_u32();
            if (!version) return Err{std::move(version).error()};
            return OK;
        }
        case ChainTypeField: {
            std::optional<ChainType> chain_type;
            return read_chain_type(reader, chain_type);
        }
        case Accounts: return reader.read_seq([&] { return check_account(reader); });
        case Crypto:
        case Metadata: return reader.skip();
        case KeyTypeField: {
            KeyType key_type{};
            return read_key_type(reader, key_type);
        }
    }
    return OK;
}

template <class Record>
Status<std::string> read_wallet_text(std::string_view text, Record& record) {
    JsonReader reader(text);
    auto read = reader.read_struct("EncryptedWallet", WALLET_FIELDS, [&](std::size_t field) {
        return read_member(reader, static_cast<WalletField>(field), record);
    });
    if (!read) return Err{read.error().display()};
    if (auto end = reader.finish(); !end) return Err{end.error().display()};
    return OK;
}

enum EnvelopeField : std::size_t {
    Cipher,
    CipherParamsMember,
    Ciphertext,
    AuthTag,
    Kdf,
    KdfParamsMember
};
constexpr std::array<JsonField, 6> ENVELOPE_FIELDS = {{
    {"cipher", true},
    {"cipherparams", true},
    {"ciphertext", true},
    {"auth_tag", true},
    {"kdf", true},
    {"kdfparams", true},
}};

constexpr std::array<JsonField, 1> CIPHER_PARAMS_FIELDS = {{{"iv", true}}};

enum KdfField : std::size_t { Dklen, ScryptN, ScryptR, ScryptP, Salt };
constexpr std::array<JsonField, 5> KDF_PARAMS_FIELDS = {{
    {"dklen", true},
    {"n", true},
    {"r", true},
    {"p", true},
    {"salt", true},
}};

Status<JsonError> read_cipher_params(JsonReader& reader, CipherParams& params) {
    return reader.read_struct("CipherParams", CIPHER_PARAMS_FIELDS,
                              [&](std::size_t) { return store(reader.read_string(), params.iv); });
}

Status<JsonError> read_kdf_params(JsonReader& reader, KdfParams& params) {
    return reader.read_struct("KdfParams", KDF_PARAMS_FIELDS, [&](std::size_t field) {
        switch (static_cast<KdfField>(field)) {
            case Dklen: return store(reader.read_u32(), params.dklen);
            case ScryptN: return store(reader.read_u32(), params.n);
            case ScryptR: return store(reader.read_u32(), params.r);
            case ScryptP: return store(reader.read_u32(), params.p);
            case Salt: return store(reader.read_string(), params.salt);
        }
        return Status<JsonError>(OK);
    });
}

Status<JsonError> read_envelope(JsonReader& reader, CryptoEnvelope& envelope) {
    return reader.read_struct("CryptoEnvelope", ENVELOPE_FIELDS, [&](std::size_t field) {
        switch (static_cast<EnvelopeField>(field)) {
            case Cipher: return store(reader.read_string(), envelope.cipher);
            case CipherParamsMember: return read_cipher_params(reader, envelope.cipherparams);
            case Ciphertext: return store(reader.read_string(), envelope.ciphertext);
            case AuthTag: return store(reader.read_string(), envelope.auth_tag);
            case Kdf: return store(reader.read_string(), envelope.kdf);
            case KdfParamsMember: return read_kdf_params(reader, envelope.kdfparams);
        }
        return Status<JsonError>(OK);
    });
}

}  // namespace

std::string_view key_type_name(KeyType type) noexcept {
    return KEY_TYPE_NAMES[static_cast<std::size_t>(type)];
}

EncryptedWallet EncryptedWallet::create(std::string id, std::string name,
                                        std::vector<WalletAccount> accounts, RawJson crypto,
                                        KeyType key_type) {
    using namespace std::chrono;
    const nanoseconds since_epoch = system_clock::now().time_since_epoch();
    const seconds whole = floor<seconds>(since_epoch);
    const auto nanos = static_cast<std::uint32_t>((since_epoch - whole).count());
    EncryptedWallet wallet;
    wallet.id = std::move(id);
    wallet.name = std::move(name);
    wallet.created_at = format_rfc3339_utc(whole.count(), nanos);
    wallet.accounts = std::move(accounts);
    wallet.crypto = std::move(crypto);
    wallet.key_type = key_type;
    return wallet;
}

std::string format_rfc3339_utc(std::int64_t seconds_since_epoch, std::uint32_t nanos) {
    using namespace std::chrono;
    constexpr std::uint32_t NANOS_PER_SECOND = 1'000'000'000;
    const sys_seconds time{seconds{seconds_since_epoch + nanos / NANOS_PER_SECOND}};
    nanos %= NANOS_PER_SECOND;
    const sys_days day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{time - day};

    char text[96];
    int length = std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
        static_cast<int>(clock.seconds().count()));
    std::string out(text, static_cast<std::size_t>(length));
    if (nanos != 0) {
        if (nanos % 1'000'000 == 0) {
            length = std::snprintf(text, sizeof text, ".%03u", nanos / 1'000'000);
        } else if (nanos % 1'000 == 0) {
            length = std::snprintf(text, sizeof text, ".%06u", nanos / 1'000);
        } else {
            length = std::snprintf(text, sizeof text, ".%09u", nanos);
        }
        out.append(text, static_cast<std::size_t>(length));
    }
    return out + "+00:00";
}

Result<EncryptedWallet, std::string> parse_encrypted_wallet(std::string_view text) {
    EncryptedWallet wallet;
    if (auto read = read_wallet_text(text, wallet); !read) return Err{std::move(read).error()};
    return wallet;
}

Status<std::string> parse_wallet_summary(std::string_view text, WalletSummary& summary) {
    return read_wallet_text(text, summary);
}

Result<CryptoEnvelope, std::string> parse_envelope(const RawJson& crypto) {
    // Read as the generic value it is stored as: members sorted, the last of a
    // repeated key kept, errors without a place.
    const RawJson value(crypto.parse());
    JsonReader reader(value.text(), JsonReader::Source::GenericValue);
    CryptoEnvelope envelope;
    if (auto read = read_envelope(reader, envelope); !read) return Err{read.error().display()};
    return envelope;
}

RawJson envelope_to_json(const CryptoEnvelope& envelope) {
    const KdfParams& kdf = envelope.kdfparams;
    return RawJson(nlohmann::json{
        {"cipher", envelope.cipher},
        {"cipherparams", {{"iv", envelope.cipherparams.iv}}},
        {"ciphertext", envelope.ciphertext},
        {"auth_tag", envelope.auth_tag},
        {"kdf", envelope.kdf},
        {"kdfparams",
         {{"dklen", kdf.dklen}, {"n", kdf.n}, {"r", kdf.r}, {"p", kdf.p}, {"salt", kdf.salt}}},
    });
}

std::string serialize_encrypted_wallet(const EncryptedWallet& wallet) {
    using Ordered = nlohmann::ordered_json;
    Ordered accounts = Ordered::array();
    for (const WalletAccount& account : wallet.accounts) {
        accounts.push_back(Ordered{{"account_id", account.account_id},
                                   {"address", account.address},
                                   {"chain_id", account.chain_id},
                                   {"derivation_path", account.derivation_path}});
    }
    Ordered document = {{"oxa_version", wallet.oxa_version},
                        {"id", wallet.id},
                        {"name", wallet.name},
                        {"created_at", wallet.created_at}};
    if (wallet.chain_type) document["chain_type"] = chain_type_name(*wallet.chain_type);
    document["accounts"] = std::move(accounts);
    // Generic values go through the sorted tree: keys in order, the last of a
    // repeated key kept.
    document["crypto"] = Ordered(wallet.crypto.parse());
    document["key_type"] = key_type_name(wallet.key_type);
    if (!wallet.metadata.is_null()) document["metadata"] = Ordered(wallet.metadata.parse());
    return document.dump(2, ' ', false, Ordered::error_handler_t::replace);
}

}  // namespace oxa_core
