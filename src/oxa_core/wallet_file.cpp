#include "wallet_file.hpp"

#include <array>
#include <chrono>
#include <cstdio>
#include <span>

#include "utf8.hpp"

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

std::array<std::string_view, 6> chain_type_names() {
    std::array<std::string_view, 6> names;
    for (std::size_t i = 0; i < names.size(); ++i) names[i] = chain_type_name(ALL_CHAIN_TYPES[i]);
    return names;
}

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
    static const std::array<std::string_view, 6> names = chain_type_names();
    auto variant = reader.read_variant(names);
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

Status<JsonError> read_wallet(JsonReader& reader, EncryptedWallet& wallet) {
    return reader.read_struct("EncryptedWallet", WALLET_FIELDS, [&](std::size_t field) {
        switch (static_cast<WalletField>(field)) {
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
        return Status<JsonError>(OK);
    });
}

// ---- writing ----

void append_escaped(std::string& out, std::string_view text) {
    static constexpr char HEX[] = "0123456789abcdef";
    out += '"';
    for (char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: {
                const auto byte = static_cast<unsigned char>(c);
                if (byte < 0x20) {
                    out += "\\u00";
                    out += HEX[byte >> 4];
                    out += HEX[byte & 0xF];
                } else {
                    out += c;
                }
            }
        }
    }
    out += '"';
}

void append_text(std::string& out, std::string_view text) {
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    if (utf8_valid_prefix(bytes) == text.size()) {
        append_escaped(out, text);
    } else {
        append_escaped(out, utf8_lossy(text));
    }
}

// Opens a member: the separator, the indentation, the key and ": ".
void append_key(std::string& out, std::string_view indent, std::string_view key, bool first) {
    out += first ? "\n" : ",\n";
    out += indent;
    out += '"';
    out += key;
    out += "\": ";
}

void append_text_member(std::string& out, std::string_view indent, std::string_view key,
                        std::string_view text, bool first = false) {
    append_key(out, indent, key, first);
    append_text(out, text);
}

// Generic values are written as the tree prints them (keys sorted, last of a
// repeated key kept), shifted right to the member's nesting level. Newlines in
// the printed text are all structural: strings carry theirs escaped.
void append_generic(std::string& out, const RawJson& value, std::string_view indent) {
    const std::string printed =
        value.parse().dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    for (char c : printed) {
        out += c;
        if (c == '\n') out += indent;
    }
}

void append_account(std::string& out, const WalletAccount& account) {
    constexpr std::string_view indent = "      ";
    out += "    {";
    append_text_member(out, indent, "account_id", account.account_id, true);
    append_text_member(out, indent, "address", account.address);
    append_text_member(out, indent, "chain_id", account.chain_id);
    append_text_member(out, indent, "derivation_path", account.derivation_path);
    out += "\n    }";
}

void append_accounts(std::string& out, const std::vector<WalletAccount>& accounts) {
    append_key(out, "  ", "accounts", false);
    if (accounts.empty()) {
        out += "[]";
        return;
    }
    out += '[';
    for (std::size_t i = 0; i < accounts.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        append_account(out, accounts[i]);
    }
    out += "\n  ]";
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
    JsonReader reader(text);
    EncryptedWallet wallet;
    if (auto read = read_wallet(reader, wallet); !read) return Err{read.error().display()};
    if (auto end = reader.finish(); !end) return Err{end.error().display()};
    return wallet;
}

std::string serialize_encrypted_wallet(const EncryptedWallet& wallet) {
    std::string out = "{";
    append_key(out, "  ", "oxa_version", true);
    out += std::to_string(wallet.oxa_version);
    append_text_member(out, "  ", "id", wallet.id);
    append_text_member(out, "  ", "name", wallet.name);
    append_text_member(out, "  ", "created_at", wallet.created_at);
    if (wallet.chain_type) {
        append_text_member(out, "  ", "chain_type", chain_type_name(*wallet.chain_type));
    }
    append_accounts(out, wallet.accounts);
    append_key(out, "  ", "crypto", false);
    append_generic(out, wallet.crypto, "  ");
    append_text_member(out, "  ", "key_type", key_type_name(wallet.key_type));
    if (!wallet.metadata.is_null()) {
        append_key(out, "  ", "metadata", false);
        append_generic(out, wallet.metadata, "  ");
    }
    out += "\n}";
    return out;
}

}  // namespace oxa_core
