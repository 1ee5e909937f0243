#include "oxa_lib/ops.hpp"
#include "oxa_signer/crypto.hpp"
#include "seal.hpp"

namespace oxa_lib {

namespace {

/// The cost a log2 N from the caller asks for (r = 8, p = 1), refused
/// outside what the envelope opens.
LibResult<oxa_signer::ScryptParams> scrypt_cost(std::uint32_t log_n) {
    using oxa_signer::MAX_SCRYPT_LOG_N, oxa_signer::MIN_SCRYPT_LOG_N;
    if (log_n < MIN_SCRYPT_LOG_N || log_n > MAX_SCRYPT_LOG_N) {
        return Err{OxaLibError::invalid_input(
            "scrypt_log_n must be from " + std::to_string(MIN_SCRYPT_LOG_N) + " to " +
            std::to_string(MAX_SCRYPT_LOG_N) + ", got " + std::to_string(log_n))};
    }
    oxa_signer::ScryptParams cost = oxa_signer::DEFAULT_SCRYPT_COST;
    cost.n = std::uint32_t{1} << log_n;
    return cost;
}

}  // namespace

LibStatus change_passphrase(std::string_view name_or_id, std::string_view old_passphrase,
                            std::string_view new_passphrase, OptIndex scrypt_log_n,
                            const VaultPath& vault) {
    std::optional<oxa_signer::ScryptParams> cost;
    if (scrypt_log_n) {
        auto asked = scrypt_cost(*scrypt_log_n);
        if (!asked) return Err{std::move(asked).error()};
        cost = asked.value();
    }
    auto lock = VaultWriteLock::acquire(vault);
    if (!lock) return Err{std::move(lock).error()};
    auto found = load_wallet_by_name_or_id(name_or_id, vault);
    if (!found) return Err{std::move(found).error()};
    StoredWallet& stored = found.value();
    auto envelope = oxa_core::parse_envelope(stored.wallet.crypto);
    if (!envelope) return Err{OxaLibError::json(envelope.error())};
    auto secret = unseal(envelope.value(), old_passphrase);
    if (!secret) return Err{std::move(secret).error()};
    // Without a new cost the wallet keeps the one it has.
    const oxa_core::KdfParams& kdf = envelope.value().kdfparams;
    auto sealed = seal_secret(secret.value(), new_passphrase,
                              cost.value_or(oxa_signer::ScryptParams{kdf.n, kdf.r, kdf.p}));
    if (!sealed) return Err{std::move(sealed).error()};
    // Only the secret's seal changes: file, id, name, accounts, times stay.
    stored.wallet.crypto = std::move(sealed).value();
    return replace_stored_wallet(stored, vault);
}

}  // namespace oxa_lib
