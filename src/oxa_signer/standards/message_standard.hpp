#pragma once
// The message standards beyond each family's plain signed message: their
// names, the family each is for, and signing and checking by name.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "oxa_core/result.hpp"
#include "oxa_signer/message_verification.hpp"
#include "oxa_signer/traits.hpp"

namespace oxa_signer {

enum class MessageStandard : std::uint8_t { Bip322Simple, Adr036, SolanaOffchain };

/// The standard named "bip322-simple" (Bitcoin), "adr036" (Cosmos) or
/// "solana-offchain" (Solana), for a chain of `family`. Errors: "unknown
/// message standard: 'x' (use ...)", "message standard 'x' is for <family>,
/// not <family>".
oxa_core::Result<MessageStandard, std::string> message_standard_for(std::string_view name,
                                                                    ChainType family);

/// A message that passed its standard's rules, ready to sign or check: the
/// raw message (BIP-322, ADR-036) or the whole Solana off-chain message.
class StandardMessage {
public:
    /// Errors name the standard: "adr036: the message is empty", ...
    static oxa_core::Result<StandardMessage, std::string> prepare(MessageStandard standard,
                                                                  ByteSpan message);

    /// The signature in the standard's own text: Base64 (bip322-simple,
    /// adr036) or lowercase hex (solana-offchain).
    SignerResult<std::string> sign(ByteSpan private_key) const;

    /// Whether `signature`, in that text, signs this message for `address`
    /// (errors as verify_message_signature's).
    CheckResult<bool> verify(std::string_view signature, std::string_view address) const;

private:
    StandardMessage(MessageStandard standard, std::vector<std::uint8_t> bytes)
        : m_standard(standard), m_bytes(std::move(bytes)) {}

    MessageStandard m_standard;
    std::vector<std::uint8_t> m_bytes;
};

}  // namespace oxa_signer
