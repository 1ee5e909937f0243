// The extension module oxa._native.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "call_frame.hpp"
#include "functions.hpp"

namespace {

PyModuleDef MODULE_DEF = {
    PyModuleDef_HEAD_INIT,
    "_native",
    "Python module definition.",
    // Not -1: with 0, a repeated import calls PyInit__native again instead of
    // copying a cached dict, so it can hand back the first module object and
    // refuse other interpreters.
    0,
    oxa_python::module_methods(),
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// The module keeps per-process state (the abort class, interned keys), so it
// lives in one interpreter only; a second import there returns the first module.
PyObject* g_module = nullptr;
std::int64_t g_interpreter_id = -1;

PyObject* create_module() {
    PyObject* module = PyModule_Create(&MODULE_DEF);
    if (module == nullptr) return nullptr;
    PyObject* abort_class = oxa_python::internal_abort_class();
    if (abort_class == nullptr || PyModule_AddObjectRef(module, "InternalAbort", abort_class) < 0) {
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}

}  // namespace

PyMODINIT_FUNC PyInit__native() {
    const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (interpreter < 0) return nullptr;
    if (g_interpreter_id >= 0 && g_interpreter_id != interpreter) {
        PyErr_SetString(PyExc_ImportError,
                        "oxa._native can be imported into one interpreter per process only");
        return nullptr;
    }
    if (g_module != nullptr) return Py_NewRef(g_module);
    PyObject* module = create_module();
    if (module == nullptr) return nullptr;
    g_interpreter_id = interpreter;
    g_module = Py_NewRef(module);
    return module;
}
