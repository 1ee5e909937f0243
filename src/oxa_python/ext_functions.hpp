#pragma once
// The functions of oxa._ext, in registration order.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace oxa_python {

/// The method table, terminated by a null entry.
PyMethodDef* ext_methods();

}  // namespace oxa_python
