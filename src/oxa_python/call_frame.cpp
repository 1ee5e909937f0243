#include "call_frame.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "py_ref.hpp"

namespace oxa_python {

void map_err(const oxa_lib::OxaLibError& error) {
    const std::string text = error.display();
    PyRef message = PyRef::steal(
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
    if (!message) return;
    PyErr_SetObject(PyExc_RuntimeError, message.get());
}

namespace {

// The class every module of this library raises; kept for the process's life.
PyObject* g_internal_abort = nullptr;

}  // namespace

PyObject* create_internal_abort_class() noexcept {
    if (g_internal_abort == nullptr) {
        g_internal_abort = PyErr_NewExceptionWithDoc(
            "oxa._native.InternalAbort",
            "An internal invariant of oxa broke and the operation was abandoned.\n\n"
            "Derived from BaseException so that handlers for Exception do not swallow it.",
            PyExc_BaseException, nullptr);
    }
    return g_internal_abort;
}

bool adopt_internal_abort_class(PyObject* abort_class) noexcept {
    if (!PyExceptionClass_Check(abort_class)) {
        PyErr_SetString(PyExc_TypeError, "oxa._native.InternalAbort is not an exception class");
        return false;
    }
    g_internal_abort = Py_NewRef(abort_class);
    return true;
}

void raise_internal_abort(const char* message) noexcept {
    if (g_internal_abort == nullptr) {
        std::fputs("uncaught panic at ffi boundary\n", stderr);
        std::abort();
    }
    PyErr_SetString(g_internal_abort, message);
}

namespace {

bool set_keyword(const char* function, const char* const* names, std::size_t count, PyObject* key,
                 PyObject* value, PyObject** slots) {
    for (std::size_t i = 0; i < count; ++i) {
        if (PyUnicode_CompareWithASCIIString(key, names[i]) != 0) continue;
        if (slots[i] != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", function,
                         names[i]);
            return false;
        }
        slots[i] = value;
        return true;
    }
    PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", function, key);
    return false;
}

}  // namespace

bool match_arguments(const char* function, const char* const* names, const bool* required,
                     std::size_t count, std::size_t positional, PyObject* const* args,
                     Py_ssize_t nargs, PyObject* kwnames, PyObject** slots) {
    if (static_cast<std::size_t>(nargs) > positional) {
        if (count == 0) {
            PyErr_Format(PyExc_TypeError, "%s() takes no arguments (%zd given)", function, nargs);
        } else {
            PyErr_Format(PyExc_TypeError, "%s() takes at most %zu %sargument%s (%zd given)",
                         function, positional, positional < count ? "positional " : "",
                         positional == 1 ? "" : "s", nargs);
        }
        return false;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = args[i];
    const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        if (!set_keyword(function, names, count, PyTuple_GET_ITEM(kwnames, k), args[nargs + k],
                         slots)) {
            return false;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (!required[i] || slots[i] != nullptr) continue;
        if (i < positional) {
            PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s' (pos %zu)", function,
                         names[i], i + 1);
        } else {
            PyErr_Format(PyExc_TypeError, "%s() missing required keyword-only argument '%s'",
                         function, names[i]);
        }
        return false;
    }
    return true;
}

}  // namespace oxa_python
