"""Creation, import, queries and management, checked through results and files."""

import json
import os
import pathlib
import re
import stat

import pytest

import oxa._native as native
from conftest import ABANDON, ABANDON_PHRASE, snapshot

FAMILY_CHAINS = [
    "eip155:1",
    "solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp",
    "bip122:000000000019d6689c085ae165831e93",
    "cosmos:cosmoshub-4",
    "tron:mainnet",
    "ton:mainnet",
]
UUID_V4 = re.compile(r"^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$")
CREATED_AT = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d{3}|\.\d{6}|\.\d{9})?\+00:00$")
ETH_KEY = next(a for a in ABANDON["accounts"] if a["chain"] == "ethereum")["private_key"]
ETH_ADDRESS = next(a for a in ABANDON["accounts"] if a["chain"] == "ethereum")["address"]


def paths_for(index: int) -> list[str]:
    return [
        f"m/44'/60'/0'/0/{index}",
        f"m/44'/501'/{index}'/0'",
        f"m/84'/0'/0'/0/{index}",
        f"m/44'/118'/0'/0/{index}",
        f"m/44'/195'/0'/0/{index}",
        f"m/44'/607'/{index}'",
    ]


def wallet_file(vault: str, wallet_id: str) -> pathlib.Path:
    return pathlib.Path(vault) / "wallets" / f"{wallet_id}.json"


def expect_error(text: str, call, *args, **kwargs):
    with pytest.raises(RuntimeError) as info:
        call(*args, **kwargs)
    assert str(info.value) == text


def test_created_wallet_shape_and_file(vault):
    info = native.create_wallet("main", passphrase="pw", vault_path_opt=vault)
    assert list(info) == ["id", "name", "accounts", "created_at"]
    assert UUID_V4.match(info["id"])
    assert info["name"] == "main"
    assert CREATED_AT.match(info["created_at"])
    assert [a["chain_id"] for a in info["accounts"]] == FAMILY_CHAINS
    assert [a["derivation_path"] for a in info["accounts"]] == paths_for(0)
    assert all(list(a) == ["chain_id", "address", "derivation_path"] for a in info["accounts"])

    path = wallet_file(vault, info["id"])
    assert stat.S_IMODE(path.stat().st_mode) == 0o600
    assert stat.S_IMODE(path.parent.stat().st_mode) == 0o700
    assert stat.S_IMODE(path.parent.parent.stat().st_mode) == 0o700
    assert os.listdir(path.parent) == [path.name]  # no temporary file left behind

    text = path.read_text()
    assert text.startswith('{\n  "oxa_version": 2,\n  "id": "')
    assert not text.endswith("\n")
    document = json.loads(text)
    assert list(document) == [
        "oxa_version",
        "id",
        "name",
        "created_at",
        "accounts",
        "crypto",
        "key_type",
    ]
    assert list(document["crypto"]) == sorted(document["crypto"])
    assert list(document["crypto"]["kdfparams"]) == ["dklen", "n", "p", "r", "salt"]
    assert document["crypto"]["kdfparams"]["n"] == 65536
    assert document["key_type"] == "mnemonic"
    for account in document["accounts"]:
        assert list(account) == ["account_id", "address", "chain_id", "derivation_path"]
        assert account["account_id"] == f"{account['chain_id']}:{account['address']}"


@pytest.mark.parametrize("words", [12, 24])
def test_created_phrase_has_the_asked_word_count(vault, words):
    native.create_wallet("w", words=words, vault_path_opt=vault)
    assert len(native.export_wallet("w", vault_path_opt=vault).split(" ")) == words


@pytest.mark.parametrize("words", [0, 15, 18, 25])
def test_bad_word_count_is_refused_first(vault, words):
    native.create_wallet("taken", vault_path_opt=vault)
    before = snapshot(vault)
    expect_error(
        "invalid input: words must be 12 or 24",
        native.create_wallet,
        "taken",
        words=words,
        vault_path_opt=vault,
    )
    assert snapshot(vault) == before


