#include "native_functions.hpp"

#include "call_frame.hpp"
#include "oxa_lib/ops.hpp"
#include "results.hpp"

namespace oxa_python {

namespace {

using Args = PyObject* const*;

PyObject* generate_mnemonic(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<CountWithDefault<12>> SIG{"generate_mnemonic", {"words"}};
    return SIG.call(args, nargs, kwnames, [](std::uint32_t words) {
        return secret_text_to_python(oxa_lib::generate_mnemonic(words));
    });
}

PyObject* derive_address(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, RequiredText, OptionalCount> SIG{
        "derive_address", {"mnemonic", "chain", "index"}};
    return SIG.call(args, nargs, kwnames, [](auto mnemonic, auto chain, auto index) {
        return to_python(oxa_lib::derive_address(mnemonic, chain, index), text_to_py);
    });
}

PyObject* create_wallet(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, OptionalText, OptionalCount, OptionalText> SIG{
        "create_wallet", {"name", "passphrase", "words", "vault_path_opt"}};
    return SIG.call(args, nargs, kwnames, [](auto name, auto passphrase, auto words, auto vault) {
        return to_python(oxa_lib::create_wallet(name, words, passphrase, vault_path(vault)),
                         wallet_info_to_dict_inner);
    });
}

PyObject* import_wallet_mnemonic(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, RequiredText, OptionalText, OptionalCount,
                               OptionalText>
        SIG{"import_wallet_mnemonic",
            {"name", "mnemonic", "passphrase", "index", "vault_path_opt"}};
    return SIG.call(args, nargs, kwnames,
                    [](auto name, auto mnemonic, auto passphrase, auto index, auto vault) {
                        return to_python(oxa_lib::import_wallet_mnemonic(name, mnemonic, passphrase,
                                                                         index, vault_path(vault)),
                                         wallet_info_to_dict_inner);
                    });
}

PyObject* import_wallet_private_key(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, RequiredText, OptionalText, OptionalText, OptionalText,
                               OptionalText, OptionalText>
        SIG{"import_wallet_private_key",
            {"name", "private_key_hex", "chain", "passphrase", "vault_path_opt", "secp256k1_key",
             "ed25519_key"}};
    return SIG.call(args, nargs, kwnames,
                    [](auto name, auto key_hex, auto chain, auto passphrase, auto vault,
                       auto secp256k1_key, auto ed25519_key) {
                        return to_python(oxa_lib::import_wallet_private_key(
                                             name, key_hex, chain, passphrase, vault_path(vault),
                                             secp256k1_key, ed25519_key),
                                         wallet_info_to_dict_inner);
                    });
}

PyObject* list_wallets(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<OptionalText> SIG{"list_wallets", {"vault_path_opt"}};
    return SIG.call(args, nargs, kwnames, [](auto vault) {
        return to_python(oxa_lib::list_wallets(vault_path(vault)), wallet_list_to_py);
    });
}

PyObject* get_wallet(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, OptionalText> SIG{"get_wallet",
                                                               {"name_or_id", "vault_path_opt"}};
    return SIG.call(args, nargs, kwnames, [](auto name_or_id, auto vault) {
        return to_python(oxa_lib::get_wallet(name_or_id, vault_path(vault)),
                         wallet_info_to_dict_inner);
    });
}

PyObject* delete_wallet(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, OptionalText> SIG{"delete_wallet",
                                                               {"name_or_id", "vault_path_opt"}};
    return SIG.call(args, nargs, kwnames, [](auto name_or_id, auto vault) {
        return none_or_error(oxa_lib::delete_wallet(name_or_id, vault_path(vault)));
    });
}

PyObject* export_wallet(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, OptionalText, OptionalText> SIG{
        "export_wallet", {"name_or_id", "passphrase", "vault_path_opt"}};
    return SIG.call(args, nargs, kwnames, [](auto name_or_id, auto passphrase, auto vault) {
        return secret_text_to_python(
            oxa_lib::export_wallet(name_or_id, passphrase, vault_path(vault)));
    });
}

PyObject* rename_wallet(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, RequiredText, OptionalText> SIG{
        "rename_wallet", {"name_or_id", "new_name", "vault_path_opt"}};
    return SIG.call(args, nargs, kwnames, [](auto name_or_id, auto new_name, auto vault) {
        return none_or_error(oxa_lib::rename_wallet(name_or_id, new_name, vault_path(vault)));
    });
}

PyObject* sign_transaction(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, RequiredText, RequiredText, OptionalText,
                               OptionalCount, OptionalText>
        SIG{"sign_transaction",
            {"wallet", "chain", "tx_hex", "passphrase", "index", "vault_path_opt"}};
    return SIG.call(
        args, nargs, kwnames,
        [](auto wallet, auto chain, auto tx_hex, auto passphrase, auto index, auto vault) {
            return to_python(oxa_lib::sign_transaction(wallet, chain, tx_hex, passphrase, index,
                                                       vault_path(vault)),
                             sign_result_to_dict);
        });
}

PyObject* sign_message(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, RequiredText, RequiredText, OptionalText, OptionalText,
                               OptionalCount, OptionalText>
        SIG{"sign_message",
            {"wallet", "chain", "message", "passphrase", "encoding", "index", "vault_path_opt"}};
    return SIG.call(args, nargs, kwnames,
                    [](auto wallet, auto chain, auto message, auto passphrase, auto encoding,
                       auto index, auto vault) {
                        return to_python(oxa_lib::sign_message(wallet, chain, message, passphrase,
                                                               encoding, index, vault_path(vault)),
                                         sign_result_to_dict);
                    });
}

PyObject* sign_and_send(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, RequiredText, RequiredText, OptionalText,
                               OptionalCount, OptionalText, OptionalText>
        SIG{"sign_and_send",
            {"wallet", "chain", "tx_hex", "passphrase", "index", "rpc_url", "vault_path_opt"}};
    return SIG.call(args, nargs, kwnames,
                    [](auto wallet, auto chain, auto tx_hex, auto passphrase, auto index,
                       auto rpc_url, auto vault) {
                        return to_python(oxa_lib::sign_and_send(wallet, chain, tx_hex, passphrase,
                                                                index, rpc_url, vault_path(vault)),
                                         broadcast_to_dict);
                    });
}

PyMethodDef METHODS[] = {
    OXA_FUNCTION(generate_mnemonic,
                 "generate_mnemonic(words=12)\n--\n\nGenerate a new BIP-39 mnemonic phrase."),
    OXA_FUNCTION(derive_address,
                 "derive_address(mnemonic, chain, index=None)\n--\n\n"
                 "Derive an address from a mnemonic for the given chain."),
    OXA_FUNCTION(create_wallet,
                 "create_wallet(name, passphrase=None, words=None, vault_path_opt=None)\n--\n\n"
                 "Create a new universal wallet (derives addresses for all chains)."),
    OXA_FUNCTION(import_wallet_mnemonic,
                 "import_wallet_mnemonic(name, mnemonic, passphrase=None, index=None, "
                 "vault_path_opt=None)\n--\n\n"
                 "Import a wallet from a mnemonic phrase (derives addresses for all chains)."),
    OXA_FUNCTION(import_wallet_private_key,
                 "import_wallet_private_key(name, private_key_hex, chain=None, passphrase=None, "
                 "vault_path_opt=None, secp256k1_key=None, ed25519_key=None)\n--\n\n"
                 "Import a wallet from a hex-encoded private key (derives addresses for all "
                 "chains).\nOptionally specify explicit keys per curve via `secp256k1_key` and "
                 "`ed25519_key`."),
    OXA_FUNCTION(list_wallets,
                 "list_wallets(vault_path_opt=None)\n--\n\nList all wallets in the vault."),
    OXA_FUNCTION(get_wallet,
                 "get_wallet(name_or_id, vault_path_opt=None)\n--\n\n"
                 "Get a single wallet by name or ID."),
    OXA_FUNCTION(delete_wallet,
                 "delete_wallet(name_or_id, vault_path_opt=None)\n--\n\n"
                 "Delete a wallet from the vault."),
    OXA_FUNCTION(export_wallet,
                 "export_wallet(name_or_id, passphrase=None, vault_path_opt=None)\n--\n\n"
                 "Export a wallet's secret (mnemonic or private key)."),
    OXA_FUNCTION(
        rename_wallet,
        "rename_wallet(name_or_id, new_name, vault_path_opt=None)\n--\n\nRename a wallet."),
    OXA_FUNCTION(sign_transaction,
                 "sign_transaction(wallet, chain, tx_hex, passphrase=None, index=None, "
                 "vault_path_opt=None)\n--\n\nSign a transaction."),
    OXA_FUNCTION(sign_message,
                 "sign_message(wallet, chain, message, passphrase=None, encoding=None, "
                 "index=None, vault_path_opt=None)\n--\n\nSign a message."),
    OXA_FUNCTION(sign_and_send,
                 "sign_and_send(wallet, chain, tx_hex, passphrase=None, index=None, rpc_url=None, "
                 "vault_path_opt=None)\n--\n\nSign and broadcast a transaction."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyMethodDef* native_methods() { return METHODS; }

}  // namespace oxa_python
