"""Solana keypair files: export read by solders, import of published and
solders-made keypairs, refusals that leave the vault untouched."""

import json

import pytest
from solders.keypair import Keypair

import oxa._ext as ext
import oxa._native as native
from conftest import ABANDON_PHRASE, DATA, snapshot

VECTORS = json.loads((DATA / "solana-keypair.json").read_text())


def solana_address(wallet) -> str:
    return wallet["accounts"][1]["address"]


@pytest.mark.parametrize("index", [None, 2])
def test_export_is_a_keypair_solders_reads(shared_vault, index):
    text = ext.export_solana_keypair("main", "pw", index, shared_vault)
    keypair = Keypair.from_json(text)
    assert str(keypair.pubkey()) == native.derive_address(ABANDON_PHRASE, "solana", index)
    # Written as solana-keygen writes it: compact, no blanks.
    assert text == keypair.to_json()
    assert text == json.dumps(list(bytes(keypair)), separators=(",", ":"))


def test_export_of_a_key_pair_wallet_is_its_ed25519_key(shared_vault):
    text = ext.export_solana_keypair("keys", vault_path_opt=shared_vault)
    assert bytes(json.loads(text)[:32]).hex() == "22" * 32


@pytest.mark.parametrize("entry", VECTORS["keypairs"], ids=lambda e: e["id"])
def test_import_of_the_published_keypairs(vault, entry):
    wallet = ext.import_solana_keypair("w", entry["keypair_file_text"], "pw", vault)
    assert solana_address(wallet) == str(Keypair.from_json(entry["keypair_file_text"]).pubkey())
    if "address" in entry:
        assert solana_address(wallet) == entry["address"]
    secret = json.loads(native.export_wallet("w", "pw", vault))
    assert secret["ed25519"] == entry["secret_seed_hex"]


def test_import_makes_the_wallet_a_solana_private_key_import_makes(vault):
    keypair = Keypair()
    imported = ext.import_solana_keypair("a", keypair.to_json(), vault_path_opt=vault)
    seed = bytes(keypair)[:32].hex()
    direct = native.import_wallet_private_key("b", seed, "solana", vault_path_opt=vault)
    ed_families = [1, 5]
    assert [imported["accounts"][i] for i in ed_families] == [
        direct["accounts"][i] for i in ed_families
    ]
    assert ext.export_solana_keypair("a", vault_path_opt=vault) == keypair.to_json()


def test_random_keypairs_go_in_and_come_out_unchanged(vault):
    for number in range(5):
        keypair = Keypair()
        ext.import_solana_keypair(f"w{number}", keypair.to_json(), vault_path_opt=vault)
        assert ext.export_solana_keypair(f"w{number}", vault_path_opt=vault) == keypair.to_json()


NUMBERS = VECTORS["keypairs"][0]["keypair_json"]
# What the reader says of a text that is no keypair, without quoting any of it.
SHAPE = "invalid input: invalid keypair: expected a JSON array of 64 numbers from 0 to 255"


@pytest.mark.parametrize(
    ("text", "error"),
    [
        (
            json.dumps(VECTORS["invalid_keypairs"][0]["keypair_json"]),
            "invalid input: invalid keypair: the public key is not the secret key's",
        ),
        (json.dumps(NUMBERS[:32]), "invalid input: invalid keypair: 32 numbers, expected 64"),
        (json.dumps([*NUMBERS, 0]), "invalid input: invalid keypair: more than 64 numbers"),
        (
            json.dumps([256, *NUMBERS[1:]]),
            "invalid input: invalid keypair: a number is not a byte (0 to 255)",
        ),
        (VECTORS["keypairs"][0]["keypair_base58"], f"{SHAPE} at line 1 column 1"),
        ('"' + VECTORS["keypairs"][0]["keypair_base58"] + '"', f"{SHAPE} at line 1 column"),
        ("", f"{SHAPE} at line 1 column 0"),
    ],
    ids=["mismatched", "seed-only", "long", "not-a-byte", "base58", "base58-string", "empty"],
)
def test_bad_keypairs_are_refused_and_nothing_is_written(vault, text, error):
    native.create_wallet("other", vault_path_opt=vault)
    before = snapshot(vault)
    with pytest.raises(RuntimeError) as info:
        ext.import_solana_keypair("w", text, vault_path_opt=vault)
    assert str(info.value).startswith(error)
    assert snapshot(vault) == before


def test_a_taken_name_is_refused(shared_vault):
    with pytest.raises(RuntimeError, match=r"^wallet name already exists: 'main'$"):
        ext.import_solana_keypair(
            "main", VECTORS["keypairs"][0]["keypair_file_text"], vault_path_opt=shared_vault
        )
