#pragma once
// The four parameter kinds of the module's functions, and the vault that an
// optional text names. Each kind converts one Python object (nullptr when the
// argument was not given) into a plain value, or sets a Python exception
// naming the parameter and returns false.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "oxa_lib/vault.hpp"

namespace oxa_python {

/// Where a conversion error is reported: "<function>() argument '<name>' ...".
struct ParamRef {
    const char* function;
    const char* name;
};

bool convert_text(PyObject* obj, ParamRef param, std::string_view& out);
bool convert_count(PyObject* obj, ParamRef param, std::uint32_t& out);

/// A `str`; anything else, None included, is a TypeError.
struct RequiredText {
    using Value = std::string_view;
    static constexpr bool required = true;
    static bool convert(PyObject* obj, ParamRef param, Value& out) {
        return convert_text(obj, param, out);
    }
};

/// Absent or None means not given; otherwise a `str`.
struct OptionalText {
    using Value = std::optional<std::string_view>;
    static constexpr bool required = false;
    static bool convert(PyObject* obj, ParamRef param, Value& out);
};

/// The vault directory an optional text names; absent means the default.
oxa_lib::VaultPath vault_path(OptionalText::Value text);

/// Absent or None means not given; otherwise an integer in 0..2^32-1.
struct OptionalCount {
    using Value = std::optional<std::uint32_t>;
    static constexpr bool required = false;
    static bool convert(PyObject* obj, ParamRef param, Value& out);
};

/// Absent means `Default`; None is refused; otherwise like OptionalCount.
template <std::uint32_t Default>
struct CountWithDefault {
    using Value = std::uint32_t;
    static constexpr bool required = false;
    static bool convert(PyObject* obj, ParamRef param, Value& out) {
        if (obj == nullptr) {
            out = Default;
            return true;
        }
        return convert_count(obj, param, out);
    }
};

/// `Kind`, taken only as a keyword argument: for a parameter that must
/// follow optional ones.
template <class Kind>
struct KeywordOnly : Kind {};

template <class Kind>
inline constexpr bool IS_KEYWORD_ONLY = false;
template <class Kind>
inline constexpr bool IS_KEYWORD_ONLY<KeywordOnly<Kind>> = true;

}  // namespace oxa_python
