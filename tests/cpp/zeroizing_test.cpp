#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
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

std::uintptr_t page_bytes() { return static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE)); }

// The flags of the mapping that holds `address`, as /proc/self/smaps shows
// them: "lo" pinned, "dd" left out of core dumps, "rd" and "wr" accessible.
// None when nothing is mapped there.
std::vector<std::string> vm_flags_at(std::uintptr_t address) {
    std::ifstream smaps("/proc/self/smaps");
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        unsigned long start = 0;
        unsigned long end = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx ", &start, &end) == 2) {
            inside = start <= address && address < end;
        } else if (inside && line.starts_with("VmFlags:")) {
            std::istringstream codes(line.substr(std::strlen("VmFlags:")));
            return {std::istream_iterator<std::string>(codes), {}};
        }
    }
    return {};
}

bool has_flag(std::uintptr_t address, std::string_view flag) {
    const std::vector<std::string> flags = vm_flags_at(address);
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

// Sizes the code uses and sizes around a page, made every way a buffer is
// made, all alive at once as in an operation.
std::vector<SecretBytes> live_buffers() {
    std::vector<SecretBytes> buffers;
    for (std::size_t len : {1, 16, 32, 33, 64, 100, 4095, 4096, 4097, 9000}) {
        buffers.push_back(SecretBytes::from_slice(oxa_test::random_bytes(len)));
        buffers.push_back(SecretBytes::zeroed(len));
        buffers.push_back(SecretBytes::with_capacity(len));
    }
    return buffers;
}

// First and last byte of a buffer's whole capacity.
std::uintptr_t first_byte(const SecretBytes& s) {
    return reinterpret_cast<std::uintptr_t>(s.data());
}
std::uintptr_t last_byte(const SecretBytes& s) { return first_byte(s) + s.capacity() - 1; }

}  // namespace

// Pinning is per page and not counted: a buffer on a page it shares is
// unpinned when its neighbour is released.
TEST(SecretBytesPages, NoTwoLiveBuffersShareAPage) {
    const std::vector<SecretBytes> buffers = live_buffers();
    std::vector<std::pair<std::uintptr_t, std::uintptr_t>> pages;
    for (const SecretBytes& s : buffers) {
        pages.emplace_back(first_byte(s) / page_bytes(), last_byte(s) / page_bytes());
    }
    std::sort(pages.begin(), pages.end());
    std::size_t sharing = 0;
    for (std::size_t i = 1; i < pages.size(); ++i) sharing += pages[i - 1].second >= pages[i].first;
    EXPECT_EQ(sharing, 0u) << "buffers on a page of another, of " << pages.size();
}

TEST(SecretBytesPages, ReleasingOneLeavesTheOthersPinned) {
    std::vector<SecretBytes> buffers;
    for (int i = 0; i < 16; ++i) {
        buffers.push_back(SecretBytes::from_slice(oxa_test::random_bytes(32)));
    }
    // The odd ones stay; those the system let us pin must stay pinned.
    std::vector<std::size_t> pinned;
    for (std::size_t i = 1; i < buffers.size(); i += 2) {
        if (has_flag(first_byte(buffers[i]), "lo")) pinned.push_back(i);
    }
    if (pinned.empty()) GTEST_SKIP() << "this process may not pin memory";
    for (std::size_t i = 0; i < buffers.size(); i += 2) buffers[i] = SecretBytes();
    std::vector<std::size_t> unpinned;
    for (std::size_t i : pinned) {
        if (!has_flag(first_byte(buffers[i]), "lo")) unpinned.push_back(i);
    }
    EXPECT_EQ(unpinned, std::vector<std::size_t>{});
}

TEST(SecretBytesPages, AreLeftOutOfCoreDumps) {
    std::vector<std::size_t> dumped_capacities;
    for (const SecretBytes& s : live_buffers()) {
        if (!has_flag(first_byte(s), "dd") || !has_flag(last_byte(s), "dd")) {
            dumped_capacities.push_back(s.capacity());
        }
    }
    EXPECT_EQ(dumped_capacities, std::vector<std::size_t>{});
}

TEST(SecretBytesPages, GuardPagesFlankEveryBuffer) {
    const auto accessible = [](std::uintptr_t at) {
        return has_flag(at, "rd") || has_flag(at, "wr");
    };
    std::vector<std::size_t> unguarded_capacities;
    for (const SecretBytes& s : live_buffers()) {
        const std::uintptr_t before = first_byte(s) - 1;
        const std::uintptr_t after = (last_byte(s) / page_bytes() + 1) * page_bytes();
        if (accessible(before) || accessible(after)) unguarded_capacities.push_back(s.capacity());
    }
    EXPECT_EQ(unguarded_capacities, std::vector<std::size_t>{});
}

namespace {

// Root pins whatever the limit, so a root child also gives up its privilege.
void refuse_pinning() {
    const rlimit none{0, 0};
    if (::setrlimit(RLIMIT_MEMLOCK, &none) != 0) std::_Exit(2);
    if (::geteuid() == 0 && ::setresuid(65534, 65534, 65534) != 0) std::_Exit(2);
}

}  // namespace

// One warning per non-empty buffer, none for an empty one, and the buffers
// still work.
TEST(SecretBytesPages, RefusedPinningWarnsOncePerBuffer) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's mlock succeeds without locking anything";
#endif
    EXPECT_EXIT(
        {
            refuse_pinning();
            SecretBytes empty = SecretBytes::with_capacity(0);
            SecretBytes seed = SecretBytes::from_slice(std::string_view("seed"));
            SecretBytes phrase = SecretBytes::with_capacity(5000);
            const bool usable = phrase.append(std::string_view("legal winner")) &&
                                seed.text() == "seed" && phrase.text() == "legal winner";
            std::exit(usable ? 0 : 1);
        },
        ::testing::ExitedWithCode(0),
        "^(warning: mlock failed \\([^\n]+ \\(os error [0-9]+\\)\\), key material may be "
        "swapped to disk\n){2}$");
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
