// Every wallet operation, run in a scratch vault while the freed-memory watch
// records: afterwards no freed block may hold any 16 bytes of the phrase, the
// seed, a private key (raw or as hex) or the passphrase, and every
// SecretBytes must have been all zeros over its capacity when released.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "freed_memory.hpp"
#include "oxa_core/chain.hpp"
#include "oxa_lib/ops.hpp"
#include "oxa_lib/ops/seal.hpp"
#include "oxa_signer/hd.hpp"
#include "oxa_signer/mnemonic.hpp"
#include "oxa_signer/traits.hpp"
#include "scratch_dir.hpp"

namespace {

using oxa_core::ChainType;
using oxa_signer::SecretBytes;
using oxa_test::FreedBlocks;
using oxa_test::KnownSecret;
using Secrets = std::vector<KnownSecret>;

// A BIP-39 vector phrase and two published private keys (an eth-account
// transaction key and RFC 8032's first Ed25519 key): varied bytes, so a
// 16-byte match cannot be chance.
constexpr std::string_view PHRASE =
    "legal winner thank year wave sausage worth useful legal winner thank yellow";
constexpr std::string_view SECP256K1_KEY_HEX =
    "70af7ec25374c2b06cbfffeaf9817a3d1bc61854abbf39e9e00de734b0c0c8c4";
constexpr std::string_view ED25519_KEY_HEX =
    "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60";
constexpr std::string_view PASSPHRASE = "a passphrase long enough to be searched for";
constexpr std::string_view MNEMONIC_WALLET = "phrase wallet";
constexpr std::string_view KEY_WALLET = "key wallet";
constexpr std::string_view TX_HEX =
    "02f28205390284773594008477359400830186a09496216849c49358b10257cb55b28ea603c874b05e865af3107a"
    "4000825544c0";
// Nothing listens here: the send fails in curl, after the key was used.
constexpr std::string_view UNREACHABLE_RPC = "http://127.0.0.1:9";

SecretBytes hex_of(std::span<const std::uint8_t> bytes) {
    static constexpr char DIGITS[] = "0123456789abcdef";
    SecretBytes out = SecretBytes::with_capacity(2 * bytes.size());
    for (std::uint8_t b : bytes) {
        const char pair[2] = {DIGITS[b >> 4], DIGITS[b & 15]};
        out.append(std::string_view(pair, 2));
    }
    return out;
}

SecretBytes unhex(std::string_view hex) {
    SecretBytes out = SecretBytes::zeroed(hex.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out.mutable_bytes()[i] =
            static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(2 * i, 2)), nullptr, 16));
    }
    return out;
}

void add_key(Secrets& secrets, const std::string& label, SecretBytes key) {
    secrets.push_back({label + " key as hex", hex_of(key.bytes())});
    secrets.push_back({label + " key", std::move(key)});
}

/// The phrase, its seed and the index-0 key of every family.
Secrets mnemonic_secrets(std::string_view phrase) {
    Secrets secrets;
    auto mnemonic = oxa_signer::Mnemonic::from_phrase(phrase);
    if (!mnemonic) throw std::runtime_error("test phrase rejected");
    SecretBytes seed = mnemonic.value().to_seed("");
    for (ChainType family : oxa_core::ACCOUNT_ORDER) {
        const auto signer = oxa_signer::signer_for_chain(family);
        auto key = oxa_signer::HdDeriver::derive(seed.bytes(), signer->default_derivation_path(0),
                                                 signer->curve());
        if (!key) throw std::runtime_error("test derivation failed");
        add_key(secrets, std::string(oxa_core::chain_type_name(family)), std::move(key).value());
    }
    secrets.push_back({"phrase", SecretBytes::from_slice(phrase)});
    secrets.push_back({"seed", std::move(seed)});
    secrets.push_back({"passphrase", SecretBytes::from_slice(PASSPHRASE)});
    return secrets;
}

