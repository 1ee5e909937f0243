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

PyObject* verify_message(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, RequiredText, RequiredText, RequiredText, OptionalText>
        SIG{"verify_message", {"chain", "message", "signature", "address", "encoding"}};
    return SIG.call(args, nargs, kwnames,
                    [](auto chain, auto message, auto signature, auto address, auto encoding) {
                        return to_python(
                            oxa_lib::verify_message(chain, message, signature, address, encoding),
                            bool_to_py);
                    });
}

PyObject* recover_address(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, RequiredText, RequiredText, OptionalText> SIG{
        "recover_address", {"chain", "message", "signature", "encoding"}};
    return SIG.call(
        args, nargs, kwnames, [](auto chain, auto message, auto signature, auto encoding) {
            return to_python(oxa_lib::recover_address(chain, message, signature, encoding),
                             text_to_py);
        });
}

PyObject* sign_message_standard(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, RequiredText, RequiredText, RequiredText, OptionalText,
                               OptionalCount, OptionalText, OptionalText>
        SIG{"sign_message_standard",
            {"wallet", "chain", "message", "standard", "passphrase", "index", "encoding",
             "vault_path_opt"}};
    return SIG.call(args, nargs, kwnames,
                    [](auto wallet, auto chain, auto message, auto standard, auto passphrase,
                       auto index, auto encoding, auto vault) {
                        return to_python(oxa_lib::sign_message_standard(
                                             wallet, chain, message, standard, passphrase, index,
                                             encoding, vault_path(vault)),
                                         sign_result_to_dict);
                    });
}

PyObject* verify_message_standard(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, RequiredText, RequiredText, RequiredText, RequiredText,
                               OptionalText>
        SIG{"verify_message_standard",
            {"chain", "message", "signature", "address", "standard", "encoding"}};
    return SIG.call(
        args, nargs, kwnames,
        [](auto chain, auto message, auto signature, auto address, auto standard, auto encoding) {
            return to_python(oxa_lib::verify_message_standard(chain, message, signature, address,
                                                              standard, encoding),
                             bool_to_py);
        });
}

PyObject* sign_typed_data(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, RequiredText, OptionalText, OptionalCount,
                               OptionalText>
        SIG{"sign_typed_data", {"wallet", "typed_data", "passphrase", "index", "vault_path_opt"}};
    return SIG.call(args, nargs, kwnames,
                    [](auto wallet, auto typed_data, auto passphrase, auto index, auto vault) {
                        return to_python(oxa_lib::sign_typed_data(wallet, typed_data, passphrase,
                                                                  index, vault_path(vault)),
                                         sign_result_to_dict);
                    });
}

PyObject* hash_typed_data(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText> SIG{"hash_typed_data", {"typed_data"}};
    return SIG.call(args, nargs, kwnames, [](auto typed_data) {
        return to_python(oxa_lib::hash_typed_data(typed_data), text_to_py);
    });
}

PyObject* verify_typed_data(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, RequiredText, RequiredText> SIG{
        "verify_typed_data", {"typed_data", "signature", "address"}};
    return SIG.call(args, nargs, kwnames, [](auto typed_data, auto signature, auto address) {
        return to_python(oxa_lib::verify_typed_data(typed_data, signature, address), bool_to_py);
    });
}

PyObject* change_passphrase(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, RequiredText, RequiredText, OptionalCount,
                               OptionalText>
        SIG{"change_passphrase",
            {"wallet", "old_passphrase", "new_passphrase", "scrypt_log_n", "vault_path_opt"}};
    return SIG.call(
        args, nargs, kwnames,
        [](auto wallet, auto old_passphrase, auto new_passphrase, auto log_n, auto vault) {
            return none_or_error(oxa_lib::change_passphrase(wallet, old_passphrase, new_passphrase,
                                                            log_n, vault_path(vault)));
        });
}

PyObject* export_keystore(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, OptionalText, KeywordOnly<RequiredText>, OptionalCount,
                               OptionalText>
        SIG{"export_keystore",
            {"wallet", "passphrase", "keystore_passphrase", "index", "vault_path_opt"}};
    return SIG.call(
        args, nargs, kwnames,
        [](auto wallet, auto passphrase, auto keystore_passphrase, auto index, auto vault) {
            return to_python(oxa_lib::export_keystore(wallet, passphrase, keystore_passphrase,
                                                      index, vault_path(vault)),
                             text_to_py);
        });
}

PyObject* import_keystore(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, RequiredText, RequiredText, OptionalText, OptionalText>
        SIG{"import_keystore",
            {"name", "keystore_json", "keystore_passphrase", "passphrase", "vault_path_opt"}};
    return SIG.call(
        args, nargs, kwnames,
        [](auto name, auto keystore_json, auto keystore_passphrase, auto passphrase, auto vault) {
            return to_python(oxa_lib::import_keystore(name, keystore_json, keystore_passphrase,
                                                      passphrase, vault_path(vault)),
                             wallet_info_to_dict_inner);
        });
}

PyObject* export_solana_keypair(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, OptionalText, OptionalCount, OptionalText> SIG{
        "export_solana_keypair", {"wallet", "passphrase", "index", "vault_path_opt"}};
    return SIG.call(args, nargs, kwnames, [](auto wallet, auto passphrase, auto index, auto vault) {
        return secret_text_to_python(
            oxa_lib::export_solana_keypair(wallet, passphrase, index, vault_path(vault)));
    });
}

