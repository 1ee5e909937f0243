"""change_passphrase: a new seal in place, the cost kept or chosen, and every
refusal leaving the file as it was."""

import json
import pathlib

import pytest

import oxa._ext as ext
import oxa._native as native
from conftest import ABANDON_PHRASE, snapshot


def wallet_file(vault: str, wallet_id: str) -> pathlib.Path:
    return pathlib.Path(vault) / "wallets" / f"{wallet_id}.json"


def document(path: pathlib.Path) -> dict:
    return json.loads(path.read_text())


def test_the_new_passphrase_opens_and_only_the_seal_changes(vault):
    info = native.import_wallet_mnemonic("w", ABANDON_PHRASE, "old", vault_path_opt=vault)
    path = wallet_file(vault, info["id"])
    # Metadata another version wrote must survive the rewrite.
    before = document(path) | {"metadata": {"note": "kept"}}
    path.write_text(json.dumps(before, indent=2))

    assert ext.change_passphrase("w", "old", "new", vault_path_opt=vault) is None
    after = document(path)
    assert {k: v for k, v in after.items() if k != "crypto"} == {
        k: v for k, v in before.items() if k != "crypto"
    }
    assert list(after) == list(before)
    for member in ("auth_tag", "ciphertext"):
        assert after["crypto"][member] != before["crypto"][member]
    assert after["crypto"]["kdfparams"]["salt"] != before["crypto"]["kdfparams"]["salt"]
    assert after["crypto"]["cipherparams"]["iv"] != before["crypto"]["cipherparams"]["iv"]
    assert native.export_wallet("w", "new", vault) == ABANDON_PHRASE
    with pytest.raises(RuntimeError, match=r"^decryption failed: aead::Error$"):
        native.export_wallet("w", "old", vault)


def test_the_cost_is_chosen_or_kept(vault):
    info = native.import_wallet_private_key("k", "11" * 32, vault_path_opt=vault)
    path = wallet_file(vault, info["id"])
    ext.change_passphrase(info["id"], "", "a", 17, vault)
    assert document(path)["crypto"]["kdfparams"]["n"] == 2**17
    ext.change_passphrase("k", "a", "b", vault_path_opt=vault)
    assert document(path)["crypto"]["kdfparams"]["n"] == 2**17
    ext.change_passphrase("k", "b", "", scrypt_log_n=16, vault_path_opt=vault)
    assert document(path)["crypto"]["kdfparams"] | {"salt": ""} == {
        "dklen": 32,
        "n": 2**16,
        "p": 1,
        "r": 8,
        "salt": "",
    }
    assert json.loads(native.export_wallet("k", vault_path_opt=vault))["secp256k1"] == "11" * 32


def test_a_copied_file_is_rewritten_itself(vault):
    info = native.import_wallet_mnemonic("A", ABANDON_PHRASE, vault_path_opt=vault)
    original = wallet_file(vault, info["id"])
    copy = original.with_name("backup.json")
    copy.write_text(json.dumps(document(original) | {"name": "B"}, indent=2))
    kept = original.read_bytes()
    ext.change_passphrase("B", "", "new", vault_path_opt=vault)
    assert original.read_bytes() == kept
    assert native.export_wallet("A", vault_path_opt=vault) == ABANDON_PHRASE
    assert sorted(p.name for p in original.parent.iterdir()) == sorted(
        [original.name, "backup.json"]
    )


@pytest.mark.parametrize(
    ("args", "error"),
    [
        (("w", "wrong", "new"), "decryption failed: aead::Error"),
        (("w", "old", "new", 15), "invalid input: scrypt_log_n must be from 16 to 20, got 15"),
        (("w", "old", "new", 21), "invalid input: scrypt_log_n must be from 16 to 20, got 21"),
        (
            ("w", "old", "new", 2**32 - 1),
            "invalid input: scrypt_log_n must be from 16 to 20, got 4294967295",
        ),
        (("nobody", "old", "new"), "wallet not found: 'nobody'"),
    ],
)
def test_refusals_leave_the_vault_untouched(vault, args, error):
    native.import_wallet_mnemonic("w", ABANDON_PHRASE, "old", vault_path_opt=vault)
    before = snapshot(vault)
    with pytest.raises(RuntimeError) as info:
        ext.change_passphrase(*args, vault_path_opt=vault)
    assert str(info.value) == error
    assert snapshot(vault) == before


def test_a_cost_out_of_range_is_refused_before_the_wallet_is_looked_for(vault):
    with pytest.raises(RuntimeError, match=r"^invalid input: scrypt_log_n must be from 16"):
        ext.change_passphrase("nobody", "", "", 40, vault)
    assert not pathlib.Path(vault).exists()