Secrets key_pair_secrets() {
    Secrets secrets;
    add_key(secrets, "secp256k1", unhex(SECP256K1_KEY_HEX));
    add_key(secrets, "ed25519", unhex(ED25519_KEY_HEX));
    secrets.push_back({"passphrase", SecretBytes::from_slice(PASSPHRASE)});
    return secrets;
}

/// A secret text an operation hands out, in its wiping buffer.
SecretBytes take_text(oxa_lib::LibResult<SecretBytes>&& result) {
    if (!result) throw std::runtime_error(result.error().display());
    return std::move(result).value();
}

void expect_clean(const FreedBlocks& freed, const Secrets& secrets) {
    EXPECT_EQ(freed.leaked(secrets), std::vector<std::string>{});
    EXPECT_GT(freed.secret_buffers_released(), 0u) << "the release hook saw nothing";
    EXPECT_EQ(freed.secret_buffers_released_dirty(), 0u);
}

class SecretHygiene : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_vault = new oxa_test::ScratchDir();
        const oxa_lib::VaultPath vault = s_vault->path();
        auto phrase_wallet =
            oxa_lib::import_wallet_mnemonic(MNEMONIC_WALLET, PHRASE, PASSPHRASE, 0, vault);
        auto key_wallet = oxa_lib::import_wallet_private_key(
            KEY_WALLET, "", std::nullopt, PASSPHRASE, vault, SECP256K1_KEY_HEX, ED25519_KEY_HEX);
        if (!phrase_wallet || !key_wallet) throw std::runtime_error("test wallets not stored");
    }
    static void TearDownTestSuite() { delete s_vault; }

    static oxa_lib::VaultPath vault() { return s_vault->path(); }

    static oxa_test::ScratchDir* s_vault;
};
oxa_test::ScratchDir* SecretHygiene::s_vault = nullptr;

TEST(FreedBlocksWatch, CatchesAPhraseLeftInAFreedString) {
    FreedBlocks freed;
    {
        std::string careless(PHRASE);
        // Keeps the allocation from being optimised away.
        asm volatile("" : : "r"(careless.data()) : "memory");
    }
    freed.stop();
    Secrets secrets;
    secrets.push_back({"phrase", SecretBytes::from_slice(PHRASE)});
    EXPECT_EQ(freed.leaked(secrets), std::vector<std::string>{"phrase"});
}

TEST(FreedBlocksWatch, WipedStringsAndSecretBytesPass) {
    FreedBlocks freed;
    {
        std::string careful(PHRASE);
        oxa_signer::wipe(careful);
        SecretBytes pinned = SecretBytes::from_slice(PHRASE);
    }
    freed.stop();
    Secrets secrets;
    secrets.push_back({"phrase", SecretBytes::from_slice(PHRASE)});
    expect_clean(freed, secrets);
}

TEST_F(SecretHygiene, ImportingAPhraseLeavesNoSecret) {
    FreedBlocks freed;
    auto info = oxa_lib::import_wallet_mnemonic("imported again", PHRASE, PASSPHRASE, 0, vault());
    freed.stop();
    ASSERT_TRUE(info) << info.error().display();
    expect_clean(freed, mnemonic_secrets(PHRASE));
}

TEST_F(SecretHygiene, ImportingPrivateKeysLeavesNoSecret) {
    FreedBlocks freed;
    auto info = oxa_lib::import_wallet_private_key("keys again", "", std::nullopt, PASSPHRASE,
                                                   vault(), SECP256K1_KEY_HEX, ED25519_KEY_HEX);
    freed.stop();
    ASSERT_TRUE(info) << info.error().display();
    expect_clean(freed, key_pair_secrets());
}

TEST_F(SecretHygiene, ImportingOneKeyForAChainLeavesNoSecret) {
    FreedBlocks freed;
    auto info = oxa_lib::import_wallet_private_key("one key", ED25519_KEY_HEX, "solana", PASSPHRASE,
                                                   vault(), std::nullopt, std::nullopt);
    freed.stop();
    ASSERT_TRUE(info) << info.error().display();
    expect_clean(freed, key_pair_secrets());
}

