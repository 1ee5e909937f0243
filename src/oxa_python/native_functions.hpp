#pragma once
// The functions of oxa._native, in registration order.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace oxa_python {

/// The method table, terminated by a null entry.
PyMethodDef* native_methods();

}  // namespace oxa_python
