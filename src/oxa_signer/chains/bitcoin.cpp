#include "bitcoin.hpp"

#include <algorithm>
#include <string_view>

#include "oxa_signer/encoding/bech32.hpp"
#include "oxa_signer/secp256k1_signing.hpp"

namespace oxa_signer {

using oxa_core::Err;

namespace {

constexpr std::uint8_t SEGWIT_VERSION_P2WPKH = 0;

void append_little_endian(std::vector<std::uint8_t>& out, std::uint64_t n, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
}

}  // namespace

std::vector<std::uint8_t> compact_size(std::uint64_t n) {
    if (n <= 252) return {static_cast<std::uint8_t>(n)};
    std::vector<std::uint8_t> out;
    if (n <= 0xFFFF) {
        out.push_back(0xFD);
        append_little_endian(out, n, 2);
    } else if (n <= 0xFFFFFFFF) {
        out.push_back(0xFE);
        append_little_endian(out, n, 4);
    } else {
        out.push_back(0xFF);
        append_little_endian(out, n, 8);
    }
    return out;
}

Bytes32 bitcoin_message_hash(ByteSpan message) {
    constexpr std::string_view PREFIX =
        "\x18"
        "Bitcoin Signed Message:\n";
    const auto length = compact_size(message.size());
    std::vector<std::uint8_t> preimage;
    preimage.reserve(PREFIX.size() + length.size() + message.size());
    preimage.insert(preimage.end(), PREFIX.begin(), PREFIX.end());
    preimage.insert(preimage.end(), length.begin(), length.end());
    preimage.insert(preimage.end(), message.begin(), message.end());
    return sha256d(preimage);
}

oxa_core::Result<std::string, std::string> p2wpkh_address(std::string_view hrp,
                                                          const Bytes20& key_hash) {
    return segwit_address_encode(hrp, SEGWIT_VERSION_P2WPKH, key_hash);
}

oxa_core::Result<Bytes20, std::string> parse_p2wpkh_address(std::string_view hrp,
                                                            std::string_view address) {
    // Legacy (1..., 3...) and other networks' addresses get a plain answer,
    // not the Bech32 decoder's first complaint about them.
    const std::string prefix = std::string(hrp) + "1";
    const bool has_prefix =
        address.size() >= prefix.size() &&
        std::equal(prefix.begin(), prefix.end(), address.begin(), [](char expected, char c) {
            return expected == (c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
        });
    if (!has_prefix) return Err{"expected a P2WPKH address (" + prefix + "q...)"};
    auto decoded = segwit_address_decode(hrp, address);
    if (!decoded) return Err{std::move(decoded).error()};
    const SegwitProgram& output = decoded.value();
    Bytes20 key_hash{};
    if (output.witness_version != SEGWIT_VERSION_P2WPKH ||
        output.program.size() != key_hash.size()) {
        return Err{"not a P2WPKH address (witness version " +
                   std::to_string(output.witness_version) + ", " +
                   std::to_string(output.program.size()) + "-byte program)"};
    }
    std::copy(output.program.begin(), output.program.end(), key_hash.begin());
    return key_hash;
}

SignerResult<std::string> BitcoinSigner::derive_address(ByteSpan private_key) const {
    auto public_key = secp256k1_compressed_public_key(private_key);
    if (!public_key) return Err{public_key.error()};
    auto address = p2wpkh_address(m_hrp, hash160(public_key.value()));
    if (!address) {
        return Err{SignerError{SignerError::Kind::AddressDerivation, address.error()}};
    }
    return std::move(address).value();
}

SignerResult<SignOutput> BitcoinSigner::sign(ByteSpan private_key, ByteSpan data) const {
    return secp256k1_sign_hash(private_key, data, "hash");
}

SignerResult<SignOutput> BitcoinSigner::sign_message(ByteSpan private_key, ByteSpan message) const {
    return sign(private_key, bitcoin_message_hash(message));
}

SignerResult<SignOutput> BitcoinSigner::sign_transaction(ByteSpan private_key, ByteSpan tx) const {
    return sign(private_key, sha256d(tx));
}

std::string BitcoinSigner::default_derivation_path(std::uint32_t index) const {
    return "m/84'/0'/0'/0/" + std::to_string(index);
}

}  // namespace oxa_signer
