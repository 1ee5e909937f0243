#include "seal.hpp"

#include "oxa_signer/crypto.hpp"
#include "oxa_signer/encoding/hex.hpp"
#include "oxa_signer/random.hpp"

namespace oxa_lib {

namespace {

std::span<const std::uint8_t> bytes_of(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

LibResult<oxa_core::RawJson> seal_secret(const oxa_signer::SecretBytes& secret,
                                         std::string_view passphrase,
                                         const oxa_signer::ScryptParams& cost) {
    auto envelope = oxa_signer::encrypt(secret.bytes(), bytes_of(passphrase), cost);
    if (!envelope) return Err{OxaLibError(envelope.error())};
    return oxa_core::envelope_to_json(envelope.value());
}

LibResult<WalletInfo> seal_and_store(std::string_view name,
                                     std::vector<oxa_core::WalletAccount> accounts,
                                     const oxa_signer::SecretBytes& secret,
                                     std::string_view passphrase, oxa_core::KeyType key_type,
                                     const VaultPath& vault) {
    auto sealed = seal_secret(secret, passphrase);
    if (!sealed) return Err{std::move(sealed).error()};
    auto wallet =
        oxa_core::EncryptedWallet::create(oxa_signer::random_uuid_v4(), std::string(name),
                                          std::move(accounts), std::move(sealed).value(), key_type);
    auto saved = save_encrypted_wallet(wallet, vault);
    if (!saved) return Err{std::move(saved).error()};
    return wallet_to_info(wallet);
}

LibResult<oxa_signer::SecretBytes> unseal(const oxa_core::EncryptedWallet& wallet,
                                          std::string_view passphrase) {
    auto envelope = oxa_core::parse_envelope(wallet.crypto);
    if (!envelope) return Err{OxaLibError::json(envelope.error())};
    return unseal(envelope.value(), passphrase);
}

LibResult<oxa_signer::SecretBytes> unseal(const oxa_core::CryptoEnvelope& envelope,
                                          std::string_view passphrase) {
    auto secret = oxa_signer::decrypt(envelope, bytes_of(passphrase));
    if (!secret) return Err{OxaLibError(secret.error())};
    return std::move(secret).value();
}

LibResult<oxa_signer::SecretBytes> decode_secret_hex(std::string_view text,
                                                     std::string_view error_prefix, bool strip_0x) {
    if (strip_0x && text.starts_with("0x")) text.remove_prefix(2);
    const auto fail = [&](const std::string& decoder_text) {
        return Err{OxaLibError::invalid_input(std::string(error_prefix) + decoder_text)};
    };
    if (text.size() % 2 != 0) return fail("Odd number of digits");
    oxa_signer::SecretBytes bytes = oxa_signer::SecretBytes::zeroed(text.size() / 2);
    auto decoded = oxa_signer::hex_decode_into(text, bytes.mutable_bytes());
    if (!decoded) return fail(decoded.error());
    return bytes;
}

}  // namespace oxa_lib