TEST_F(SecretHygiene, CreatingAndExportingLeaveNoSecret) {
    FreedBlocks freed;
    auto info = oxa_lib::create_wallet("created", 24, PASSPHRASE, vault());
    ASSERT_TRUE(info) << info.error().display();
    SecretBytes phrase = take_text(oxa_lib::export_wallet("created", PASSPHRASE, vault()));
    freed.stop();
    // The phrase is known only now; the copies recorded meanwhile are searched for it.
    expect_clean(freed, mnemonic_secrets(phrase.text()));
}

TEST_F(SecretHygiene, ExportingLeavesNoSecret) {
    FreedBlocks freed;
    {
        // Released while recording, as a caller releases them.
        SecretBytes phrase =
            take_text(oxa_lib::export_wallet(MNEMONIC_WALLET, PASSPHRASE, vault()));
        SecretBytes key_pair = take_text(oxa_lib::export_wallet(KEY_WALLET, PASSPHRASE, vault()));
        EXPECT_EQ(phrase.text(), PHRASE);
    }
    freed.stop();
    expect_clean(freed, mnemonic_secrets(PHRASE));
    expect_clean(freed, key_pair_secrets());
}

TEST_F(SecretHygiene, GeneratingAPhraseLeavesNoSecret) {
    for (std::uint32_t words : {12u, 24u}) {
        // Reserved before recording starts, so this copy is never a freed block.
        std::string known;
        known.reserve(512);
        FreedBlocks freed;
        {
            SecretBytes phrase = take_text(oxa_lib::generate_mnemonic(words));
            known.assign(phrase.text());
        }
        freed.stop();
        expect_clean(freed, mnemonic_secrets(known));
    }
}

TEST_F(SecretHygiene, DerivingAddressesLeavesNoSecret) {
    FreedBlocks freed;
    for (const oxa_core::Chain& chain : oxa_core::KNOWN_CHAINS) {
        auto address = oxa_lib::derive_address(PHRASE, chain.name, 0);
        ASSERT_TRUE(address) << address.error().display();
    }
    freed.stop();
    expect_clean(freed, mnemonic_secrets(PHRASE));
}

TEST_F(SecretHygiene, SendingLeavesNoSecret) {
    FreedBlocks freed;
    auto evm = oxa_lib::sign_and_send(KEY_WALLET, "ethereum", TX_HEX, PASSPHRASE, std::nullopt,
                                      UNREACHABLE_RPC, vault());
    auto solana =
        oxa_lib::sign_and_send(MNEMONIC_WALLET, "solana", "01" + std::string(128, '0') + "0100",
                               PASSPHRASE, std::nullopt, UNREACHABLE_RPC, vault());
    freed.stop();
    // Both fail in curl, after the key was decrypted and used.
    ASSERT_FALSE(evm);
    EXPECT_EQ(evm.error().kind(), oxa_lib::OxaLibError::Kind::BroadcastFailed);
    ASSERT_FALSE(solana);
    EXPECT_EQ(solana.error().kind(), oxa_lib::OxaLibError::Kind::BroadcastFailed);
    expect_clean(freed, key_pair_secrets());
    expect_clean(freed, mnemonic_secrets(PHRASE));
}

TEST_F(SecretHygiene, KeysOverTheirLifetimeLeaveNoSecret) {
    FreedBlocks freed;
    {
        auto changed =
            oxa_lib::change_passphrase(KEY_WALLET, PASSPHRASE, PASSPHRASE, std::nullopt, vault());
        ASSERT_TRUE(changed) << changed.error().display();
        auto keystore =
            oxa_lib::export_keystore(KEY_WALLET, PASSPHRASE, PASSPHRASE, std::nullopt, vault());
        ASSERT_TRUE(keystore) << keystore.error().display();
        auto from_keystore = oxa_lib::import_keystore("from keystore", keystore.value(), PASSPHRASE,
                                                      PASSPHRASE, vault());
        ASSERT_TRUE(from_keystore) << from_keystore.error().display();
        SecretBytes keypair = take_text(
            oxa_lib::export_solana_keypair(KEY_WALLET, PASSPHRASE, std::nullopt, vault()));
        auto from_keypair =
            oxa_lib::import_solana_keypair("from keypair", keypair.text(), PASSPHRASE, vault());
        ASSERT_TRUE(from_keypair) << from_keypair.error().display();
    }
    freed.stop();
    expect_clean(freed, key_pair_secrets());
}

