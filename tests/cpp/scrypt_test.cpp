#include <gtest/gtest.h>
#include <sodium.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "oxa_signer/hashes.hpp"
#include "oxa_signer/scrypt/romix.hpp"
#include "oxa_signer/scrypt/scratch.hpp"
#include "oxa_signer/scrypt/scrypt.hpp"
#include "test_support.hpp"

using nlohmann::json;
using oxa_signer::ScryptCore;
using oxa_signer::ScryptParams;
using oxa_test::hex;
using oxa_test::unhex;

namespace scrypt_detail = oxa_signer::scrypt_detail;

namespace {

constexpr ScryptCore CORES[] = {ScryptCore::Portable, ScryptCore::Sse2};

const json& vectors() {
    static const json file = oxa_test::load_vectors("scrypt-rfc7914.json");
    return file;
}

std::vector<std::uint32_t> le_words(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint32_t> words(bytes.size() / 4);
    for (std::size_t i = 0; i < words.size(); ++i) {
        for (int b = 3; b >= 0; --b) words[i] = words[i] << 8 | bytes[4 * i + b];
    }
    return words;
}

std::vector<std::uint8_t> le_bytes(const std::vector<std::uint32_t>& words) {
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t w : words) {
        for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<std::uint8_t>(w >> (8 * b)));
    }
    return bytes;
}

// ROMix through a core, with work memory of its own (64-byte aligned).
std::vector<std::uint8_t> romix(ScryptCore core, std::vector<std::uint8_t> block, std::uint32_t n,
                                std::uint32_t r) {
    auto scratch = oxa_signer::ScryptScratch::map(scrypt_detail::romix_work_bytes(n, r));
    if (!scratch) throw std::runtime_error("no scratch memory");
    (core == ScryptCore::Sse2 ? scrypt_detail::romix_sse2 : scrypt_detail::romix_portable)(
        block.data(), n, r, scratch->data());
    return block;
}

std::vector<std::uint8_t> derive(ScryptCore core, std::span<const std::uint8_t> password,
                                 std::span<const std::uint8_t> salt, ScryptParams params,
                                 std::size_t length) {
    std::vector<std::uint8_t> key(length);
    if (!oxa_signer::scrypt(password, salt, params, key, core)) {
        throw std::runtime_error("scrypt refused valid parameters");
    }
    return key;
}

std::vector<std::uint8_t> libsodium_scrypt(std::span<const std::uint8_t> password,
                                           std::span<const std::uint8_t> salt, ScryptParams params,
                                           std::size_t length) {
    static const std::uint8_t EMPTY = 0;  // libsodium reads through its pointers
    std::vector<std::uint8_t> key(length);
    if (sodium_init() < 0 || crypto_pwhash_scryptsalsa208sha256_ll(
                                 password.empty() ? &EMPTY : password.data(), password.size(),
                                 salt.empty() ? &EMPTY : salt.data(), salt.size(), params.n,
                                 params.r, params.p, key.data(), key.size()) != 0) {
        throw std::runtime_error("libsodium refused the parameters");
    }
    return key;
}

TEST(ScryptRfc7914, Salsa20Core) {
    for (const json& v : vectors().at("salsa20_8_core")) {
        std::vector<std::uint32_t> words = le_words(unhex(v.at("input").get<std::string>()));
        scrypt_detail::salsa20_8(words.data());
        EXPECT_EQ(hex(le_bytes(words)), v.at("output"));
    }
}

TEST(ScryptRfc7914, BlockMix) {
    for (const json& v : vectors().at("scrypt_blockmix")) {
        const auto r = v.at("r").get<std::uint32_t>();
        const std::vector<std::uint32_t> in = le_words(unhex(v.at("input").get<std::string>()));
        std::vector<std::uint32_t> out(in.size());
        scrypt_detail::blockmix(in.data(), out.data(), r);
        EXPECT_EQ(hex(le_bytes(out)), v.at("output"));
    }
}

TEST(ScryptRfc7914, RomixOnEachCore) {
    for (const json& v : vectors().at("scrypt_romix")) {
        for (ScryptCore core : CORES) {
            EXPECT_EQ(hex(romix(core, unhex(v.at("input").get<std::string>()),
                                v.at("N").get<std::uint32_t>(), v.at("r").get<std::uint32_t>())),
                      v.at("output"));
        }
    }
}

TEST(ScryptRfc7914, Pbkdf2HmacSha256) {
    for (const json& v : vectors().at("pbkdf2_hmac_sha256")) {
        std::vector<std::uint8_t> key(v.at("dkLen").get<std::size_t>());
        oxa_signer::pbkdf2_hmac_sha256(oxa_test::bytes_of(v.at("P").get_ref<const std::string&>()),
                                       oxa_test::bytes_of(v.at("S").get_ref<const std::string&>()),
                                       v.at("c").get<std::uint32_t>(), key);
        EXPECT_EQ(hex(key), v.at("dk"));
    }
}

// The 1 GiB case included: it takes a second or two on the fast core.
TEST(ScryptRfc7914, DerivesEveryPublishedKeyOnEachCore) {
    for (const json& v : vectors().at("scrypt")) {
        const ScryptParams params{v.at("N").get<std::uint32_t>(), v.at("r").get<std::uint32_t>(),
                                  v.at("p").get<std::uint32_t>()};
        for (ScryptCore core : CORES) {
            if (core == ScryptCore::Portable && params.n > (1u << 14)) continue;  // slow, and
            // the portable and fast cores are compared on random inputs below
            EXPECT_EQ(hex(derive(core, oxa_test::bytes_of(v.at("P").get_ref<const std::string&>()),
                                 oxa_test::bytes_of(v.at("S").get_ref<const std::string&>()),
                                 params, v.at("dkLen").get<std::size_t>())),
                      v.at("dk"))
                << "N=" << params.n << " core " << static_cast<int>(core);
        }
    }
}

