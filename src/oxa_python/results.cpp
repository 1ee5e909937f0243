#include "results.hpp"

#include <initializer_list>
#include <string>
#include <utility>

#include "py_ref.hpp"

namespace oxa_python {

namespace {

// Interned once: every dict of every call shares these keys.
PyObject* key(const char* text) { return PyUnicode_InternFromString(text); }

struct Keys {
    PyObject* id = key("id");
    PyObject* name = key("name");
    PyObject* accounts = key("accounts");
    PyObject* created_at = key("created_at");
    PyObject* chain_id = key("chain_id");
    PyObject* address = key("address");
    PyObject* derivation_path = key("derivation_path");
    PyObject* signature = key("signature");
    PyObject* recovery_id = key("recovery_id");
    PyObject* tx_hash = key("tx_hash");
};

const Keys* keys() {
    static const Keys* instance = [] {
        auto* k = new Keys();
        for (PyObject* o : {k->id, k->name, k->accounts, k->created_at, k->chain_id, k->address,
                            k->derivation_path, k->signature, k->recovery_id, k->tx_hash}) {
            if (o == nullptr) return static_cast<Keys*>(nullptr);
        }
        return k;
    }();
    if (instance == nullptr && !PyErr_Occurred()) PyErr_NoMemory();
    return instance;
}

/// Python strings for texts that repeat across the wallets of one result
/// (chain ids, derivation paths): each made once and shared by every dict,
/// which saves most of the string objects of a long listing.
class SharedTexts {
public:
    /// A new reference, or nullptr with the Python error set.
    PyObject* get(std::string_view text) {
        for (const auto& [known, object] : m_entries) {
            if (known == text) return Py_NewRef(object.get());
        }
        PyObject* made = text_to_py(text);
        if (made != nullptr && m_entries.size() < MAX_ENTRIES) {
            m_entries.emplace_back(std::string(text), PyRef::steal(Py_NewRef(made)));
        }
        return made;
    }

private:
    static constexpr std::size_t MAX_ENTRIES = 32;
    std::vector<std::pair<std::string, PyRef>> m_entries;
};

/// Sets dict[key] = value, stealing `value`.
bool set_item(PyObject* dict, PyObject* key, PyObject* value) {
    PyRef owned = PyRef::steal(value);
    return owned && PyDict_SetItem(dict, key, owned.get()) == 0;
}

}  // namespace

PyObject* text_to_py(std::string_view text) {
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

PyObject* bool_to_py(bool value) { return PyBool_FromLong(value ? 1 : 0); }

namespace {

PyObject* account_to_dict(const oxa_lib::AccountInfo& account, SharedTexts& shared) {
    const Keys* k = keys();
    if (k == nullptr) return nullptr;
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict || !set_item(dict.get(), k->chain_id, shared.get(account.chain_id)) ||
        !set_item(dict.get(), k->address, text_to_py(account.address)) ||
        !set_item(dict.get(), k->derivation_path, shared.get(account.derivation_path))) {
        return nullptr;
    }
    return dict.release();
}

PyObject* wallet_to_dict(const oxa_lib::WalletInfo& info, SharedTexts& shared) {
    const Keys* k = keys();
    if (k == nullptr) return nullptr;
    PyRef accounts = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(info.accounts.size())));
    if (!accounts) return nullptr;
    for (std::size_t i = 0; i < info.accounts.size(); ++i) {
        PyObject* account = account_to_dict(info.accounts[i], shared);
        if (account == nullptr) return nullptr;
        PyList_SET_ITEM(accounts.get(), static_cast<Py_ssize_t>(i), account);
    }
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict || !set_item(dict.get(), k->id, text_to_py(info.id)) ||
        !set_item(dict.get(), k->name, text_to_py(info.name)) ||
        !set_item(dict.get(), k->accounts, accounts.release()) ||
        !set_item(dict.get(), k->created_at, text_to_py(info.created_at))) {
        return nullptr;
    }
    return dict.release();
}

}  // namespace

PyObject* account_info_to_dict(const oxa_lib::AccountInfo& account) {
    SharedTexts shared;
    return account_to_dict(account, shared);
}