PyObject* import_solana_keypair(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, RequiredText, OptionalText, OptionalText> SIG{
        "import_solana_keypair", {"name", "keypair_json", "passphrase", "vault_path_opt"}};
    return SIG.call(
        args, nargs, kwnames, [](auto name, auto keypair_json, auto passphrase, auto vault) {
            return to_python(
                oxa_lib::import_solana_keypair(name, keypair_json, passphrase, vault_path(vault)),
                wallet_info_to_dict_inner);
        });
}

PyObject* derive_addresses(PyObject*, Args args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature<RequiredText, RequiredText, CountWithDefault<0>, CountWithDefault<1>,
                               OptionalText>
        SIG{"derive_addresses", {"mnemonic", "chain", "start", "count", "bip39_passphrase"}};
    return SIG.call(args, nargs, kwnames,
                    [](auto mnemonic, auto chain, auto start, auto count, auto bip39_passphrase) {
                        return to_python(oxa_lib::derive_addresses(mnemonic, chain, start, count,
                                                                   bip39_passphrase),
                                         derived_address_list_to_py);
                    });
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
    OXA_FUNCTION(verify_message,
                 "verify_message(chain, message, signature, address, encoding=None)\n--\n\n"
                 "Check a sign_message signature against an address (TON: the account's public "
                 "key as 64 hex digits).\nFalse if it does not match; RuntimeError if any "
                 "argument is malformed."),
    OXA_FUNCTION(recover_address,
                 "recover_address(chain, message, signature, encoding=None)\n--\n\n"
                 "The address whose key made a sign_message signature (secp256k1 families: "
                 "evm, bitcoin, cosmos, tron)."),
    OXA_FUNCTION(sign_message_standard,
                 "sign_message_standard(wallet, chain, message, standard, passphrase=None, "
                 "index=None, encoding=None, vault_path_opt=None)\n--\n\n"
                 "Sign a message under a standard: 'bip322-simple' (bitcoin), 'adr036' (cosmos) "
                 "or 'solana-offchain' (solana).\nThe signature is in the standard's own text "
                 "(Base64, or hex for solana-offchain); recovery_id is None."),
    OXA_FUNCTION(verify_message_standard,
                 "verify_message_standard(chain, message, signature, address, standard, "
                 "encoding=None)\n--\n\n"
                 "Check a signature made under a message standard against an address.\nFalse "
                 "if it does not match; RuntimeError if any argument is malformed."),
    OXA_FUNCTION(sign_typed_data,
                 "sign_typed_data(wallet, typed_data, passphrase=None, index=None, "
                 "vault_path_opt=None)\n--\n\n"
                 "Signs EIP-712 typed data (the JSON text of an eth_signTypedData_v4 request) "
                 "with the wallet's EVM key: a dict of signature (r || s || v, v 27 or 28) and "
                 "recovery_id (v)."),
    OXA_FUNCTION(hash_typed_data,
                 "hash_typed_data(typed_data)\n--\n\n"
                 "The EIP-712 digest of typed data, which sign_typed_data signs, as 64 hex "
                 "digits."),
    OXA_FUNCTION(verify_typed_data,
                 "verify_typed_data(typed_data, signature, address)\n--\n\n"
                 "Whether the signature (hex r || s || v, v 27, 28, 0 or 1) over the typed data "
                 "was made by the EVM address; malformed arguments raise RuntimeError."),
    OXA_FUNCTION(change_passphrase,
                 "change_passphrase(wallet, old_passphrase, new_passphrase, scrypt_log_n=None, "
                 "vault_path_opt=None)\n--\n\n"
                 "Seal a wallet's secret under a new passphrase, optionally at scrypt cost "
                 "N = 2**scrypt_log_n (16 to 20)."),
    OXA_FUNCTION(export_keystore,
                 "export_keystore(wallet, passphrase=None, *, keystore_passphrase, index=None, "
                 "vault_path_opt=None)\n--\n\n"
                 "Export a wallet's EVM key as an Ethereum keystore (version 3) JSON text."),
    OXA_FUNCTION(import_keystore,
                 "import_keystore(name, keystore_json, keystore_passphrase, passphrase=None, "
                 "vault_path_opt=None)\n--\n\n"
                 "Import the key of an Ethereum keystore (version 3) as a private-key wallet."),
    OXA_FUNCTION(export_solana_keypair,
                 "export_solana_keypair(wallet, passphrase=None, index=None, "
                 "vault_path_opt=None)\n--\n\n"
                 "Export a wallet's Solana key as the text of a Solana keypair file."),
    OXA_FUNCTION(import_solana_keypair,
                 "import_solana_keypair(name, keypair_json, passphrase=None, "
                 "vault_path_opt=None)\n--\n\n"
                 "Import the key of a Solana keypair file as a private-key wallet."),
    OXA_FUNCTION(derive_addresses,
                 "derive_addresses(mnemonic, chain, start=0, count=1, bip39_passphrase=None)"
                 "\n--\n\n"
                 "Derive the addresses of consecutive account indexes of a mnemonic, with an "
                 "optional BIP-39 passphrase."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyMethodDef* ext_methods() { return METHODS; }

}  // namespace oxa_python
