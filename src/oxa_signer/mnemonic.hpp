#pragma once
// BIP-39 mnemonics over the English word list.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "oxa_core/result.hpp"
#include "zeroizing.hpp"

namespace oxa_signer {

struct MnemonicError {
    enum class Kind { GenerationFailed, InvalidPhrase };
    Kind kind;
    std::string text;

    /// "mnemonic generation failed: " or "invalid mnemonic phrase: " + text.
    std::string display() const;
};

enum class WordCount { Twelve = 12, TwentyFour = 24 };

/// One BIP-39 mnemonic: 16, 20, 24, 28 or 32 bytes of entropy (12 to 24
/// words), held inline and wiped when the value dies.
class Mnemonic {
public:
    Mnemonic(const Mnemonic&) = delete;
    Mnemonic& operator=(const Mnemonic&) = delete;
    Mnemonic(Mnemonic&& other) noexcept;
    Mnemonic& operator=(Mnemonic&&) = delete;
    ~Mnemonic();

    /// Fresh entropy from the operating system's random source.
    static oxa_core::Result<Mnemonic, MnemonicError> generate(WordCount words);

    /// Strict: the phrase must be exactly what phrase() would render (single
    /// spaces, lowercase list words, 12/15/18/21/24 words, valid checksum).
    static oxa_core::Result<Mnemonic, MnemonicError> from_phrase(std::string_view phrase);

    /// Builds from raw entropy (16, 20, 24, 28 or 32 bytes).
    static oxa_core::Result<Mnemonic, MnemonicError> from_entropy(
        std::span<const std::uint8_t> entropy);

    std::size_t word_count() const noexcept { return m_entropy_len * 3 / 4; }

    /// The words joined by single spaces, in pinned memory.
    SecretBytes phrase() const;

    /// The 64-byte BIP-39 seed (PBKDF2-HMAC-SHA512, 2048 rounds, salt
    /// "mnemonic" + passphrase), in pinned memory.
    SecretBytes to_seed(std::string_view passphrase) const;

private:
    Mnemonic() noexcept = default;
    std::array<std::uint8_t, 32> m_entropy{};
    std::size_t m_entropy_len = 0;
};

/// The 2048 English words, in list order.
const std::array<std::string_view, 2048>& bip39_english_words() noexcept;

}  // namespace oxa_signer
