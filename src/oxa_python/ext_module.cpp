// The extension module oxa._ext: everything beyond the thirteen functions of
// oxa._native, in the same call frame.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "call_frame.hpp"
#include "ext_functions.hpp"
#include "module_init.hpp"
#include "py_ref.hpp"

namespace {

PyModuleDef MODULE_DEF = {
    PyModuleDef_HEAD_INIT,
    "_ext",
    "Functions of oxa beyond the thirteen of oxa._native.",
    0,  // as oxa._native: a repeated import returns the first module
    oxa_python::ext_methods(),
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

oxa_python::ModuleState g_state{};

// One abort class for the process: the one oxa._native made.
bool adopt_internal_abort(PyObject* module) {
    using oxa_python::PyRef;
    PyRef native = PyRef::steal(PyImport_ImportModule("oxa._native"));
    if (!native) return false;
    PyRef abort_class = PyRef::steal(PyObject_GetAttrString(native.get(), "InternalAbort"));
    return abort_class && oxa_python::adopt_internal_abort_class(abort_class.get()) &&
           PyModule_AddObjectRef(module, "InternalAbort", abort_class.get()) == 0;
}

}  // namespace

PyMODINIT_FUNC PyInit__ext() {
    return oxa_python::init_single_interpreter_module(MODULE_DEF, g_state, adopt_internal_abort);
}