TEST_F(SecretHygiene, Bip39PassphraseRangeLeavesNoSecret) {
    // Not ASCII, so the passphrase goes through the normalization buffers;
    // made before recording starts, so its own temporaries are not searched.
    const std::string passphrase = std::string(PASSPHRASE) + " \u00e9t\u00e9";
    FreedBlocks freed;
    auto derived = oxa_lib::derive_addresses(PHRASE, "ethereum", 0, 3, passphrase);
    freed.stop();
    ASSERT_TRUE(derived) << derived.error().display();
    Secrets secrets = mnemonic_secrets(PHRASE);
    secrets.push_back({"bip39 passphrase", SecretBytes::from_slice(passphrase)});
    expect_clean(freed, secrets);
}

TEST_F(SecretHygiene, ReadingEscapedKeyPairLeavesNoSecret) {
    // Every digit as a \u escape, so the reader's unescaping buffer holds the keys.
    SecretBytes plaintext = SecretBytes::with_capacity(2 * 6 * 64 + 64);
    plaintext.append(std::string_view("{\"secp256k1\":\""));
    for (char digit : SECP256K1_KEY_HEX) {
        const char escaped[6] = {
            '\\', 'u', '0', '0', "0123456789abcdef"[digit >> 4], "0123456789abcdef"[digit & 15]};
        plaintext.append(std::string_view(escaped, 6));
    }
    plaintext.append(std::string_view("\",\"ed25519\":\""));
    plaintext.append(ED25519_KEY_HEX);
    plaintext.append(std::string_view("\"}"));
    auto stored = oxa_lib::seal_and_store("escaped", {}, plaintext, PASSPHRASE,
                                          oxa_core::KeyType::PrivateKey, vault());
    ASSERT_TRUE(stored) << stored.error().display();

    FreedBlocks freed;
    auto signed_tx =
        oxa_lib::sign_transaction("escaped", "ethereum", TX_HEX, PASSPHRASE, std::nullopt, vault());
    freed.stop();
    ASSERT_TRUE(signed_tx) << signed_tx.error().display();
    expect_clean(freed, key_pair_secrets());
}

class SigningHygiene : public SecretHygiene, public ::testing::WithParamInterface<ChainType> {};

TEST_P(SigningHygiene, MessageByPhraseWallet) {
    const std::string_view chain = oxa_core::default_chain_for_type(GetParam()).name;
    FreedBlocks freed;
    auto signed_message = oxa_lib::sign_message(MNEMONIC_WALLET, chain, "hello", PASSPHRASE,
                                                std::nullopt, std::nullopt, vault());
    freed.stop();
    ASSERT_TRUE(signed_message) << signed_message.error().display();
    expect_clean(freed, mnemonic_secrets(PHRASE));
}

TEST_P(SigningHygiene, TransactionByKeyWallet) {
    const std::string_view chain = oxa_core::default_chain_for_type(GetParam()).name;
    FreedBlocks freed;
    auto signed_tx =
        oxa_lib::sign_transaction(KEY_WALLET, chain, TX_HEX, PASSPHRASE, std::nullopt, vault());
    freed.stop();
    ASSERT_TRUE(signed_tx) << signed_tx.error().display();
    expect_clean(freed, key_pair_secrets());
}

INSTANTIATE_TEST_SUITE_P(Family, SigningHygiene, ::testing::ValuesIn(oxa_core::ACCOUNT_ORDER),
                         [](const auto& info) {
                             return std::string(oxa_core::chain_type_name(info.param));
                         });

}  // namespace
