#include "module_init.hpp"

namespace oxa_python {

PyObject* init_single_interpreter_module(PyModuleDef& definition, ModuleState& state,
                                         AddMembers add_members) {
    const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (interpreter < 0) return nullptr;
    if (state.created && state.interpreter != interpreter) {
        PyErr_Format(PyExc_ImportError,
                     "oxa.%s can be imported into one interpreter per process only",
                     definition.m_name);
        return nullptr;
    }
    if (state.created) return Py_NewRef(state.module);
    PyObject* module = PyModule_Create(&definition);
    if (module == nullptr) return nullptr;
    if (!add_members(module)) {
        Py_DECREF(module);
        return nullptr;
    }
    state = {Py_NewRef(module), interpreter, true};
    return module;
}

}  // namespace oxa_python
