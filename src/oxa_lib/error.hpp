#pragma once
// The error of every wallet operation. Its display texts reach Python users
// verbatim, so they are part of the interface.

#include <cstddef>
#include <string>
#include <variant>

#include "oxa_core/error.hpp"
#include "oxa_signer/crypto.hpp"
#include "oxa_signer/hd.hpp"
#include "oxa_signer/mnemonic.hpp"
#include "oxa_signer/traits.hpp"

namespace oxa_lib {

using oxa_core::Err;

class OxaLibError {
public:
    enum class Kind {
        WalletNotFound,
        AmbiguousWallet,
        WalletNameExists,
        InvalidInput,
        BroadcastFailed,
        Crypto,
        Signer,
        Mnemonic,
        Hd,
        Core,
        Io,
        Json,
    };

    static OxaLibError wallet_not_found(std::string name_or_id);
    static OxaLibError ambiguous_wallet(std::string name, std::size_t count);
    static OxaLibError wallet_name_exists(std::string name);
    static OxaLibError invalid_input(std::string text);
    static OxaLibError broadcast_failed(std::string text);
    /// `text` is the operating system's description of the failure.
    static OxaLibError io(std::string text);
    /// `text` is the JSON component's message.
    static OxaLibError json(std::string text);

    OxaLibError(oxa_signer::CryptoError e) : m_kind(Kind::Crypto), m_payload(std::move(e)) {}
    OxaLibError(oxa_signer::SignerError e) : m_kind(Kind::Signer), m_payload(std::move(e)) {}
    OxaLibError(oxa_signer::MnemonicError e) : m_kind(Kind::Mnemonic), m_payload(std::move(e)) {}
    OxaLibError(oxa_signer::HdError e) : m_kind(Kind::Hd), m_payload(std::move(e)) {}
    OxaLibError(oxa_core::OxaError e) : m_kind(Kind::Core), m_payload(std::move(e)) {}

    Kind kind() const noexcept { return m_kind; }
    std::string display() const;

private:
    struct Ambiguous {
        std::string name;
        std::size_t count;
    };
    using Payload =
        std::variant<std::string, Ambiguous, oxa_signer::CryptoError, oxa_signer::SignerError,
                     oxa_signer::MnemonicError, oxa_signer::HdError, oxa_core::OxaError>;

    OxaLibError(Kind kind, Payload payload) : m_kind(kind), m_payload(std::move(payload)) {}

    Kind m_kind;
    Payload m_payload;
};

template <class T>
using LibResult = oxa_core::Result<T, OxaLibError>;
using LibStatus = oxa_core::Status<OxaLibError>;

}  // namespace oxa_lib
