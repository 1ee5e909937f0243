#pragma once
// What both extension modules do when imported.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

namespace oxa_python {

/// Adds a module's objects beyond its functions; false with the Python error set.
using AddMembers = bool (*)(PyObject* module);

/// The module of `definition`, made on the first import. A module shares
/// process-wide state (the abort class, interned keys), so it lives in one
/// interpreter per process: importing it again there returns the first
/// object, and importing it into another interpreter raises ImportError.
/// Each module passes its own `state`, a static that starts zeroed.
struct ModuleState {
    PyObject* module;
    std::int64_t interpreter;
    bool created;
};
PyObject* init_single_interpreter_module(PyModuleDef& definition, ModuleState& state,
                                         AddMembers add_members);

}  // namespace oxa_python
