#include "ton.hpp"

#include <algorithm>

#include "oxa_signer/encoding/base64.hpp"
#include "oxa_signer/encoding/crc16.hpp"
#include "oxa_signer/encoding/hex.hpp"

namespace oxa_signer {

using oxa_core::Err;

namespace {

// Representation hash and depth of the v5r1 wallet's code cell.
constexpr Bytes32 WALLET_CODE_HASH = {
    0x20, 0x83, 0x4b, 0x7b, 0x72, 0xb1, 0x12, 0x14, 0x7e, 0x1b, 0x2f, 0xb4, 0x57, 0xb8, 0x4e, 0x74,
    0xd1, 0xa3, 0x0f, 0x04, 0xf7, 0x37, 0xd4, 0xf6, 0x2a, 0x66, 0x8e, 0x95, 0x52, 0xd2, 0xb7, 0x2f};
constexpr std::uint8_t WALLET_CODE_DEPTH = 6;

constexpr std::uint8_t NON_BOUNCEABLE_FLAG = 0x51;
constexpr std::uint8_t BASE_WORKCHAIN = 0x00;
constexpr std::size_t ADDRESS_BYTES = 36;  // flag, workchain, account id, CRC-16

// Writes bits most significant first into the zeroed data bytes of a cell.
class CellBitWriter {
public:
    explicit CellBitWriter(std::span<std::uint8_t> data) : m_data(data) {}

    void put(std::uint64_t value, unsigned width) {
        for (unsigned i = width; i-- > 0;) put_bit(((value >> i) & 1) != 0);
    }
    void put_bytes(ByteSpan bytes) {
        for (std::uint8_t b : bytes) put(b, 8);
    }
    // A cell whose bits do not fill whole bytes marks their end with a 1.
    void complete() { put_bit(true); }

private:
    void put_bit(bool bit) {
        if (bit) m_data[m_position / 8] |= static_cast<std::uint8_t>(0x80 >> (m_position % 8));
        ++m_position;
    }

    std::span<std::uint8_t> m_data;
    std::size_t m_position = 0;
};

}  // namespace

std::array<std::uint8_t, TON_DATA_CELL_BYTES> ton_data_cell(const Ed25519PublicKey& public_key) {
    constexpr std::uint8_t NO_REFERENCES = 0x00;
    constexpr std::uint8_t BITS_322 = 81;  // 40 whole bytes + 41 bytes rounded up
    std::array<std::uint8_t, TON_DATA_CELL_BYTES> cell{NO_REFERENCES, BITS_322};
    CellBitWriter bits(std::span<std::uint8_t>(cell).subspan(2));
    bits.put(1, 1);  // signature authentication allowed
    bits.put(0, 32);  // sequence number
    bits.put(TON_WALLET_ID, 32);
    bits.put_bytes(public_key);
    bits.put(0, 1);  // empty extensions dictionary
    bits.complete();
    return cell;
}

std::array<std::uint8_t, TON_STATE_INIT_CELL_BYTES> ton_state_init_cell(
    const Bytes32& data_cell_hash) {
    constexpr std::uint8_t TWO_REFERENCES = 0x02;
    constexpr std::uint8_t BITS_5 = 0x01;
    // no split depth, not special, code present, data present, no library; tag 1 0 0
    constexpr std::uint8_t CODE_AND_DATA = 0x34;
    std::array<std::uint8_t, TON_STATE_INIT_CELL_BYTES> cell{
        TWO_REFERENCES, BITS_5, CODE_AND_DATA, 0x00, WALLET_CODE_DEPTH, 0x00, 0x00};
    auto hashes = std::copy(WALLET_CODE_HASH.begin(), WALLET_CODE_HASH.end(), cell.begin() + 7);
    std::copy(data_cell_hash.begin(), data_cell_hash.end(), hashes);
    return cell;
}

std::string ton_wallet_address(const Ed25519PublicKey& public_key) {
    const Bytes32 data_hash = sha256(ton_data_cell(public_key));
    const Bytes32 account_id = sha256(ton_state_init_cell(data_hash));
    std::array<std::uint8_t, ADDRESS_BYTES> address{NON_BOUNCEABLE_FLAG, BASE_WORKCHAIN};
    std::copy(account_id.begin(), account_id.end(), address.begin() + 2);
    const std::uint16_t crc = crc16_xmodem(std::span<const std::uint8_t>(address).first(34));
    address[34] = static_cast<std::uint8_t>(crc >> 8);
    address[35] = static_cast<std::uint8_t>(crc & 0xFF);
    return base64url_encode_unpadded(address);
}

oxa_core::Result<Ed25519PublicKey, std::string> parse_ton_public_key(std::string_view text) {
    Ed25519PublicKey public_key{};
    auto bytes = hex_decode(text);
    if (!bytes || bytes.value().size() != public_key.size()) {
        return Err{
            "expected the account's Ed25519 public key as 64 hex digits (a TON address cannot "
            "check a signature)"};
    }
    std::copy(bytes.value().begin(), bytes.value().end(), public_key.begin());
    return public_key;
}

SignerResult<std::string> TonSigner::derive_address(ByteSpan private_key) const {
    auto public_key = ed25519_public_key(private_key);
    if (!public_key) return Err{public_key.error()};
    return ton_wallet_address(public_key.value());
}

SignerResult<SignOutput> TonSigner::sign(ByteSpan private_key, ByteSpan data) const {
    return ed25519_sign(private_key, data);
}

SignerResult<SignOutput> TonSigner::sign_message(ByteSpan private_key, ByteSpan message) const {
    return sign(private_key, message);
}

SignerResult<SignOutput> TonSigner::sign_transaction(ByteSpan private_key, ByteSpan tx) const {
    return sign(private_key, tx);
}

std::string TonSigner::default_derivation_path(std::uint32_t index) const {
    return "m/44'/607'/" + std::to_string(index) + "'";
}

}  // namespace oxa_signer
