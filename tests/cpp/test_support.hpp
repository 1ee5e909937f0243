#pragma once
// Shared helpers of the C++ tests: vector files, hex, and a seeded RNG.

#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace oxa_test {

/// Parses tests/data/<name>.
nlohmann::json load_vectors(std::string_view name);

/// Names a parameterized case by its index, for cases whose own name is a
/// sentence: every line of ctest's report is padded to the longest test name.
/// A failure still names the case in full, after "GetParam() =".
inline constexpr auto by_index = [](const auto& info) { return std::to_string(info.index); };

std::vector<std::uint8_t> unhex(std::string_view hex);
std::string hex(std::span<const std::uint8_t> bytes);
std::span<const std::uint8_t> bytes_of(std::string_view text);

/// A generator seeded from OXA_TEST_SEED if set, else randomly; the seed is
/// printed once so a failure can be replayed.
std::mt19937_64& test_rng();
std::vector<std::uint8_t> random_bytes(std::size_t n);

}  // namespace oxa_test
