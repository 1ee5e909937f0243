"""Ethereum keystore files: export read by eth-account, import of keystores
made by eth-account and other clients, and every refusal leaving the vault
untouched."""

import copy
import json
import uuid

import pytest
from eth_account import Account

import oxa._ext as ext
import oxa._native as native
from conftest import ABANDON_PHRASE, DATA, snapshot

VECTORS = json.loads((DATA / "web3-secret-storage.json").read_text())
PUBLISHED = {entry["name"]: entry for entry in VECTORS["keystores"]}
PASSWORD = VECTORS["details"]["password"]
KEY = "4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318"


def evm_address(wallet) -> str:
    return wallet["accounts"][0]["address"]


def key_pair(vault, name, passphrase=None) -> dict[str, str]:
    return json.loads(native.export_wallet(name, passphrase, vault))


@pytest.mark.parametrize("index", [None, 3])
def test_export_opens_in_eth_account_to_the_wallets_key(shared_vault, index):
    text = ext.export_keystore(
        "main", "pw", keystore_passphrase="k", index=index, vault_path_opt=shared_vault
    )
    keystore = json.loads(text)
    key = Account.decrypt(keystore, "k")
    expected = native.derive_address(ABANDON_PHRASE, "ethereum", index)
    assert Account.from_key(key).address == expected
    assert keystore["address"] == expected.lower().removeprefix("0x")
    assert keystore["version"] == 3
    assert uuid.UUID(keystore["id"]).version == 4
    crypto = keystore["crypto"]
    assert (crypto["cipher"], crypto["kdf"]) == ("aes-128-ctr", "scrypt")
    assert crypto["kdfparams"] | {"salt": ""} == {
        "dklen": 32,
        "n": 65536,
        "p": 1,
        "r": 8,
        "salt": "",
    }
    assert list(keystore) == ["address", "crypto", "id", "version"]


def test_export_of_a_key_pair_wallet_is_its_secp256k1_key(shared_vault):
    text = ext.export_keystore("keys", keystore_passphrase="", vault_path_opt=shared_vault)
    assert Account.decrypt(text, "").hex().removeprefix("0x") == "11" * 32


def test_two_exports_differ_in_every_random_part(shared_vault):
    first, second = (
        json.loads(
            ext.export_keystore("keys", keystore_passphrase="k", vault_path_opt=shared_vault)
        )
        for _ in range(2)
    )
    assert first["id"] != second["id"]
    for member in ("ciphertext", "mac"):
        assert first["crypto"][member] != second["crypto"][member]
    assert first["crypto"]["cipherparams"] != second["crypto"]["cipherparams"]


def eth_account_keystores():
    """Keystores as eth-account writes them, at costs below ours that other
    tools use: scrypt (r = 8, p = 1) and PBKDF2."""
    return {
        "scrypt-2^12": Account.encrypt(KEY, "pass", kdf="scrypt", iterations=2**12),
        "scrypt-2^14": Account.encrypt(KEY, "pass", kdf="scrypt", iterations=2**14),
        "pbkdf2-1000": Account.encrypt(KEY, "pass", kdf="pbkdf2", iterations=1000),
    }


@pytest.mark.parametrize("made", list(eth_account_keystores()))
def test_import_of_eth_account_keystores(vault, made):
    keystore = eth_account_keystores()[made]
    wallet = ext.import_keystore("w", json.dumps(keystore), "pass", "pw", vault)
    assert evm_address(wallet) == Account.from_key(KEY).address
    assert key_pair(vault, "w", "pw")["secp256k1"] == KEY


@pytest.mark.parametrize("name", ["pbkdf2", "scrypt"])
def test_import_of_the_published_keystores(vault, name):
    wallet = ext.import_keystore(
        "w", json.dumps(PUBLISHED[name]["keystore"]), PASSWORD, vault_path_opt=vault
    )
    assert evm_address(wallet) == VECTORS["details"]["address_checksummed"]
    assert key_pair(vault, "w")["secp256k1"] == PUBLISHED[name]["expected_private_key"]


def test_import_makes_the_wallet_a_private_key_import_makes(vault):
    keystore = json.dumps(Account.encrypt(KEY, "pass", iterations=2**10))
    imported = ext.import_keystore("a", keystore, "pass", vault_path_opt=vault)
    direct = native.import_wallet_private_key("b", KEY, "ethereum", vault_path_opt=vault)
    # The Ed25519 families get a random key in both, as with any secp256k1 key.
    secp_families = [0, 2, 3, 4]
    assert [imported["accounts"][i] for i in secp_families] == [
        direct["accounts"][i] for i in secp_families
    ]
    assert all(a["derivation_path"] == "" for a in imported["accounts"])
    assert list(key_pair(vault, "a")) == ["ed25519", "secp256k1"]


def test_export_then_import_keeps_the_key(shared_vault, vault):
    text = ext.export_keystore("main", "pw", keystore_passphrase="k", vault_path_opt=shared_vault)
    wallet = ext.import_keystore("copy", text, "k", vault_path_opt=vault)
    assert evm_address(wallet) == native.derive_address(ABANDON_PHRASE, "ethereum")


