"""The call frame shared by every function, exercised through generate_mnemonic."""

import ctypes
import os
import resource
import subprocess
import sys
import textwrap

import pytest

import oxa._native as native
from conftest import NATIVE_FUNCTIONS


def test_module_identity():
    assert native.__name__ == "oxa._native"
    assert native.__doc__ == "Python module definition."


def test_functions_are_registered_in_order():
    functions = [
        name
        for name, value in vars(native).items()
        if callable(value) and not isinstance(value, type)
    ]
    assert functions == NATIVE_FUNCTIONS


@pytest.mark.parametrize(
    ("name", "signature", "doc"),
    [
        ("generate_mnemonic", "(words=12)", "Generate a new BIP-39 mnemonic phrase."),
        (
            "derive_address",
            "(mnemonic, chain, index=None)",
            "Derive an address from a mnemonic for the given chain.",
        ),
        (
            "create_wallet",
            "(name, passphrase=None, words=None, vault_path_opt=None)",
            "Create a new universal wallet (derives addresses for all chains).",
        ),
        (
            "import_wallet_mnemonic",
            "(name, mnemonic, passphrase=None, index=None, vault_path_opt=None)",
            "Import a wallet from a mnemonic phrase (derives addresses for all chains).",
        ),
        (
            "import_wallet_private_key",
            (
                "(name, private_key_hex, chain=None, passphrase=None, vault_path_opt=None, "
                "secp256k1_key=None, ed25519_key=None)"
            ),
            (
                "Import a wallet from a hex-encoded private key "
                "(derives addresses for all chains).\n"
                "Optionally specify explicit keys per curve via `secp256k1_key` and `ed25519_key`."
            ),
        ),
        ("list_wallets", "(vault_path_opt=None)", "List all wallets in the vault."),
        ("get_wallet", "(name_or_id, vault_path_opt=None)", "Get a single wallet by name or ID."),
        ("delete_wallet", "(name_or_id, vault_path_opt=None)", "Delete a wallet from the vault."),
        (
            "export_wallet",
            "(name_or_id, passphrase=None, vault_path_opt=None)",
            "Export a wallet's secret (mnemonic or private key).",
        ),
        ("rename_wallet", "(name_or_id, new_name, vault_path_opt=None)", "Rename a wallet."),
        (
            "sign_transaction",
            "(wallet, chain, tx_hex, passphrase=None, index=None, vault_path_opt=None)",
            "Sign a transaction.",
        ),
        (
            "sign_message",
            (
                "(wallet, chain, message, passphrase=None, encoding=None, index=None, "
                "vault_path_opt=None)"
            ),
            "Sign a message.",
        ),
        (
            "sign_and_send",
            (
                "(wallet, chain, tx_hex, passphrase=None, index=None, rpc_url=None, "
                "vault_path_opt=None)"
            ),
            "Sign and broadcast a transaction.",
        ),
    ],
)
def test_documentation_text_gives_signature_and_docstring(name, signature, doc):
    function = getattr(native, name)
    assert function.__text_signature__ == signature
    assert function.__doc__ == doc


@pytest.mark.parametrize("words", [12, 24])
def test_generate_mnemonic_gives_list_words(words, wordlist):
    phrase = native.generate_mnemonic(words)
    parts = phrase.split(" ")
    assert len(parts) == words
    assert all(word in wordlist for word in parts)


def test_generate_mnemonic_defaults_to_twelve_and_differs_each_call():
    phrases = {native.generate_mnemonic() for _ in range(5)}
    assert len(phrases) == 5
    assert all(len(p.split(" ")) == 12 for p in phrases)


def test_keyword_argument():
    assert len(native.generate_mnemonic(words=24).split()) == 24


class IndexLike:
    def __index__(self):
        return 24


