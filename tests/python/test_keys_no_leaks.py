"""The functions for keys over their lifetime, called many times on success
and on each kind of failure, leak nothing (as test_no_leaks checks the
thirteen)."""

import json

import pytest
from eth_account import Account
from solders.keypair import Keypair

import oxa._ext as ext
import oxa._native as native
from conftest import ABANDON_PHRASE
from test_no_leaks import SCRYPT_ROUNDS, Scenario, assert_no_leak, fresh, traced  # noqa: F401

KEY = "4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318"
# One PBKDF2 round: the import's cost is then its own scrypt, not the keystore's.
KEYSTORE = fresh(json.dumps(Account.encrypt(KEY, "pass", kdf="pbkdf2", iterations=1)))
KEYPAIR = fresh(Keypair().to_json())
MISMATCHED_KEYPAIR = fresh(json.dumps(list(bytes.fromhex("9d" * 32)) + [0] * 32))


@pytest.fixture(scope="module")
def writable(tmp_path_factory) -> str:
    vault = fresh(str(tmp_path_factory.mktemp("keys") / "vault"))
    native.import_wallet_private_key("spare", KEY, vault_path_opt=vault)
    return vault


def scenarios(shared: str, writable: str) -> list[Scenario]:
    s = Scenario
    main, keys, pw = fresh("main"), fresh("keys"), fresh("pw")

    def delete(info: dict) -> None:
        native.delete_wallet(info["id"], vault_path_opt=writable)

    return [
        s("derive_ok", ext.derive_addresses, (ABANDON_PHRASE, fresh("ton"), 3, 4, fresh("x"))),
        s(
            "derive_bad_count",
            ext.derive_addresses,
            (ABANDON_PHRASE, fresh("evm"), 0, 0),
            raises=RuntimeError,
        ),
        s(
            "derive_float",
            ext.derive_addresses,
            (ABANDON_PHRASE, fresh("evm"), 0.5),
            raises=TypeError,
        ),
        s(
            "keystore_export_ok",
            ext.export_keystore,
            (keys,),
            {"keystore_passphrase": fresh("k"), "vault_path_opt": shared},
            rounds=SCRYPT_ROUNDS,
        ),
        s(
            "keystore_export_positional",
            ext.export_keystore,
            (keys, pw, fresh("k")),
            raises=TypeError,
        ),
        s(
            "keystore_import_ok",
            ext.import_keystore,
            (fresh("new"), KEYSTORE, fresh("pass")),
            {"vault_path_opt": writable},
            rounds=SCRYPT_ROUNDS,
            undo=delete,
        ),
        s(
            "keystore_import_bad",
            ext.import_keystore,
            (fresh("new"), fresh("{"), pw),
            {"vault_path_opt": writable},
            raises=RuntimeError,
        ),
        s(
            "keypair_export_ok",
            ext.export_solana_keypair,
            (main, pw, 2, shared),
            rounds=SCRYPT_ROUNDS,
        ),
        s(
            "keypair_export_wrong",
            ext.export_solana_keypair,
            (main, fresh("no"), None, shared),
            rounds=SCRYPT_ROUNDS,
            raises=RuntimeError,
        ),
        s(
            "keypair_import_mismatch",
            ext.import_solana_keypair,
            (fresh("new"), MISMATCHED_KEYPAIR),
            {"vault_path_opt": writable},
            raises=RuntimeError,
        ),
        s(
            "keypair_import_ok",
            ext.import_solana_keypair,
            (fresh("new"), KEYPAIR),
            {"vault_path_opt": writable},
            rounds=SCRYPT_ROUNDS,
            undo=delete,
        ),
        s(
            "passwd_ok",
            ext.change_passphrase,
            (fresh("spare"), fresh(""), fresh("")),
            {"vault_path_opt": writable},
            rounds=SCRYPT_ROUNDS,
        ),
        s(
            "passwd_bad_cost",
            ext.change_passphrase,
            (fresh("spare"), pw, pw, 30, writable),
            raises=RuntimeError,
        ),
    ]


@pytest.mark.parametrize("name", [s.name for s in scenarios("", "")])
def test_repeated_calls_leak_nothing(shared_vault, writable, name):
    assert_no_leak(next(s for s in scenarios(shared_vault, writable) if s.name == name))
