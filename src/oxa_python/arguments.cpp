#include "arguments.hpp"

#include <filesystem>
#include <string>

namespace oxa_python {

namespace {

const char* type_name(PyObject* obj) { return Py_TYPE(obj)->tp_name; }

}  // namespace

bool convert_text(PyObject* obj, ParamRef param, std::string_view& out) {
    if (!PyUnicode_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be str, not %.200s", param.function,
                     param.name, type_name(obj));
        return false;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(obj, &size);
    if (utf8 == nullptr) {
        // Lone surrogates have no UTF-8 form; the text cannot reach the wallet.
        PyErr_Clear();
        PyErr_Format(
            PyExc_TypeError,
            "%s() argument '%s' must be str encodable as UTF-8 (it holds a lone surrogate)",
            param.function, param.name);
        return false;
    }
    out = std::string_view(utf8, static_cast<std::size_t>(size));
    return true;
}

bool convert_count(PyObject* obj, ParamRef param, std::uint32_t& out) {
    PyObject* index = PyNumber_Index(obj);
    if (index == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_TypeError)) return false;
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be int, not %.200s", param.function,
                     param.name, type_name(obj));
        return false;
    }
    // Beyond 64 bits Python's own overflow error stands.
    const long value = PyLong_AsLong(index);
    Py_DECREF(index);
    if (value == -1 && PyErr_Occurred()) return false;
    if (value < 0 || value > static_cast<long>(UINT32_MAX)) {
        PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
        return false;
    }
    out = static_cast<std::uint32_t>(value);
    return true;
}

bool OptionalText::convert(PyObject* obj, ParamRef param, Value& out) {
    if (obj == nullptr || obj == Py_None) {
        out.reset();
        return true;
    }
    std::string_view text;
    if (!convert_text(obj, param, text)) return false;
    out = text;
    return true;
}

oxa_lib::VaultPath vault_path(OptionalText::Value text) {
    if (!text) return std::nullopt;
    return std::filesystem::path(std::string(*text));
}

bool OptionalCount::convert(PyObject* obj, ParamRef param, Value& out) {
    if (obj == nullptr || obj == Py_None) {
        out.reset();
        return true;
    }
    std::uint32_t count = 0;
    if (!convert_count(obj, param, count)) return false;
    out = count;
    return true;
}

}  // namespace oxa_python