@pytest.mark.parametrize(
    ("value", "error", "text"),
    [
        (None, TypeError, "generate_mnemonic() argument 'words' must be int, not NoneType"),
        (12.0, TypeError, "generate_mnemonic() argument 'words' must be int, not float"),
        ("12", TypeError, "generate_mnemonic() argument 'words' must be int, not str"),
        (-1, OverflowError, "out of range integral type conversion attempted"),
        (2**32, OverflowError, "out of range integral type conversion attempted"),
        (2**63 - 1, OverflowError, "out of range integral type conversion attempted"),
        (13, RuntimeError, "invalid input: words must be 12 or 24"),
        (0, RuntimeError, "invalid input: words must be 12 or 24"),
        (15, RuntimeError, "invalid input: words must be 12 or 24"),
        (18, RuntimeError, "invalid input: words must be 12 or 24"),
        (2**32 - 1, RuntimeError, "invalid input: words must be 12 or 24"),
        (True, RuntimeError, "invalid input: words must be 12 or 24"),
    ],
)
def test_count_conversion(value, error, text):
    with pytest.raises(error) as info:
        native.generate_mnemonic(value)
    assert str(info.value) == text
    assert type(info.value) is error


def test_count_beyond_64_bits_keeps_pythons_overflow_error():
    with pytest.raises(OverflowError):
        native.generate_mnemonic(2**64)


def test_count_accepts_the_index_protocol():
    assert len(native.generate_mnemonic(IndexLike()).split()) == 24


@pytest.mark.parametrize(
    ("call", "text"),
    [
        (
            lambda: native.generate_mnemonic(12, 24),
            "generate_mnemonic() takes at most 1 argument (2 given)",
        ),
        (
            lambda: native.generate_mnemonic(word=12),
            "generate_mnemonic() got an unexpected keyword argument 'word'",
        ),
        (
            lambda: native.generate_mnemonic(12, words=12),
            "generate_mnemonic() got multiple values for argument 'words'",
        ),
    ],
)
def test_binding_errors_name_function_and_parameter(call, text):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == text


def test_internal_abort_class_is_not_an_exception():
    assert issubclass(native.InternalAbort, BaseException)
    assert not issubclass(native.InternalAbort, Exception)


def test_reimport_returns_the_first_module():
    import importlib

    saved = sys.modules.pop("oxa._native")
    try:
        again = importlib.import_module("oxa._native")
        assert again is saved
    finally:
        sys.modules["oxa._native"] = saved


def test_second_interpreter_is_refused():
    script = textwrap.dedent(
        """
        import _interpreters
        interp = _interpreters.create("legacy")
        err = _interpreters.run_string(interp, "import oxa._native")
        print(err.type.__name__ if err else "imported")
        """
    )
    done = subprocess.run(
        [sys.executable, "-P", "-c", "import oxa._native\n" + script],
        capture_output=True,
        text=True,
    )
    assert done.stdout.strip() == "ImportError", done.stderr


def _without_memory_locking():
    resource.setrlimit(resource.RLIMIT_MEMLOCK, (0, 0))
    if os.geteuid() == 0:
        # Root locks memory whatever the limit; drop the capability before exec.
        PR_CAPBSET_DROP, CAP_IPC_LOCK = 24, 14
        ctypes.CDLL(None, use_errno=True).prctl(PR_CAPBSET_DROP, CAP_IPC_LOCK, 0, 0, 0)


def test_refused_memory_locking_only_warns():
    done = subprocess.run(
        [sys.executable, "-P", "-c", "import oxa; print(oxa.generate_mnemonic())"],
        capture_output=True,
        text=True,
        preexec_fn=_without_memory_locking,
    )
    assert done.returncode == 0, done.stderr
    assert len(done.stdout.split()) == 12
    warnings = done.stderr.splitlines()
    assert warnings, "expected the mlock warning"
    for line in warnings:
        assert line.startswith("warning: mlock failed (")
        assert line.endswith("), key material may be swapped to disk")
        assert "(os error " in line
