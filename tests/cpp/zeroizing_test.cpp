#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "oxa_signer/zeroizing.hpp"
#include "test_support.hpp"

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
