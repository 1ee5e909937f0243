#pragma once
// Errors are values: every fallible function returns Result<T, E>.

#include <utility>
#include <variant>

namespace oxa_core {

template <class E>
struct Err {
    E error;
};
template <class E>
Err(E) -> Err<E>;

template <class T, class E>
class [[nodiscard]] Result {
public:
    Result(T value) : m_v(std::in_place_index<0>, std::move(value)) {}
    Result(Err<E> e) : m_v(std::in_place_index<1>, std::move(e.error)) {}
    template <class F>
    Result(Err<F> e) : m_v(std::in_place_index<1>, E(std::move(e.error))) {}

    explicit operator bool() const noexcept { return m_v.index() == 0; }
    bool ok() const noexcept { return m_v.index() == 0; }

    T& value() & { return std::get<0>(m_v); }
    const T& value() const& { return std::get<0>(m_v); }
    T&& value() && { return std::get<0>(std::move(m_v)); }
    const E& error() const& { return std::get<1>(m_v); }
    E&& error() && { return std::get<1>(std::move(m_v)); }

private:
    std::variant<T, E> m_v;
};

/// Result of an operation that has nothing to return on success.
template <class E>
using Status = Result<std::monostate, E>;

inline constexpr std::monostate OK{};

}  // namespace oxa_core
