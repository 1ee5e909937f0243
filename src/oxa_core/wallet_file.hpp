#pragma once
// The wallet file: one JSON document per wallet, its records, and the exact
// text it is written as.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chain.hpp"
#include "envelope.hpp"
#include "json_reader.hpp"
#include "result.hpp"

namespace oxa_core {

/// What the sealed secret of a wallet is.
enum class KeyType : std::uint8_t { Mnemonic, PrivateKey };

/// "mnemonic" or "private_key".
std::string_view key_type_name(KeyType type) noexcept;

/// One account of a wallet.
struct WalletAccount {
    std::string account_id;  // CAIP-10: chain_id, ':', address
    std::string address;
    std::string chain_id;  // CAIP-2
    std::string derivation_path;  // empty for a private-key wallet

    bool operator==(const WalletAccount&) const = default;
};

/// The whole content of a wallet file. Copies are deep.
struct EncryptedWallet {
    static constexpr std::uint32_t CURRENT_VERSION = 2;

    std::uint32_t oxa_version = CURRENT_VERSION;  // never acted upon
    std::string id;
    std::string name;
    std::string created_at;  // RFC 3339, UTC, "+00:00"
    std::optional<ChainType> chain_type;  // never set by this system
    std::vector<WalletAccount> accounts;
    RawJson crypto;  // the sealed envelope, as generic JSON
    KeyType key_type = KeyType::Mnemonic;
    RawJson metadata;  // null when there is none

    /// A new record of the current version, created now, with no chain type
    /// and null metadata.
    static EncryptedWallet create(std::string id, std::string name,
                                  std::vector<WalletAccount> accounts, RawJson crypto,
                                  KeyType key_type);

    bool operator==(const EncryptedWallet&) const = default;
};

/// RFC 3339 in UTC with the offset "+00:00": a fraction only when `nanos` is
/// not zero, of 3, 6 or 9 digits, the fewest that show it exactly.
/// `nanos` of a second or more carry into the seconds.
std::string format_rfc3339_utc(std::int64_t seconds_since_epoch, std::uint32_t nanos);

/// Reads a wallet file's text. Members may come in any order; unknown keys are
/// skipped at every level; a repeated key, a missing required member (the first
/// in declaration order is named) and a wrongly typed member are errors; a
/// record may also be an array of its members' values in declaration order.
/// `chain_type` and `metadata` may be missing or null. The error is the
/// reader's text with its line and column.
Result<EncryptedWallet, std::string> parse_encrypted_wallet(std::string_view text);

/// What a scan of the vault needs of a wallet to find it and order it.
struct WalletSummary {
    std::string id;
    std::string name;
    std::string created_at;
};

/// Reads a wallet file's text by exactly parse_encrypted_wallet's rules,
/// failing where it fails with the same text, but keeps only the summary,
/// filling `summary` (whose texts keep their buffers for the next file).
/// After a failure `summary` holds nothing of use.
Status<std::string> parse_wallet_summary(std::string_view text, WalletSummary& summary);

/// The file text: pretty JSON with two-space indentation, members in
/// declaration order, `chain_type` left out when absent and `metadata` when
/// null, generic objects with their keys sorted, non-ASCII text raw, no
/// newline at the end. Invalid UTF-8 in a text field is written as U+FFFD,
/// so every written file reads back.
std::string serialize_encrypted_wallet(const EncryptedWallet& wallet);

/// Reads the sealed secret from a wallet's `crypto` member, taken as the
/// generic value it is (the last of a repeated key counts). Each record is an
/// object (unknown members ignored, the first missing one in declared order
/// named) or an array of its members in declared order. Errors are the
/// reader's texts without a place, e.g. "missing field `salt`",
/// "invalid type: string \"x\", expected u32",
/// "invalid length 2, expected struct KdfParams with 5 elements".
Result<CryptoEnvelope, std::string> parse_envelope(const RawJson& crypto);

/// The envelope as the generic object stored in `crypto` (members sorted by name).
RawJson envelope_to_json(const CryptoEnvelope& envelope);

}  // namespace oxa_core