def test_taken_name_is_refused_and_vault_unchanged(vault):
    native.create_wallet("main", vault_path_opt=vault)
    before = snapshot(vault)
    for create in (
        lambda: native.create_wallet("main", vault_path_opt=vault),
        lambda: native.import_wallet_mnemonic("main", ABANDON_PHRASE, vault_path_opt=vault),
        lambda: native.import_wallet_private_key("main", ETH_KEY, vault_path_opt=vault),
    ):
        expect_error("wallet name already exists: 'main'", create)
    assert snapshot(vault) == before


def test_names_are_stored_exactly(vault):
    names = [" spaced ", "Main", 'quote " and \\ back', "new\nline", "ünïcødé ✓", ""]
    for name in names:
        native.create_wallet(name, vault_path_opt=vault)
    assert [w["name"] for w in native.list_wallets(vault)] == names


def test_import_mnemonic_at_index_three(vault):
    info = native.import_wallet_mnemonic("idx", ABANDON_PHRASE, index=3, vault_path_opt=vault)
    assert [a["derivation_path"] for a in info["accounts"]] == paths_for(3)
    assert info["accounts"][0]["address"] == native.derive_address(ABANDON_PHRASE, "ethereum", 3)
    assert native.export_wallet("idx", vault_path_opt=vault) == ABANDON_PHRASE


def test_import_mnemonic_matches_derive_address(vault):
    info = native.import_wallet_mnemonic("m", ABANDON_PHRASE, vault_path_opt=vault)
    chains = ["ethereum", "solana", "bitcoin", "cosmos", "tron", "ton"]
    assert [a["address"] for a in info["accounts"]] == [
        native.derive_address(ABANDON_PHRASE, c) for c in chains
    ]


@pytest.mark.parametrize(
    "phrase", [ABANDON_PHRASE + " ", ABANDON_PHRASE.upper(), "abandon " * 11 + "abandon"]
)
def test_import_refuses_bad_phrases_without_writing(vault, phrase):
    with pytest.raises(RuntimeError, match=r"^invalid mnemonic phrase: "):
        native.import_wallet_mnemonic("m", phrase, vault_path_opt=vault)
    assert native.list_wallets(vault) == []


def test_private_key_without_chain_is_secp256k1(vault):
    first = native.import_wallet_private_key("a", "0x" + ETH_KEY, vault_path_opt=vault)
    second = native.import_wallet_private_key("b", ETH_KEY.upper(), vault_path_opt=vault)
    assert first["accounts"][0]["address"] == ETH_ADDRESS
    # EVM, Bitcoin, Cosmos, Tron come from the key; Solana and TON from fresh random keys.
    for i in (0, 2, 3, 4):
        assert first["accounts"][i]["address"] == second["accounts"][i]["address"]
    for i in (1, 5):
        assert first["accounts"][i]["address"] != second["accounts"][i]["address"]
    assert all(a["derivation_path"] == "" for a in first["accounts"])


def test_private_key_with_solana_chain_is_ed25519(vault):
    seed = "22" * 32
    info = native.import_wallet_private_key(
        "s", seed, chain="Solana", secp256k1_key=ETH_KEY, vault_path_opt=vault
    )
    both = native.import_wallet_private_key(
        "t",
        "not hex at all",
        chain="nope",
        secp256k1_key=ETH_KEY,
        ed25519_key=seed,
        vault_path_opt=vault,
    )
    assert [a["address"] for a in info["accounts"]] == [a["address"] for a in both["accounts"]]
    assert native.export_wallet("s", vault_path_opt=vault) == (
        '{"ed25519":"' + seed + '","secp256k1":"' + ETH_KEY + '"}'
    )


