#include "witness_stack.hpp"

#include <optional>

#include "oxa_signer/chains/bitcoin.hpp"

namespace oxa_signer {

using oxa_core::Err;

namespace {

void append(std::vector<std::uint8_t>& out, ByteSpan bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

class WitnessReader {
public:
    explicit WitnessReader(ByteSpan bytes) : m_rest(bytes) {}

    oxa_core::Result<std::uint64_t, std::string> compact_size() {
        if (m_rest.empty()) return Err{"truncated"};
        const std::uint8_t first = m_rest[0];
        const std::size_t width = first < 0xFD ? 0 : first == 0xFD ? 2 : first == 0xFE ? 4 : 8;
        if (m_rest.size() < 1 + width) return Err{"truncated"};
        std::uint64_t n = width == 0 ? first : 0;
        for (std::size_t i = 0; i < width; ++i) n |= std::uint64_t{m_rest[1 + i]} << (8 * i);
        m_rest = m_rest.subspan(1 + width);
        // Only the shortest form is consensus: the one compact_size writes.
        if (oxa_signer::compact_size(n).size() != 1 + width)
            return Err{"non-canonical CompactSize"};
        return n;
    }

    std::optional<ByteSpan> take(std::uint64_t n) {
        if (n > m_rest.size()) return std::nullopt;
        const ByteSpan taken = m_rest.first(static_cast<std::size_t>(n));
        m_rest = m_rest.subspan(static_cast<std::size_t>(n));
        return taken;
    }

    std::size_t remaining() const noexcept { return m_rest.size(); }

private:
    ByteSpan m_rest;
};

}  // namespace

std::vector<std::uint8_t> encode_witness_stack(const WitnessStack& stack) {
    std::vector<std::uint8_t> out = compact_size(stack.size());
    for (const auto& item : stack) {
        append(out, compact_size(item.size()));
        append(out, item);
    }
    return out;
}

oxa_core::Result<WitnessStack, std::string> decode_witness_stack(ByteSpan bytes) {
    WitnessReader reader(bytes);
    auto count = reader.compact_size();
    if (!count) return Err{std::move(count).error()};
    // Every item takes at least its length byte: a larger count is truncated,
    // and checking first keeps a forged count from reserving memory.
    if (count.value() > reader.remaining()) return Err{"truncated"};
    WitnessStack stack;
    stack.reserve(static_cast<std::size_t>(count.value()));
    for (std::uint64_t i = 0; i < count.value(); ++i) {
        auto length = reader.compact_size();
        if (!length) return Err{std::move(length).error()};
        const auto item = reader.take(length.value());
        if (!item) return Err{"truncated"};
        stack.emplace_back(item->begin(), item->end());
    }
    if (reader.remaining() != 0) {
        return Err{std::to_string(reader.remaining()) + " bytes after the last item"};
    }
    return stack;
}

}  // namespace oxa_signer
