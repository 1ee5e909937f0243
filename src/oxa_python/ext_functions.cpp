#include "ext_functions.hpp"

#include "call_frame.hpp"
#include "oxa_lib/ops.hpp"
#include "results.hpp"

namespace oxa_python {

namespace {

using Args = PyObject* const*;

PyObject* chains(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<> SIG{"chains", {}};
    return SIG.call(args, nargs, kwnames, [] { return chain_list_to_py(oxa_lib::known_chains()); });
}

PyObject* families(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<> SIG{"families", {}};
    return SIG.call(args, nargs, kwnames, [] { return family_list_to_py(oxa_lib::families()); });
}

PyMethodDef METHODS[] = {
    OXA_FUNCTION(chains,
                 "chains()\n--\n\n"
                 "The known chains, in table order: dicts of name, chain_id, family and "
                 "default_rpc."),
    OXA_FUNCTION(families,
                 "families()\n--\n\n"
                 "The chain families, in the order of a wallet's accounts: dicts of family, "
                 "chain, chain_id, curve and the derivation_path of account 0."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyMethodDef* ext_methods() { return METHODS; }

}  // namespace oxa_python
