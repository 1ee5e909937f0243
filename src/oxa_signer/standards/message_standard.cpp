#include "message_standard.hpp"

#include <array>

#include "adr036.hpp"
#include "bip322.hpp"
#include "oxa_core/internal_abort.hpp"
#include "oxa_signer/ed25519_signing.hpp"
#include "oxa_signer/encoding/hex.hpp"
#include "solana_offchain.hpp"

namespace oxa_signer {

using oxa_core::Err;

namespace {

struct StandardName {
    MessageStandard standard;
    std::string_view name;
    ChainType family;
};

constexpr std::array<StandardName, 3> STANDARDS = {{
    {MessageStandard::Bip322Simple, "bip322-simple", ChainType::Bitcoin},
    {MessageStandard::Adr036, "adr036", ChainType::Cosmos},
    {MessageStandard::SolanaOffchain, "solana-offchain", ChainType::Solana},
}};

const StandardName& entry(MessageStandard standard) {
    for (const StandardName& known : STANDARDS) {
        if (known.standard == standard) return known;
    }
    throw oxa_core::InternalAbort("message standard without a name");
}

}  // namespace

oxa_core::Result<MessageStandard, std::string> message_standard_for(std::string_view name,
                                                                    ChainType family) {
    for (const StandardName& known : STANDARDS) {
        if (known.name != name) continue;
        if (known.family != family) {
            return Err{"message standard '" + std::string(name) + "' is for " +
                       std::string(oxa_core::chain_type_name(known.family)) + ", not " +
                       std::string(oxa_core::chain_type_name(family))};
        }
        return known.standard;
    }
    return Err{"unknown message standard: '" + std::string(name) +
               "' (use 'bip322-simple', 'adr036' or 'solana-offchain')"};
}

oxa_core::Result<StandardMessage, std::string> StandardMessage::prepare(MessageStandard standard,
                                                                        ByteSpan message) {
    const auto failed = [standard](const std::string& text) {
        return Err{std::string(entry(standard).name) + ": " + text};
    };
    switch (standard) {
        case MessageStandard::Bip322Simple:
            return StandardMessage(standard, {message.begin(), message.end()});
        case MessageStandard::Adr036:
            // Wallets refuse to sign empty data.
            if (message.empty()) return failed("the message is empty");
            return StandardMessage(standard, {message.begin(), message.end()});
        case MessageStandard::SolanaOffchain: {
            auto serialized = solana_offchain_message(message);
            if (!serialized) return failed(serialized.error());
            return StandardMessage(standard, std::move(serialized).value());
        }
    }
    throw oxa_core::InternalAbort("unknown message standard");
}

SignerResult<std::string> StandardMessage::sign(ByteSpan private_key) const {
    switch (m_standard) {
        case MessageStandard::Bip322Simple:
            return bip322_sign_simple(private_key, bip322_message_hash(m_bytes));
        case MessageStandard::Adr036: return adr036_sign(private_key, m_bytes);
        case MessageStandard::SolanaOffchain: {
            auto output = ed25519_sign(private_key, m_bytes);
            if (!output) return Err{output.error()};
            return hex_encode(output.value().signature);
        }
    }
    throw oxa_core::InternalAbort("unknown message standard");
}

CheckResult<bool> StandardMessage::verify(std::string_view signature,
                                          std::string_view address) const {
    switch (m_standard) {
        case MessageStandard::Bip322Simple:
            return bip322_verify_simple(bip322_message_hash(m_bytes), signature, address);
        case MessageStandard::Adr036: return adr036_verify(m_bytes, signature, address);
        case MessageStandard::SolanaOffchain:
            // The whole off-chain message is signed as a plain Solana message is.
            return verify_message_signature(ChainType::Solana, m_bytes, signature, address);
    }
    throw oxa_core::InternalAbort("unknown message standard");
}

}  // namespace oxa_signer
