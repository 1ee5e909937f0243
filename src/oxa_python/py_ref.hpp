#pragma once
// An owned CPython reference: released on every path.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace oxa_python {

class PyRef {
public:
    static PyRef steal(PyObject* o) noexcept { return PyRef(o); }
    PyRef() noexcept = default;
    PyRef(PyRef&& o) noexcept : m_obj(std::exchange(o.m_obj, nullptr)) {}
    PyRef& operator=(PyRef&& o) noexcept {
        if (this != &o) {
            Py_XDECREF(m_obj);
            m_obj = std::exchange(o.m_obj, nullptr);
        }
        return *this;
    }
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    ~PyRef() { Py_XDECREF(m_obj); }

    PyObject* get() const noexcept { return m_obj; }
    PyObject* release() noexcept { return std::exchange(m_obj, nullptr); }
    explicit operator bool() const noexcept { return m_obj != nullptr; }

private:
    explicit PyRef(PyObject* o) noexcept : m_obj(o) {}
    PyObject* m_obj = nullptr;
};

}  // namespace oxa_python
