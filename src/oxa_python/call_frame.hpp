#pragma once
// The frame every module function runs in: match the arguments, convert them
// left to right, run one operation inside the abort guard, build the result.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <exception>
#include <new>
#include <tuple>
#include <utility>

#include "arguments.hpp"
#include "oxa_core/internal_abort.hpp"
#include "oxa_lib/error.hpp"

/// The method-table entry of a module function `name` run in the call frame.
#define OXA_FUNCTION(name, doc)                                                \
    {#name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(name)), \
     METH_FASTCALL | METH_KEYWORDS, doc}

namespace oxa_python {

/// Raises RuntimeError carrying the operation error's display text.
void map_err(const oxa_lib::OxaLibError& error);

/// Raises the abort exception (a BaseException subclass) with `message`.
void raise_internal_abort(const char* message) noexcept;

/// Makes the abort exception class (once per process: oxa._native does it)
/// and raises it from now on; nullptr with the Python error set on failure.
PyObject* create_internal_abort_class() noexcept;

/// Raises `abort_class`, made by the other module, from now on; it is kept
/// for the life of the process. False with the Python error set if it is not
/// an exception class.
bool adopt_internal_abort_class(PyObject* abort_class) noexcept;

/// Matches positional and keyword arguments to `names`, of which the first
/// `positional` may be given by position; on success `slots` holds a
/// borrowed object or nullptr (not given) per parameter.
bool match_arguments(const char* function, const char* const* names, const bool* required,
                     std::size_t count, std::size_t positional, PyObject* const* args,
                     Py_ssize_t nargs, PyObject* kwnames, PyObject** slots);

/// Runs `body` so that no C++ exception reaches the interpreter.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::exception& e) {
        raise_internal_abort(e.what());
    } catch (...) {
        raise_internal_abort("unknown internal error");
    }
    return nullptr;
}

/// A function's parameter list: one kind per parameter (see arguments.hpp).
template <class... Kinds>
class Signature {
public:
    static constexpr std::size_t COUNT = sizeof...(Kinds);
    // Parameters up to the first keyword-only one.
    static constexpr std::size_t POSITIONAL = [] {
        constexpr bool KEYWORD_ONLY[COUNT + 1] = {IS_KEYWORD_ONLY<Kinds>..., true};
        std::size_t i = 0;
        while (!KEYWORD_ONLY[i]) ++i;
        return i;
    }();

    constexpr Signature(const char* function, std::array<const char*, COUNT> names)
        : m_function(function), m_names(names) {}

    /// Converts the arguments and calls `op` with their values; `op` returns
    /// the new result object, or nullptr with an exception set.
    template <class Op>
    PyObject* call(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Op&& op) const {
        return guarded([&]() -> PyObject* {
            std::array<PyObject*, COUNT> slots{};
            static constexpr bool REQUIRED[COUNT + 1] = {Kinds::required..., false};
            if (!match_arguments(m_function, m_names.data(), REQUIRED, COUNT, POSITIONAL, args,
                                 nargs, kwnames, slots.data())) {
                return nullptr;
            }
            std::tuple<typename Kinds::Value...> values;
            if (!convert_all(slots, values, std::index_sequence_for<Kinds...>{})) return nullptr;
            return std::apply(op, values);
        });
    }

private:
    template <class Tuple, std::size_t... I>
    bool convert_all(const std::array<PyObject*, COUNT>& slots, Tuple& values,
                     std::index_sequence<I...>) const {
        // Left to right; the first failure stops the rest.
        return (Kinds::convert(slots[I], ParamRef{m_function, m_names[I]}, std::get<I>(values)) &&
                ...);
    }

    const char* m_function;
    std::array<const char*, COUNT> m_names;
};

}  // namespace oxa_python
