#pragma once
// The keypair file of Solana's command-line tools: a JSON array of the 64
// bytes of an Ed25519 key pair as numbers, the 32-byte secret seed, then its
// public key. The whole text is a secret.

#include <cstdint>
#include <span>
#include <string_view>

#include "error.hpp"
#include "oxa_signer/zeroizing.hpp"

namespace oxa_lib {

/// The 32-byte seed of a keypair file's text, in pinned memory. The text
/// must be a JSON array of exactly 64 integers from 0 to 255 whose second
/// half is the public key of the first; refusals are InvalidInput texts that
/// carry no part of the text, only the place where reading failed.
LibResult<oxa_signer::SecretBytes> read_solana_keypair(std::string_view text);

/// The keypair file's text of a 32-byte seed, "[n,n,...]" without blanks as
/// solana-keygen writes it, in pinned memory; a seed of another length is
/// the signer's error.
LibResult<oxa_signer::SecretBytes> write_solana_keypair(std::span<const std::uint8_t> seed);

}  // namespace oxa_lib
