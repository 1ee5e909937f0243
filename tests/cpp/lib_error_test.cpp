#include <gtest/gtest.h>

#include "oxa_lib/error.hpp"

using oxa_lib::OxaLibError;

namespace {

struct Case {
    OxaLibError error;
    const char* display;
};

}  // namespace

TEST(OxaLibError, DisplaysEveryVariantExactly) {
    using oxa_signer::CryptoError;
    using oxa_signer::HdError;
    using oxa_signer::MnemonicError;
    using oxa_signer::SignerError;
    const Case cases[] = {
        {OxaLibError::wallet_not_found("main"), "wallet not found: 'main'"},
        {OxaLibError::wallet_not_found(""), "wallet not found: ''"},
        {OxaLibError::ambiguous_wallet("main", 2),
         "ambiguous wallet name 'main' matches 2 wallets; use the wallet ID instead"},
        {OxaLibError::wallet_name_exists("a'b"), "wallet name already exists: 'a'b'"},
        {OxaLibError::invalid_input("words must be 12 or 24"),
         "invalid input: words must be 12 or 24"},
        {OxaLibError::broadcast_failed("empty response from broadcast"),
         "broadcast failed: empty response from broadcast"},
        {CryptoError{CryptoError::Kind::DecryptionFailed, "aead::Error"},
         "decryption failed: aead::Error"},
        {SignerError{SignerError::Kind::InvalidPrivateKey, "signature error"},
         "invalid private key: signature error"},
        {MnemonicError{MnemonicError::Kind::InvalidPhrase, "invalid checksum"},
         "invalid mnemonic phrase: invalid checksum"},
        {HdError{HdError::Kind::HardenedOnly, ""}, "ed25519 requires hardened-only derivation"},
        {oxa_core::OxaError{oxa_core::OxaError::Kind::InvalidPassphrase, ""}, "invalid passphrase"},
        {OxaLibError::io("No such file or directory (os error 2)"),
         "I/O error: No such file or directory (os error 2)"},
        {OxaLibError::json("EOF while parsing a value at line 1 column 0"),
         "JSON error: EOF while parsing a value at line 1 column 0"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.error.display(), c.display);
}

TEST(OxaLibError, WrapsComponentErrorsWithoutPrefix) {
    const oxa_signer::HdError hd{oxa_signer::HdError::Kind::InvalidPath,
                                 "empty component in path 'm/'"};
    const OxaLibError wrapped(hd);
    EXPECT_EQ(wrapped.kind(), OxaLibError::Kind::Hd);
    EXPECT_EQ(wrapped.display(), hd.display());
    EXPECT_EQ(wrapped.display(), "invalid derivation path: empty component in path 'm/'");
}
