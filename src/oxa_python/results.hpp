#pragma once
// The result shapes: each builder returns a new reference, or nullptr with
// the Python error set (partly built objects are released).

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>
#include <vector>

#include "call_frame.hpp"
#include "oxa_lib/types.hpp"

namespace oxa_python {

PyObject* text_to_py(std::string_view text);
PyObject* bool_to_py(bool value);
PyObject* account_info_to_dict(const oxa_lib::AccountInfo& account);
PyObject* wallet_info_to_dict_inner(const oxa_lib::WalletInfo& info);
PyObject* wallet_list_to_py(const std::vector<oxa_lib::WalletInfo>& wallets);
PyObject* sign_result_to_dict(const oxa_lib::SignResult& result);
PyObject* broadcast_to_dict(std::string_view tx_hash);
PyObject* chain_list_to_py(const std::vector<oxa_lib::ChainInfo>& chains);
PyObject* family_list_to_py(const std::vector<oxa_lib::FamilyInfo>& families);
PyObject* derived_address_list_to_py(const std::vector<oxa_lib::DerivedAddress>& addresses);

/// Turns an operation's result into Python: its error through map_err, its
/// value through `build`.
template <class T, class Build>
PyObject* to_python(const oxa_lib::LibResult<T>& result, Build&& build) {
    if (!result) {
        map_err(result.error());
        return nullptr;
    }
    return build(result.value());
}

/// A secret the caller asked for (a phrase, an exported key): the str is
/// the one copy that leaves; the pinned buffer is wiped when the result dies.
PyObject* secret_text_to_python(const oxa_lib::LibResult<oxa_signer::SecretBytes>& result);

/// For operations without a result: None.
PyObject* none_or_error(const oxa_lib::LibStatus& status);

}  // namespace oxa_python
