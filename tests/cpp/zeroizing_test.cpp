#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "oxa_signer/zeroizing.hpp"
#include "test_support.hpp"

using oxa_signer::SecretArray;
using oxa_signer::SecretBytes;

namespace {

struct Released {
    std::size_t count = 0;
    std::size_t capacity = 0;
    bool all_zero = true;
};
Released g_released;

void record_release(const std::uint8_t* data, std::size_t capacity) {
    ++g_released.count;
    g_released.capacity = capacity;
    g_released.all_zero = std::all_of(data, data + capacity, [](std::uint8_t b) { return b == 0; });
}

class SecretBytesRelease : public ::testing::Test {
protected:
    void SetUp() override {
        g_released = {};
        oxa_signer::set_secret_release_hook(record_release);
    }
    void TearDown() override { oxa_signer::set_secret_release_hook(nullptr); }
};

}  // namespace

TEST_F(SecretBytesRelease, WholeCapacityIsZeroBeforeFree) {
    {
        SecretBytes s = SecretBytes::with_capacity(64);
        ASSERT_TRUE(s.append(std::string_view("correct horse battery staple")));
        s.truncate(7);  // the tail beyond the length held secret bytes too
        EXPECT_EQ(s.text(), "correct");
    }
    EXPECT_EQ(g_released.count, 1u);
    EXPECT_EQ(g_released.capacity, 64u);
    EXPECT_TRUE(g_released.all_zero);
}

TEST_F(SecretBytesRelease, MovedFromBufferReleasesNothing) {
    {
        SecretBytes a = SecretBytes::from_slice(std::string_view("seed"));
        SecretBytes b = std::move(a);
        EXPECT_TRUE(a.empty());
        EXPECT_EQ(b.text(), "seed");
    }
    EXPECT_EQ(g_released.count, 1u);
    EXPECT_TRUE(g_released.all_zero);
}

TEST_F(SecretBytesRelease, AssignmentReleasesTheOldBuffer) {
    SecretBytes a = SecretBytes::from_slice(std::string_view("first"));
    a = SecretBytes::from_slice(std::string_view("second"));
    EXPECT_EQ(g_released.count, 1u);
    EXPECT_TRUE(g_released.all_zero);
    EXPECT_EQ(a.text(), "second");
}

TEST_F(SecretBytesRelease, EmptyBufferAllocatesNothing) {
    {
        SecretBytes s = SecretBytes::from_slice(std::span<const std::uint8_t>());
    }
    {
        SecretBytes s = SecretBytes::with_capacity(0);
    }
    EXPECT_EQ(g_released.count, 0u);
}

TEST(SecretBytes, FromSliceCopiesAndLeavesTheSourceAlone) {
    const std::vector<std::uint8_t> source = oxa_test::random_bytes(33);
    SecretBytes s = SecretBytes::from_slice(source);
    EXPECT_EQ(s.size(), 33u);
    EXPECT_EQ(s.capacity(), 33u);
    EXPECT_TRUE(std::equal(source.begin(), source.end(), s.bytes().begin()));
}

TEST(SecretBytes, AppendNeverGrowsPastCapacity) {
    SecretBytes s = SecretBytes::with_capacity(4);
    EXPECT_TRUE(s.append(std::string_view("abc")));
    EXPECT_FALSE(s.append(std::string_view("de")));
    EXPECT_EQ(s.text(), "abc");
    EXPECT_TRUE(s.append(std::string_view("d")));
    EXPECT_EQ(s.text(), "abcd");
}

TEST(SecretBytes, ZeroedHasItsLengthInZeros) {
    SecretBytes s = SecretBytes::zeroed(32);
    EXPECT_EQ(s.size(), 32u);
    EXPECT_TRUE(std::all_of(s.bytes().begin(), s.bytes().end(), [](auto b) { return b == 0; }));
}

namespace {

// The bytes an array lives in, owned by the test so they can be read after
// the array's life ends.
template <std::size_t N>
struct ArrayStorage {
    alignas(SecretArray<N>) std::uint8_t bytes[sizeof(SecretArray<N>)];

    bool all_zero() const { return std::all_of(std::begin(bytes), std::end(bytes), is_zero); }
    static bool is_zero(std::uint8_t b) { return b == 0; }
};

// Never a zero byte, so a partial wipe cannot pass for a whole one.
template <std::size_t N>
void fill_with_pattern(SecretArray<N>& secret) {
    const std::span<std::uint8_t, N> bytes = secret.mutable_bytes();
    for (std::size_t i = 0; i < N; ++i) bytes[i] = static_cast<std::uint8_t>(i % 255 + 1);
}

template <class Size>
class SecretArrayLife : public ::testing::Test {};
// One byte, an odd size, and the largest the code uses.
using Sizes = ::testing::Types<std::integral_constant<std::size_t, 1>,
                               std::integral_constant<std::size_t, 37>,
                               std::integral_constant<std::size_t, 64>>;
TYPED_TEST_SUITE(SecretArrayLife, Sizes);

}  // namespace

static_assert(!std::is_copy_constructible_v<SecretArray<32>> &&
                  !std::is_copy_assignable_v<SecretArray<32>> &&
                  !std::is_move_constructible_v<SecretArray<32>> &&
                  !std::is_move_assignable_v<SecretArray<32>>,
              "a secret array's bytes must live in one place only");
static_assert(sizeof(SecretArray<32>) == 32, "held inline, nothing beside the bytes");

TYPED_TEST(SecretArrayLife, StartsZeroWhateverItsMemoryHeld) {
    constexpr std::size_t N = TypeParam::value;
    ArrayStorage<N> storage;
    std::memset(storage.bytes, 0xa5, sizeof storage.bytes);
    // Keeps the fill from being dropped as dead before the construction.
    asm volatile("" : : "r"(storage.bytes) : "memory");
    auto* secret = new (storage.bytes) SecretArray<N>;
    EXPECT_TRUE(storage.all_zero());
    std::destroy_at(secret);
}

TYPED_TEST(SecretArrayLife, IsAllZeroOnceDestroyed) {
    constexpr std::size_t N = TypeParam::value;
    ArrayStorage<N> storage;
    auto* secret = new (storage.bytes) SecretArray<N>;
    fill_with_pattern(*secret);
    ASSERT_TRUE(std::equal(secret->bytes().begin(), secret->bytes().end(), storage.bytes));
    ASSERT_FALSE(storage.all_zero());
    std::destroy_at(secret);
    // The compiler takes a dead object's bytes for undefined; this makes it
    // read back what the destructor really left.
    asm volatile("" : : "r"(storage.bytes) : "memory");
    EXPECT_TRUE(storage.all_zero());
}

TYPED_TEST(SecretArrayLife, WipeZeroesBeforeTheEndOfLife) {
    SecretArray<TypeParam::value> secret;
    fill_with_pattern(secret);
    secret.wipe();
    EXPECT_TRUE(std::all_of(secret.bytes().begin(), secret.bytes().end(),
                            [](std::uint8_t b) { return b == 0; }));
}
