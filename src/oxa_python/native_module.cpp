// The extension module oxa._native: the thirteen functions.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "call_frame.hpp"
#include "module_init.hpp"
#include "native_functions.hpp"

namespace {

PyModuleDef MODULE_DEF = {
    PyModuleDef_HEAD_INIT,
    "_native",
    "Python module definition.",
    // Not -1: with 0, a repeated import calls PyInit__native again instead of
    // copying a cached dict, so it can hand back the first module object and
    // refuse other interpreters.
    0,
    oxa_python::native_methods(),
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

oxa_python::ModuleState g_state{};

// The abort class is made here, once per process; oxa._ext raises the same one.
bool add_internal_abort(PyObject* module) {
    PyObject* abort_class = oxa_python::create_internal_abort_class();
    return abort_class != nullptr &&
           PyModule_AddObjectRef(module, "InternalAbort", abort_class) == 0;
}

}  // namespace

PyMODINIT_FUNC PyInit__native() {
    return oxa_python::init_single_interpreter_module(MODULE_DEF, g_state, add_internal_abort);
}
