#pragma once
// The module's functions, in registration order.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace oxa_python {

/// The method table, terminated by a null entry.
PyMethodDef* module_methods();

}  // namespace oxa_python
