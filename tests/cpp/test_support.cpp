#include "test_support.hpp"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace oxa_test {

nlohmann::json load_vectors(std::string_view name) {
    const std::string path = std::string(OXA_TEST_DATA_DIR) + "/" + std::string(name);
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    return nlohmann::json::parse(in);
}

std::vector<std::uint8_t> unhex(std::string_view hex) {
    if (hex.size() % 2 != 0) throw std::invalid_argument("odd hex");
    std::vector<std::uint8_t> out(hex.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] =
            static_cast<std::uint8_t>(std::stoul(std::string(hex.substr(2 * i, 2)), nullptr, 16));
    }
    return out;
}

std::string hex(std::span<const std::uint8_t> bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::span<const std::uint8_t> bytes_of(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::mt19937_64& test_rng() {
    static std::mt19937_64 rng = [] {
        std::uint64_t seed;
        if (const char* env = std::getenv("OXA_TEST_SEED")) {
            seed = std::strtoull(env, nullptr, 10);
        } else {
            seed = std::random_device{}();
        }
        std::fprintf(stderr, "OXA_TEST_SEED=%llu\n", static_cast<unsigned long long>(seed));
        return std::mt19937_64(seed);
    }();
    return rng;
}

std::vector<std::uint8_t> random_bytes(std::size_t n) {
    std::vector<std::uint8_t> out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(test_rng()());
    return out;
}

}  // namespace oxa_test