@pytest.mark.parametrize(
    ("kwargs", "text"),
    [
        (
            {"private_key_hex": "0X" + ETH_KEY},
            "invalid input: invalid hex private key: Invalid character 'X' at position 1",
        ),
        (
            {"private_key_hex": ETH_KEY[:-1]},
            "invalid input: invalid hex private key: Odd number of digits",
        ),
        (
            {"private_key_hex": "zz"},
            "invalid input: invalid hex private key: Invalid character 'z' at position 0",
        ),
        (
            {"private_key_hex": ETH_KEY, "chain": "mars"},
            (
                "invalid input: unknown chain: 'mars'. "
                "Use a chain name (ethereum, solana, bitcoin, ...) or CAIP-2 ID (eip155:1, ...)"
            ),
        ),
        (
            {"private_key_hex": ETH_KEY, "ed25519_key": "123"},
            "invalid input: invalid hex private key: Odd number of digits",
        ),
        ({"private_key_hex": "00" * 32}, "invalid private key: signature error"),
        ({"private_key_hex": ETH_KEY[:46]}, "invalid private key: signature error"),
        (
            {"private_key_hex": "22" * 31, "chain": "ton"},
            "invalid private key: expected 32 bytes, got 31",
        ),
    ],
)
def test_private_key_import_errors(vault, kwargs, text):
    expect_error(text, native.import_wallet_private_key, "k", vault_path_opt=vault, **kwargs)
    assert native.list_wallets(vault) == []


def test_short_secp256k1_key_is_padded(vault):
    padded = native.import_wallet_private_key("p", "00" + "11" * 31, vault_path_opt=vault)
    short = native.import_wallet_private_key("q", "11" * 31, vault_path_opt=vault)
    assert padded["accounts"][0]["address"] == short["accounts"][0]["address"]


def test_listing_an_empty_vault_creates_it(vault):
    assert native.list_wallets(vault) == []
    wallets = pathlib.Path(vault) / "wallets"
    assert stat.S_IMODE(wallets.stat().st_mode) == 0o700
    assert stat.S_IMODE(wallets.parent.stat().st_mode) == 0o700


def test_listing_is_oldest_first_and_ignores_other_files(vault, capfd):
    for name in ("one", "two", "three"):
        native.create_wallet(name, vault_path_opt=vault)
    wallets = pathlib.Path(vault) / "wallets"
    (wallets / "notes.txt").write_text("not a wallet")
    (wallets / "UPPER.JSON").write_text("{}")
    (wallets / ".json").write_text("{}")
    (wallets / "broken.json").write_text('{"oxa_version": 2,')
    capfd.readouterr()
    assert [w["name"] for w in native.list_wallets(vault)] == ["one", "two", "three"]
    err = capfd.readouterr().err.splitlines()
    assert len(err) == 1
    assert err[0].startswith(f"warning: skipping {wallets / 'broken.json'}: EOF while parsing")


def test_lookup_by_id_and_name(vault):
    a = native.create_wallet("alpha", vault_path_opt=vault)
    assert native.get_wallet(a["id"], vault_path_opt=vault) == a
    assert native.get_wallet("alpha", vault_path_opt=vault) == a
    # A wallet named like another wallet's id: the id wins.
    b = native.create_wallet(a["id"], vault_path_opt=vault)
    assert native.get_wallet(a["id"], vault_path_opt=vault) == a
    assert native.get_wallet(b["id"], vault_path_opt=vault) == b
    expect_error("wallet not found: 'Alpha'", native.get_wallet, "Alpha", vault_path_opt=vault)
    expect_error("wallet not found: ''", native.get_wallet, "", vault_path_opt=vault)


def test_same_name_twice_is_ambiguous(vault):
    info = native.create_wallet("twin", vault_path_opt=vault)
    original = wallet_file(vault, info["id"])
    copy = json.loads(original.read_text())
    copy["id"] = "00000000-0000-4000-8000-000000000000"
    wallet_file(vault, copy["id"]).write_text(json.dumps(copy))
    expect_error(
        "ambiguous wallet name 'twin' matches 2 wallets; use the wallet ID instead",
        native.get_wallet,
        "twin",
        vault_path_opt=vault,
    )
    assert native.get_wallet(copy["id"], vault_path_opt=vault)["name"] == "twin"


