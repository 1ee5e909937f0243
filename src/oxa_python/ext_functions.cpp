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
