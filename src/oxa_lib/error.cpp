#include "error.hpp"

namespace oxa_lib {

OxaLibError OxaLibError::wallet_not_found(std::string name_or_id) {
    return {Kind::WalletNotFound, std::move(name_or_id)};
}
OxaLibError OxaLibError::ambiguous_wallet(std::string name, std::size_t count) {
    return {Kind::AmbiguousWallet, Ambiguous{std::move(name), count}};
}
OxaLibError OxaLibError::wallet_name_exists(std::string name) {
    return {Kind::WalletNameExists, std::move(name)};
}
OxaLibError OxaLibError::invalid_input(std::string text) {
    return {Kind::InvalidInput, std::move(text)};
}
OxaLibError OxaLibError::broadcast_failed(std::string text) {
    return {Kind::BroadcastFailed, std::move(text)};
}
OxaLibError OxaLibError::io(std::string text) { return {Kind::Io, std::move(text)}; }
OxaLibError OxaLibError::json(std::string text) { return {Kind::Json, std::move(text)}; }

std::string OxaLibError::display() const {
    const auto text = [this]() -> const std::string& { return std::get<std::string>(m_payload); };
    switch (m_kind) {
        case Kind::WalletNotFound: return "wallet not found: '" + text() + "'";
        case Kind::AmbiguousWallet: {
            const auto& a = std::get<Ambiguous>(m_payload);
            return "ambiguous wallet name '" + a.name + "' matches " + std::to_string(a.count) +
                   " wallets; use the wallet ID instead";
        }
        case Kind::WalletNameExists: return "wallet name already exists: '" + text() + "'";
        case Kind::InvalidInput: return "invalid input: " + text();
        case Kind::BroadcastFailed: return "broadcast failed: " + text();
        case Kind::Crypto: return std::get<oxa_signer::CryptoError>(m_payload).display();
        case Kind::Signer: return std::get<oxa_signer::SignerError>(m_payload).display();
        case Kind::Mnemonic: return std::get<oxa_signer::MnemonicError>(m_payload).display();
        case Kind::Hd: return std::get<oxa_signer::HdError>(m_payload).display();
        case Kind::Core: return std::get<oxa_core::OxaError>(m_payload).display();
        case Kind::Io: return "I/O error: " + text();
        case Kind::Json: return "JSON error: " + text();
    }
    return {};
}

}  // namespace oxa_lib