def changed(change) -> str:
    keystore = copy.deepcopy(PUBLISHED["scrypt"]["keystore"])
    change(keystore)
    return json.dumps(keystore)


@pytest.mark.parametrize(
    ("text", "passphrase", "error"),
    [
        ("{", PASSWORD, "invalid input: invalid keystore: EOF while parsing an object"),
        (
            changed(lambda k: k.update(version=1)),
            PASSWORD,
            "invalid input: invalid keystore: unsupported keystore version 1 (expected 3)",
        ),
        (
            changed(lambda k: k["crypto"].update(cipher="aes-256-gcm")),
            PASSWORD,
            "invalid input: invalid keystore: unsupported cipher 'aes-256-gcm'",
        ),
        (
            changed(lambda k: k["crypto"].update(kdf="bcrypt")),
            PASSWORD,
            "invalid input: invalid keystore: unsupported kdf 'bcrypt'",
        ),
        (
            changed(lambda k: None),
            PASSWORD + "!",
            "decryption failed: wrong keystore passphrase or corrupted file",
        ),
        (
            changed(lambda k: k["crypto"].update(mac="00" * 32)),
            PASSWORD,
            "decryption failed: wrong keystore passphrase or corrupted file",
        ),
        (
            changed(lambda k: k["crypto"].update(ciphertext="00" * 31)),
            PASSWORD,
            "invalid parameters: key must be 32 bytes, got 31",
        ),
        (
            changed(lambda k: k["crypto"]["kdfparams"].update(dklen=64)),
            PASSWORD,
            "invalid parameters: dklen=64 is unsupported, expected exactly 32",
        ),
        (
            changed(lambda k: k["crypto"]["kdfparams"].update(n=2**23, r=8, p=1)),
            PASSWORD,
            "invalid parameters: scrypt N=8388608, r=8 needs 8192 MiB of memory",
        ),
        (
            changed(lambda k: k["crypto"]["kdfparams"].update(n=2**20, r=8, p=4)),
            PASSWORD,
            "invalid parameters: scrypt N*r*p=33554432 is above the maximum 8388608",
        ),
        (
            json.dumps(
                {
                    **PUBLISHED["pbkdf2"]["keystore"],
                    "crypto": {
                        **PUBLISHED["pbkdf2"]["keystore"]["crypto"],
                        "kdfparams": {
                            **PUBLISHED["pbkdf2"]["keystore"]["crypto"]["kdfparams"],
                            "c": 10_000_001,
                        },
                    },
                }
            ),
            PASSWORD,
            "invalid parameters: pbkdf2 c=10000001 is outside 1 to 10000000",
        ),
        (
            changed(lambda k: k.update(address="00" * 20)),
            PASSWORD,
            (
                "invalid input: the keystore's address "
                "0000000000000000000000000000000000000000 is not the address of its key"
            ),
        ),
    ],
    ids=[
        "json",
        "version",
        "cipher",
        "kdf",
        "passphrase",
        "mac",
        "key-length",
        "dklen",
        "memory",
        "work",
        "pbkdf2-iterations",
        "address",
    ],
)
def test_bad_keystores_are_refused_and_nothing_is_written(vault, text, passphrase, error):
    native.create_wallet("other", vault_path_opt=vault)
    before = snapshot(vault)
    with pytest.raises(RuntimeError) as info:
        ext.import_keystore("w", text, passphrase, vault_path_opt=vault)
    assert str(info.value).startswith(error)
    assert snapshot(vault) == before


def test_the_address_may_be_checksummed_or_prefixed(vault):
    keystore = Account.encrypt(KEY, "pass", iterations=2**10)
    keystore["address"] = Account.from_key(KEY).address
    wallet = ext.import_keystore("w", json.dumps(keystore), "pass", vault_path_opt=vault)
    assert evm_address(wallet) == keystore["address"]


def test_a_taken_name_is_refused(shared_vault):
    with pytest.raises(RuntimeError, match=r"^wallet name already exists: 'main'$"):
        ext.import_keystore(
            "main",
            json.dumps(PUBLISHED["pbkdf2"]["keystore"]),
            PASSWORD,
            vault_path_opt=shared_vault,
        )


def test_the_keystore_passphrase_is_keyword_only_and_required(shared_vault):
    with pytest.raises(TypeError, match=r"takes at most 2 positional arguments \(3 given\)"):
        ext.export_keystore("main", "pw", "k")
    with pytest.raises(
        TypeError, match=r"missing required keyword-only argument 'keystore_passphrase'"
    ):
        ext.export_keystore("main", "pw", vault_path_opt=shared_vault)


def test_export_with_a_wrong_passphrase_fails_like_export_wallet(shared_vault):
    with pytest.raises(RuntimeError, match=r"^decryption failed: aead::Error$"):
        ext.export_keystore("main", "nope", keystore_passphrase="k", vault_path_opt=shared_vault)
