#include "mnemonic.hpp"

#include <sodium.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "hashes.hpp"
#include "random.hpp"

namespace oxa_signer {

extern const std::array<std::string_view, 2048> BIP39_ENGLISH;

namespace {

constexpr std::size_t BITS_PER_WORD = 11;
constexpr std::size_t MAX_ENTROPY_BYTES = 32;
constexpr std::string_view SEED_SALT_PREFIX = "mnemonic";
constexpr std::uint32_t SEED_ROUNDS = 2048;
constexpr std::size_t SEED_BYTES = 64;
constexpr std::string_view LAYOUT_TEXT =
    "phrase must be lowercase words separated by single spaces";

// Entropy followed by one checksum byte: the words read 11 bits at a time
// from this buffer. The checksum is ENT/32 bits, never more than 8.
constexpr std::size_t WORD_BITS_BYTES = MAX_ENTROPY_BYTES + 1;

std::uint16_t word_at(const SecretArray<WORD_BITS_BYTES>& bits, std::size_t position) noexcept {
    const std::uint8_t* bytes = bits.data();
    std::uint16_t index = 0;
    for (std::size_t bit = position * BITS_PER_WORD; bit < (position + 1) * BITS_PER_WORD; ++bit) {
        index = static_cast<std::uint16_t>((index << 1) | ((bytes[bit / 8] >> (7 - bit % 8)) & 1));
    }
    return index;
}

// Only sets bits: each position is written once, into a zeroed buffer.
void set_word(SecretArray<WORD_BITS_BYTES>& bits, std::size_t position,
              std::uint16_t index) noexcept {
    std::uint8_t* bytes = bits.data();
    for (std::size_t i = 0; i < BITS_PER_WORD; ++i) {
        const std::size_t bit = position * BITS_PER_WORD + i;
        if ((index >> (BITS_PER_WORD - 1 - i)) & 1) {
            bytes[bit / 8] = static_cast<std::uint8_t>(bytes[bit / 8] | (0x80 >> (bit % 8)));
        }
    }
}

bool valid_entropy_length(std::size_t len) noexcept {
    return len >= 16 && len <= MAX_ENTROPY_BYTES && len % 4 == 0;
}

std::uint8_t checksum_byte(std::span<const std::uint8_t> entropy) {
    Bytes32 digest = sha256(entropy);
    const std::uint8_t first = digest[0];
    wipe(digest.data(), digest.size());
    return first;
}

// The checksum keeps only its top ENT/32 bits; the rest of the byte is zero.
std::uint8_t checksum_mask(std::size_t entropy_len) noexcept {
    return static_cast<std::uint8_t>(0xff00u >> (entropy_len / 4));
}

MnemonicError invalid(std::string text) {
    return MnemonicError{MnemonicError::Kind::InvalidPhrase, std::move(text)};
}

bool has_single_space_layout(std::string_view phrase) noexcept {
    if (phrase.empty() || phrase.front() == ' ' || phrase.back() == ' ') return false;
    if (phrase.find("  ") != std::string_view::npos) return false;
    return std::all_of(phrase.begin(), phrase.end(),
                       [](char c) { return c == ' ' || (c >= 'a' && c <= 'z'); });
}

// Binary search: the English list is sorted, which the tests check.
int word_index(std::string_view word) noexcept {
    const auto it = std::lower_bound(BIP39_ENGLISH.begin(), BIP39_ENGLISH.end(), word);
    if (it == BIP39_ENGLISH.end() || *it != word) return -1;
    return static_cast<int>(it - BIP39_ENGLISH.begin());
}

}  // namespace

std::string MnemonicError::display() const {
    switch (kind) {
        case Kind::GenerationFailed: return "mnemonic generation failed: " + text;
        case Kind::InvalidPhrase: return "invalid mnemonic phrase: " + text;
    }
    return text;
}

const std::array<std::string_view, 2048>& bip39_english_words() noexcept { return BIP39_ENGLISH; }

Mnemonic::Mnemonic(Mnemonic&& other) noexcept
    : m_entropy(other.m_entropy), m_entropy_len(std::exchange(other.m_entropy_len, 0)) {
    wipe(other.m_entropy.data(), other.m_entropy.size());
}

Mnemonic::~Mnemonic() { wipe(m_entropy.data(), m_entropy.size()); }

oxa_core::Result<Mnemonic, MnemonicError> Mnemonic::generate(WordCount words) {
    const std::size_t entropy_len = static_cast<std::size_t>(words) * 4 / 3;
    // A count cast in from outside the enumeration must not size the draw.
    if (words != WordCount::Twelve && words != WordCount::TwentyFour) {
        return oxa_core::Err{
            MnemonicError{MnemonicError::Kind::GenerationFailed,
                          "unsupported word count " + std::to_string(static_cast<int>(words))}};
    }
    SecretArray<MAX_ENTROPY_BYTES> entropy;
    random_fill(entropy.mutable_bytes().first(entropy_len));
    return from_entropy(entropy.bytes().first(entropy_len));
}

oxa_core::Result<Mnemonic, MnemonicError> Mnemonic::from_entropy(
    std::span<const std::uint8_t> entropy) {
    if (!valid_entropy_length(entropy.size())) {
        return oxa_core::Err{invalid("invalid entropy length " + std::to_string(entropy.size()) +
                                     " (expected 16, 20, 24, 28 or 32 bytes)")};
    }
    Mnemonic out;
    std::copy(entropy.begin(), entropy.end(), out.m_entropy.begin());
    out.m_entropy_len = entropy.size();
    return out;
}

oxa_core::Result<Mnemonic, MnemonicError> Mnemonic::from_phrase(std::string_view phrase) {
    if (!has_single_space_layout(phrase)) return oxa_core::Err{invalid(std::string(LAYOUT_TEXT))};

    const std::size_t words =
        static_cast<std::size_t>(std::count(phrase.begin(), phrase.end(), ' ')) + 1;
    if (words < 12 || words > 24 || words % 3 != 0) {
        return oxa_core::Err{invalid("invalid word count " + std::to_string(words) +
                                     " (expected 12, 15, 18, 21 or 24)")};
    }

    SecretArray<WORD_BITS_BYTES> bits;
    std::size_t start = 0;
    for (std::size_t position = 0; position < words; ++position) {
        const std::size_t end = std::min(phrase.find(' ', start), phrase.size());
        const int index = word_index(phrase.substr(start, end - start));
        // The word itself stays out of the text: it is part of a secret.
        if (index < 0) {
            return oxa_core::Err{
                invalid("unknown word at position " + std::to_string(position + 1))};
        }
        set_word(bits, position, static_cast<std::uint16_t>(index));
        start = end + 1;
    }

    const std::size_t entropy_len = words * 4 / 3;
    const std::span<const std::uint8_t> entropy = bits.bytes().first(entropy_len);
    const std::uint8_t mask = checksum_mask(entropy_len);
    if ((checksum_byte(entropy) & mask) != (bits.data()[entropy_len] & mask)) {
        return oxa_core::Err{invalid("invalid checksum")};
    }

    auto mnemonic = from_entropy(entropy);
    if (!mnemonic) return mnemonic;
    // Accept only the canonical rendering, byte for byte.
    const SecretBytes rendered = mnemonic.value().phrase();
    if (rendered.size() != phrase.size() ||
        sodium_memcmp(rendered.data(), phrase.data(), phrase.size()) != 0) {
        return oxa_core::Err{invalid(std::string(LAYOUT_TEXT))};
    }
    return mnemonic;
}

SecretBytes Mnemonic::phrase() const {
    const std::size_t words = word_count();
    if (words == 0) return SecretBytes();  // a moved-from value has no words
    SecretArray<WORD_BITS_BYTES> bits;
    const std::span<const std::uint8_t> entropy(m_entropy.data(), m_entropy_len);
    std::copy(entropy.begin(), entropy.end(), bits.data());
    bits.data()[m_entropy_len] = checksum_byte(entropy);

    std::size_t length = words - 1;
    for (std::size_t position = 0; position < words; ++position) {
        length += BIP39_ENGLISH[word_at(bits, position)].size();
    }

    SecretBytes out = SecretBytes::with_capacity(length);
    for (std::size_t position = 0; position < words; ++position) {
        if (position != 0) out.append(std::string_view(" "));
        out.append(BIP39_ENGLISH[word_at(bits, position)]);
    }
    return out;
}

SecretBytes Mnemonic::to_seed(std::string_view passphrase) const {
    const SecretBytes password = phrase();
    SecretBytes salt = SecretBytes::with_capacity(SEED_SALT_PREFIX.size() + passphrase.size());
    salt.append(SEED_SALT_PREFIX);
    salt.append(passphrase);
    SecretBytes seed = SecretBytes::zeroed(SEED_BYTES);
    pbkdf2_hmac_sha512(password.bytes(), salt.bytes(), SEED_ROUNDS, seed.mutable_bytes());
    return seed;
}

}  // namespace oxa_signer
