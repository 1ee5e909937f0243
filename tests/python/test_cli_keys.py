"""The oxa commands for keys over their lifetime: passwd, keystore,
solana-keypair and derive over a range, secrets never from argv."""

import json
import os

import pytest
from eth_account import Account
from solders.keypair import Keypair

import oxa._native as native
from conftest import ABANDON_PHRASE
from test_cli import home, run, run_json  # noqa: F401  (home: the autouse HOME fixture)
from test_derive_addresses import oracle


def test_passwd_reads_the_old_passphrase_then_the_new_one(vault):
    native.import_wallet_mnemonic("w", ABANDON_PHRASE, "old", vault_path_opt=vault)
    changed = run_json(
        "passwd",
        "w",
        "--vault",
        vault,
        "--passphrase-stdin",
        "--new-passphrase-stdin",
        stdin="old\nnew\n",
    )
    assert changed["changed"]["name"] == "w"
    assert native.export_wallet("w", "new", vault) == ABANDON_PHRASE


def test_passwd_takes_a_cost_and_env_passphrases(vault, monkeypatch):
    info = native.import_wallet_mnemonic("w", ABANDON_PHRASE, "old", vault_path_opt=vault)
    monkeypatch.setenv("OLD", "old")
    monkeypatch.setenv("NEW", "new")
    result = run(
        "passwd",
        "w",
        "--vault",
        vault,
        "--passphrase-env",
        "OLD",
        "--new-passphrase-env",
        "NEW",
        "--scrypt-log-n",
        "17",
    )
    assert (result.returncode, result.stdout) == (
        0,
        f"passphrase changed for wallet 'w' ({info['id']})\n",
    )
    path = os.path.join(vault, "wallets", f"{info['id']}.json")
    with open(path) as f:
        assert json.load(f)["crypto"]["kdfparams"]["n"] == 2**17


def test_passwd_without_a_terminal_names_the_options(vault):
    native.import_wallet_mnemonic("w", ABANDON_PHRASE, "old", vault_path_opt=vault)
    result = run("passwd", "w", "--vault", vault, "--passphrase-stdin", stdin="old\n")
    assert (result.returncode, result.stderr) == (
        1,
        "oxa: no terminal to ask on; use --new-passphrase-env NAME or --new-passphrase-stdin\n",
    )


def test_keystore_export_then_import(shared_vault, vault, tmp_path):
    exported = run(
        "keystore",
        "export",
        "main",
        "--vault",
        shared_vault,
        "--index",
        "1",
        "--passphrase-stdin",
        "--keystore-passphrase-stdin",
        stdin="pw\nk\n",
    )
    assert exported.returncode == 0, exported.stderr
    key = Account.decrypt(exported.stdout, "k")
    assert Account.from_key(key).address == native.derive_address(ABANDON_PHRASE, "ethereum", 1)
    keystore_file = tmp_path / "key.json"
    keystore_file.write_text(exported.stdout)
    wallet = run_json(
        "keystore",
        "import",
        "copy",
        str(keystore_file),
        "--vault",
        vault,
        "--keystore-passphrase-stdin",
        "--passphrase-stdin",
        stdin="k\nnew\n",
    )
    assert wallet["accounts"][0]["address"] == Account.from_key(key).address
    as_json = run_json(
        "keystore",
        "export",
        "copy",
        "--vault",
        vault,
        "--passphrase-stdin",
        "--keystore-passphrase-stdin",
        stdin="new\nk2\n",
    )
    assert Account.decrypt(as_json["keystore"], "k2") == key


def test_keystore_import_of_a_missing_file_is_one_line(vault):
    result = run("keystore", "import", "w", "/nonexistent/key.json", "--vault", vault)
    assert (result.returncode, result.stderr) == (
        1,
        "oxa: cannot read /nonexistent/key.json: No such file or directory\n",
    )


def test_solana_keypair_export_then_import(shared_vault, vault, tmp_path):
    exported = run(
        "solana-keypair",
        "export",
        "main",
        "--vault",
        shared_vault,
        "--passphrase-stdin",
        stdin="pw\n",
    )
    assert exported.returncode == 0
    assert exported.stderr.startswith("warning: the secret below")
    keypair = Keypair.from_json(exported.stdout.strip())
    assert str(keypair.pubkey()) == native.derive_address(ABANDON_PHRASE, "solana")
    keypair_file = tmp_path / "id.json"
    keypair_file.write_text(keypair.to_json())
    wallet = run_json(
        "solana-keypair",
        "import",
        "sol",
        str(keypair_file),
        "--vault",
        vault,
        "--passphrase-stdin",
        stdin="\n",
    )
    assert wallet["accounts"][1]["address"] == str(keypair.pubkey())
    as_json = run_json(
        "solana-keypair", "export", "sol", "--vault", vault, "--passphrase-stdin", stdin="\n"
    )
    assert as_json == {"keypair": list(bytes(keypair))}


@pytest.mark.parametrize("source", ["env", "stdin"])
def test_derive_lists_a_range_with_a_bip39_passphrase(source, monkeypatch):
    monkeypatch.setenv("OXA_BIP39_PASSPHRASE", "TREZOR")
    stdin = f"{ABANDON_PHRASE}\n" + ("TREZOR\n" if source == "stdin" else "")
    listed = run_json(
        "derive",
        "--chain",
        "bitcoin",
        "--start",
        "4",
        "--count",
        "3",
        "--bip39-passphrase",
        source,
        stdin=stdin,
    )
    assert [a["index"] for a in listed] == [4, 5, 6]
    assert [a["address"] for a in listed] == [
        oracle(ABANDON_PHRASE, "bitcoin", i, "TREZOR") for i in (4, 5, 6)
    ]
    single = run_json(
        "derive", "--chain", "bitcoin", "--index", "5", "--bip39-passphrase", source, stdin=stdin
    )
    assert single == {"address": listed[1]["address"]}


def test_derive_range_as_text_and_its_refusals(monkeypatch):
    monkeypatch.delenv("OXA_BIP39_PASSPHRASE", raising=False)
    result = run("derive", "--chain", "ethereum", "--count", "2", stdin=ABANDON_PHRASE + "\n")
    lines = result.stdout.splitlines()
    assert lines[0].split() == ["INDEX", "ADDRESS", "PATH"]
    assert lines[2].split() == [
        "1",
        native.derive_address(ABANDON_PHRASE, "ethereum", 1),
        "m/44'/60'/0'/0/1",
    ]
    both = run("derive", "--chain", "ethereum", "--index", "1", "--count", "2")
    assert (both.returncode, both.stderr) == (
        1,
        "oxa: --index cannot be combined with --start or --count\n",
    )
    too_many = run("derive", "--chain", "ethereum", "--count", "1001", stdin=ABANDON_PHRASE + "\n")
    assert too_many.stderr == "oxa: invalid input: count must be from 1 to 1000, got 1001\n"
    unset = run(
        "derive", "--chain", "ethereum", "--bip39-passphrase", "env", stdin=ABANDON_PHRASE + "\n"
    )
    assert unset.stderr == "oxa: environment variable OXA_BIP39_PASSPHRASE is not set\n"


@pytest.mark.parametrize(
    "args",
    [
        ["derive", "--chain", "ethereum", "--count", "-1"],
        ["derive", "--chain", "ethereum", "--start", "4294967296"],
        ["derive", "--chain", "ethereum", "--bip39-passphrase", "argv-secret"],
        ["passwd", "w", "--scrypt-log-n", "-1"],
        ["keystore", "export"],
        ["solana-keypair", "import", "w"],
    ],
)
def test_usage_errors_exit_2(args):
    assert run(*args).returncode == 2