// libsodium stays the reference: any password, salt, parameters and length.
TEST(Scrypt, MatchesLibsodiumOnRandomInputs) {
    auto& rng = oxa_test::test_rng();
    for (int i = 0; i < 300; ++i) {
        const auto password = oxa_test::random_bytes(rng() % 80);
        const auto salt = oxa_test::random_bytes(rng() % 80);
        const ScryptParams params{2u << (rng() % 10), 1 + static_cast<std::uint32_t>(rng() % 9),
                                  1 + static_cast<std::uint32_t>(rng() % 3)};
        const std::size_t length = 1 + rng() % 100;
        const auto expected = libsodium_scrypt(password, salt, params, length);
        for (ScryptCore core : CORES) {
            ASSERT_EQ(hex(derive(core, password, salt, params, length)), hex(expected))
                << "N=" << params.n << " r=" << params.r << " p=" << params.p << " core "
                << static_cast<int>(core);
        }
    }
}

TEST(Scrypt, MatchesLibsodiumAtTheWalletCost) {
    const auto password = oxa_test::random_bytes(20);
    const auto salt = oxa_test::random_bytes(32);
    const ScryptParams params{1u << 16, 8, 1};
    EXPECT_EQ(hex(derive(oxa_signer::fastest_scrypt_core(), password, salt, params, 32)),
              hex(libsodium_scrypt(password, salt, params, 32)));
}

// RFC 7914 asks N < 2^(16 r); Ethereum keystores break it (r = 1, N = 2^18)
// and are computed all the same, as libsodium does.
TEST(Scrypt, DerivesPastTheBlockRuleOfRfc7914) {
    const auto password = oxa_test::random_bytes(12);
    const auto salt = oxa_test::random_bytes(32);
    const ScryptParams params{1u << 16, 1, 2};
    EXPECT_EQ(hex(derive(oxa_signer::fastest_scrypt_core(), password, salt, params, 32)),
              hex(libsodium_scrypt(password, salt, params, 32)));
}

TEST(Scrypt, CoresAgreeOnRandomBlocks) {
    auto& rng = oxa_test::test_rng();
    for (int i = 0; i < 50; ++i) {
        const std::uint32_t r = 1 + static_cast<std::uint32_t>(rng() % 16);
        const std::uint32_t n = 2u << (rng() % 8);
        const auto block = oxa_test::random_bytes(128 * r);
        EXPECT_EQ(romix(ScryptCore::Portable, block, n, r), romix(ScryptCore::Sse2, block, n, r));
    }
}

struct RefusedParams {
    const char* name;
    ScryptParams params;
    std::size_t length;
};

class ScryptRefuses : public ::testing::TestWithParam<RefusedParams> {};

TEST_P(ScryptRefuses, ZeroesOutput) {
    std::vector<std::uint8_t> key(GetParam().length, 0xAA);
    EXPECT_FALSE(oxa_signer::scrypt(oxa_test::bytes_of("pw"), oxa_test::bytes_of("salt"),
                                    GetParam().params, key));
    EXPECT_EQ(key, std::vector<std::uint8_t>(key.size(), 0));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ScryptRefuses,
    ::testing::Values(RefusedParams{"N0", {0, 8, 1}, 32}, RefusedParams{"N1", {1, 8, 1}, 32},
                      RefusedParams{"N3", {3, 8, 1}, 32}, RefusedParams{"R0", {16, 0, 1}, 32},
                      RefusedParams{"P0", {16, 8, 0}, 32},
                      RefusedParams{"RTimesP2To30", {16, 1u << 15, 1u << 15}, 32},
                      RefusedParams{"BeyondAddressSpace", {1u << 31, 1u << 29, 1}, 32}),
    [](const auto& info) { return std::string(info.param.name); });

// The flags of the mapping that holds `address`, from /proc/self/smaps.
std::string mapping_flags(const void* address) {
    std::ifstream smaps("/proc/self/smaps");
    const auto wanted = reinterpret_cast<std::uintptr_t>(address);
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        std::uintptr_t start = 0;
        std::uintptr_t end = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx ", &start, &end) == 2) {
            inside = start <= wanted && wanted < end;
        } else if (inside && line.starts_with("VmFlags:")) {
            return line;
        }
    }
    return {};
}

TEST(ScryptScratch, IsAlignedAdvisedAndGoneAfterUse) {
    const std::size_t bytes = scrypt_detail::romix_work_bytes(1u << 16, 8);
    const void* data = nullptr;
    {
        auto scratch = oxa_signer::ScryptScratch::map(bytes);
        ASSERT_TRUE(scratch);
        data = scratch->data();
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % (2u << 20), 0u);
        const std::string flags = mapping_flags(data);
        EXPECT_NE(flags.find(" dd"), std::string::npos) << flags;  // not in core dumps
        if (std::filesystem::exists("/sys/kernel/mm/transparent_hugepage")) {
            EXPECT_NE(flags.find(" hg"), std::string::npos) << flags;  // huge pages asked for
        }
    }
    EXPECT_EQ(mapping_flags(data), "");
}

}  // namespace
