#include "traits.hpp"

#include "chains/bitcoin.hpp"
#include "chains/cosmos.hpp"
#include "chains/evm.hpp"
#include "chains/solana.hpp"
#include "chains/ton.hpp"
#include "chains/tron.hpp"
#include "oxa_core/internal_abort.hpp"

namespace oxa_signer {

std::string SignerError::display() const {
    switch (kind) {
        case Kind::InvalidPrivateKey: return "invalid private key: " + text;
        case Kind::InvalidMessage: return "invalid message: " + text;
        case Kind::SigningFailed: return "signing failed: " + text;
        case Kind::AddressDerivation: return "address derivation failed: " + text;
        case Kind::InvalidTransaction: return "invalid transaction: " + text;
    }
    return text;
}

SignerResult<ByteSpan> ChainSigner::extract_signable_bytes(ByteSpan tx) const { return tx; }

SignerResult<std::vector<std::uint8_t>> ChainSigner::encode_signed_transaction(
    ByteSpan, const SignOutput&) const {
    return oxa_core::Err{SignerError{SignerError::Kind::InvalidTransaction,
                                     "encode_signed_transaction not implemented for " +
                                         std::string(oxa_core::chain_type_name(chain_type()))}};
}

std::unique_ptr<ChainSigner> signer_for_chain(ChainType type) {
    switch (type) {
        case ChainType::Evm: return std::make_unique<EvmSigner>();
        case ChainType::Solana: return std::make_unique<SolanaSigner>();
        case ChainType::Cosmos: return std::make_unique<CosmosSigner>(std::string(COSMOS_HUB_HRP));
        case ChainType::Bitcoin:
            return std::make_unique<BitcoinSigner>(std::string(BITCOIN_MAINNET_HRP));
        case ChainType::Tron: return std::make_unique<TronSigner>();
        case ChainType::Ton: return std::make_unique<TonSigner>();
    }
    throw oxa_core::InternalAbort("unknown chain type");
}

}  // namespace oxa_signer
