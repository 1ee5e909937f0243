"""The oxa command's prompts in a real pseudo-terminal: hidden input, asking
twice, confirmation, and Ctrl-C."""

import sys

import pexpect
import pytest
from eth_account import Account

import oxa._native as native
from conftest import ABANDON, ABANDON_PHRASE
from test_cli import home  # noqa: F401  (autouse: an empty HOME for every test)

TYPED = "typed-passphrase-7"


def spawn(*args: str) -> pexpect.spawn:
    return pexpect.spawn(sys.executable, ["-P", "-m", "oxa", *args], encoding="utf-8", timeout=60)


def finish(child: pexpect.spawn) -> tuple[int, str]:
    """Reads to the end; returns the exit status and everything shown after the last prompt."""
    child.expect(pexpect.EOF)
    child.close()
    return child.exitstatus, child.before


def answer(child: pexpect.spawn, prompt: str, text: str) -> None:
    child.expect_exact(prompt)
    child.sendline(text)


def test_create_asks_twice_without_echo_and_export_asks_once(vault):
    child = spawn("create", "main", "--vault", vault)
    answer(child, "Passphrase: ", TYPED)
    answer(child, "Repeat passphrase: ", TYPED)
    status, shown = finish(child)
    assert status == 0
    assert TYPED not in shown
    assert "Back up its recovery phrase" in shown

    child = spawn("export", "main", "--vault", vault)
    answer(child, "Passphrase: ", TYPED)
    status, shown = finish(child)
    assert status == 0
    warning, phrase = shown.strip().splitlines()
    assert warning.startswith("warning: ")
    assert phrase == native.export_wallet("main", TYPED, vault)


def test_create_refuses_two_different_passphrases(vault):
    child = spawn("create", "main", "--vault", vault)
    answer(child, "Passphrase: ", TYPED)
    answer(child, "Repeat passphrase: ", TYPED + "x")
    status, shown = finish(child)
    assert (status, shown.strip()) == (1, "oxa: passphrases do not match")
    assert native.list_wallets(vault) == []


def test_derive_asks_for_the_phrase_without_echo():
    child = spawn("derive", "--chain", "ethereum")
    answer(child, "Mnemonic: ", ABANDON_PHRASE)
    status, shown = finish(child)
    assert (status, shown.strip()) == (0, ABANDON["accounts"][0]["address"])


def test_import_key_asks_for_the_key_then_the_passphrase_twice(vault):
    key = "11" * 32
    child = spawn("import", "key", "k", "--vault", vault)
    answer(child, "Private key (hex): ", key)
    answer(child, "Passphrase: ", TYPED)
    answer(child, "Repeat passphrase: ", TYPED)
    status, shown = finish(child)
    assert status == 0
    assert key not in shown
    evm_address = native.get_wallet("k", vault)["accounts"][0]["address"]
    assert evm_address == Account.from_key(bytes.fromhex(key)).address


@pytest.mark.parametrize(
    ("reply", "status", "left"), [("y", 0, 0), ("yes", 0, 0), ("n", 1, 1), ("", 1, 1)]
)
def test_delete_asks_for_confirmation(vault, reply, status, left):
    native.import_wallet_mnemonic("main", ABANDON_PHRASE, vault_path_opt=vault)
    child = spawn("delete", "main", "--vault", vault)
    answer(child, "[y/N] ", reply)
    assert finish(child)[0] == status
    assert len(native.list_wallets(vault)) == left


@pytest.mark.parametrize(
    ("args", "prompt"),
    [
        (["create", "main"], "Passphrase: "),
        (["create", "main"], "Repeat passphrase: "),
        (["derive", "--chain", "evm"], "Mnemonic: "),
        (["delete", "main"], "[y/N] "),
    ],
    ids=["passphrase", "repeat", "mnemonic", "confirmation"],
)
def test_ctrl_c_at_a_prompt_exits_130_without_a_traceback(vault, args, prompt):
    native.import_wallet_mnemonic("main", ABANDON_PHRASE, vault_path_opt=vault)
    child = spawn(*args, "--vault", vault)
    if prompt == "Repeat passphrase: ":
        answer(child, "Passphrase: ", TYPED)
    child.expect_exact(prompt)
    child.sendintr()
    status, shown = finish(child)
    assert status == 130
    assert "Traceback" not in shown
    assert [w["name"] for w in native.list_wallets(vault)] == ["main"]