def test_rename(vault):
    info = native.create_wallet("old", vault_path_opt=vault)
    native.create_wallet("other", vault_path_opt=vault)
    path = wallet_file(vault, info["id"])
    before = path.read_bytes()
    assert native.rename_wallet("old", "old", vault_path_opt=vault) is None
    assert path.read_bytes() == before
    expect_error(
        "wallet name already exists: 'other'",
        native.rename_wallet,
        "old",
        "other",
        vault_path_opt=vault,
    )
    assert path.read_bytes() == before
    assert native.rename_wallet(info["id"], "new", vault_path_opt=vault) is None
    renamed = native.get_wallet("new", vault_path_opt=vault)
    assert renamed == {**info, "name": "new"}
    assert stat.S_IMODE(path.stat().st_mode) == 0o600
    assert json.loads(path.read_text())["crypto"] == json.loads(before)["crypto"]
    expect_error("wallet not found: 'old'", native.rename_wallet, "old", "x", vault_path_opt=vault)


def test_delete(vault):
    info = native.create_wallet("gone", vault_path_opt=vault)
    assert native.delete_wallet("gone", vault_path_opt=vault) is None
    assert not wallet_file(vault, info["id"]).exists()
    expect_error("wallet not found: 'gone'", native.get_wallet, "gone", vault_path_opt=vault)
    expect_error("wallet not found: 'gone'", native.delete_wallet, "gone", vault_path_opt=vault)


def test_delete_of_a_file_not_named_by_its_id(vault):
    info = native.create_wallet("moved", vault_path_opt=vault)
    path = wallet_file(vault, info["id"])
    moved = path.rename(path.with_name("elsewhere.json"))
    assert native.get_wallet("moved", vault_path_opt=vault) == info
    assert native.delete_wallet("moved", vault_path_opt=vault) is None
    assert not moved.exists()
    expect_error("wallet not found: 'moved'", native.get_wallet, "moved", vault_path_opt=vault)


def test_export_with_and_without_passphrase(vault):
    native.import_wallet_mnemonic("plain", ABANDON_PHRASE, vault_path_opt=vault)
    assert native.export_wallet("plain", vault_path_opt=vault) == ABANDON_PHRASE
    assert native.export_wallet("plain", "", vault_path_opt=vault) == ABANDON_PHRASE
    before = snapshot(vault)
    expect_error(
        "decryption failed: aead::Error", native.export_wallet, "plain", "x", vault_path_opt=vault
    )
    assert snapshot(vault) == before


def test_relative_vault_path_is_relative_to_the_working_directory(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    info = native.create_wallet("rel", vault_path_opt="rel/vault")
    assert (tmp_path / "rel" / "vault" / "wallets" / f"{info['id']}.json").exists()


def test_default_vault_is_under_home(tmp_path, monkeypatch):
    monkeypatch.setenv("HOME", str(tmp_path))
    assert native.list_wallets() == []
    assert (tmp_path / ".oxa" / "wallets").is_dir()


def test_path_objects_are_refused_before_the_file_system(tmp_path):
    target = tmp_path / "never"
    with pytest.raises(TypeError, match="argument 'vault_path_opt' must be str, not PosixPath"):
        native.list_wallets(target)
    with pytest.raises(TypeError, match="argument 'passphrase' must be str, not bytes"):
        native.create_wallet("x", b"pw", vault_path_opt=str(target))
    assert not target.exists()


def test_vault_path_with_nul_is_refused(tmp_path):
    expect_error(
        "invalid input: vault path must not contain a NUL character",
        native.list_wallets,
        str(tmp_path / "a\x00b"),
    )