PyObject* wallet_info_to_dict_inner(const oxa_lib::WalletInfo& info) {
    SharedTexts shared;
    return wallet_to_dict(info, shared);
}

PyObject* wallet_list_to_py(const std::vector<oxa_lib::WalletInfo>& wallets) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(wallets.size())));
    if (!list) return nullptr;
    SharedTexts shared;
    for (std::size_t i = 0; i < wallets.size(); ++i) {
        PyObject* wallet = wallet_to_dict(wallets[i], shared);
        if (wallet == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), wallet);
    }
    return list.release();
}

PyObject* sign_result_to_dict(const oxa_lib::SignResult& result) {
    const Keys* k = keys();
    if (k == nullptr) return nullptr;
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict || !set_item(dict.get(), k->signature, text_to_py(result.signature))) return nullptr;
    PyObject* recovery_id =
        result.recovery_id ? PyLong_FromLong(*result.recovery_id) : Py_NewRef(Py_None);
    if (!set_item(dict.get(), k->recovery_id, recovery_id)) return nullptr;
    return dict.release();
}

PyObject* broadcast_to_dict(std::string_view tx_hash) {
    const Keys* k = keys();
    if (k == nullptr) return nullptr;
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict || !set_item(dict.get(), k->tx_hash, text_to_py(tx_hash))) return nullptr;
    return dict.release();
}

namespace {

struct TextItem {
    const char* key;
    std::string_view text;
};

/// Adds texts to `dict`, keys in the order given.
bool add_texts(PyObject* dict, std::initializer_list<TextItem> items) {
    for (const TextItem& item : items) {
        PyRef value = PyRef::steal(text_to_py(item.text));
        if (!value || PyDict_SetItemString(dict, item.key, value.get()) != 0) return false;
    }
    return true;
}

/// A dict of texts, keys in the order given.
PyObject* text_dict(std::initializer_list<TextItem> items) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict || !add_texts(dict.get(), items)) return nullptr;
    return dict.release();
}

template <class T, class Build>
PyObject* list_to_py(const std::vector<T>& items, Build&& build) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < items.size(); ++i) {
        PyObject* item = build(items[i]);
        if (item == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

}  // namespace

PyObject* chain_list_to_py(const std::vector<oxa_lib::ChainInfo>& chains) {
    return list_to_py(chains, [](const oxa_lib::ChainInfo& chain) {
        return text_dict({{"name", chain.name},
                          {"chain_id", chain.chain_id},
                          {"family", chain.family},
                          {"default_rpc", chain.default_rpc}});
    });
}

PyObject* family_list_to_py(const std::vector<oxa_lib::FamilyInfo>& families) {
    return list_to_py(families, [](const oxa_lib::FamilyInfo& family) {
        return text_dict({{"family", family.family},
                          {"chain", family.chain},
                          {"chain_id", family.chain_id},
                          {"curve", family.curve},
                          {"derivation_path", family.derivation_path}});
    });
}

PyObject* derived_address_list_to_py(const std::vector<oxa_lib::DerivedAddress>& addresses) {
    return list_to_py(addresses, [](const oxa_lib::DerivedAddress& derived) -> PyObject* {
        PyRef dict = PyRef::steal(PyDict_New());
        PyRef index = PyRef::steal(PyLong_FromUnsignedLong(derived.index));
        if (!dict || !index || PyDict_SetItemString(dict.get(), "index", index.get()) != 0 ||
            !add_texts(dict.get(), {{"address", derived.address},
                                    {"derivation_path", derived.derivation_path}})) {
            return nullptr;
        }
        return dict.release();
    });
}

PyObject* secret_text_to_python(const oxa_lib::LibResult<oxa_signer::SecretBytes>& result) {
    return to_python(
        result, [](const oxa_signer::SecretBytes& secret) { return text_to_py(secret.text()); });
}

PyObject* none_or_error(const oxa_lib::LibStatus& status) {
    if (!status) {
        map_err(status.error());
        return nullptr;
    }
    Py_RETURN_NONE;
}

}  // namespace oxa_python
