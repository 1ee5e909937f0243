"""Concurrent writers, kills in the middle of a save, and hostile wallet files."""

import json
import os
import pathlib
import random
import signal
import stat
import subprocess
import sys
import textwrap
import time

import pytest

import oxa._native as native
from conftest import ABANDON_PHRASE, snapshot

WRITERS = 8


def run_parallel(script: str, args: list[list[str]]) -> list[subprocess.CompletedProcess]:
    processes = [
        subprocess.Popen(
            [sys.executable, "-P", "-c", script, *a],
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            text=True,
        )
        for a in args
    ]
    return [subprocess.CompletedProcess(p.args, p.wait(), *p.communicate()) for p in processes]


CREATE = textwrap.dedent(
    """
    import sys, oxa._native as n
    try:
        n.create_wallet(sys.argv[2], vault_path_opt=sys.argv[1])
        print("ok")
    except RuntimeError as e:
        print(e)
    """
)


def test_concurrent_creators_of_distinct_names_all_land(vault):
    results = run_parallel(CREATE, [[vault, f"w{i}"] for i in range(WRITERS)])
    assert [r.stdout.strip() for r in results] == ["ok"] * WRITERS
    listed = native.list_wallets(vault)
    assert sorted(w["name"] for w in listed) == sorted(f"w{i}" for i in range(WRITERS))
    for path in (pathlib.Path(vault) / "wallets").iterdir():
        json.loads(path.read_text())


def test_concurrent_creators_of_one_name_let_exactly_one_win(vault):
    results = run_parallel(CREATE, [[vault, "same"] for _ in range(WRITERS)])
    outcomes = sorted(r.stdout.strip() for r in results)
    assert outcomes == sorted(["ok"] + ["wallet name already exists: 'same'"] * (WRITERS - 1))
    assert [w["name"] for w in native.list_wallets(vault)] == ["same"]


RENAME_FOREVER = textwrap.dedent(
    """
    import sys, oxa._native as n
    i = 0
    while True:
        n.rename_wallet(sys.argv[2], f"name-{i}", vault_path_opt=sys.argv[1])
        i += 1
    """
)


def test_killing_a_renaming_process_never_loses_the_wallet(vault):
    info = native.import_wallet_mnemonic("start", ABANDON_PHRASE, vault_path_opt=vault)
    rng = random.Random(os.environ.get("OXA_TEST_SEED", "7"))
    wallets = pathlib.Path(vault) / "wallets"
    for _ in range(12):
        child = subprocess.Popen(
            [sys.executable, "-P", "-c", RENAME_FOREVER, vault, info["id"]],
            stderr=subprocess.DEVNULL,
        )
        time.sleep(0.15 + rng.random() * 0.3)
        child.send_signal(signal.SIGKILL)
        child.wait()
        listed = native.list_wallets(vault)
        assert [w["id"] for w in listed] == [info["id"]]
        assert listed[0]["accounts"] == info["accounts"]
        assert [p.name for p in wallets.glob("*.json")] == [f"{info['id']}.json"]
    assert native.export_wallet(info["id"], vault_path_opt=vault) == ABANDON_PHRASE


NARROW_UMASK = textwrap.dedent(
    """
    import os, sys, oxa._native as n
    os.umask(0o477)
    vault, phrase = sys.argv[1:]
    n.import_wallet_mnemonic("w", phrase, vault_path_opt=vault)
    n.rename_wallet("w", "renamed", vault_path_opt=vault)
    print([w["name"] for w in n.list_wallets(vault)])
    """
)


def test_a_narrow_umask_still_leaves_a_readable_wallet(vault):
    result = subprocess.run(
        [sys.executable, "-P", "-c", NARROW_UMASK, vault, ABANDON_PHRASE],
        capture_output=True,
        text=True,
        check=True,
    )
    assert (result.stdout, result.stderr) == ("['renamed']\n", "")
    wallets = pathlib.Path(vault) / "wallets"
    modes = {p: stat.S_IMODE(p.stat().st_mode) for p in (pathlib.Path(vault), wallets)}
    modes.update({p: stat.S_IMODE(p.stat().st_mode) for p in wallets.iterdir()})
    assert sorted(modes.values()) == [0o600, 0o700, 0o700]


def test_a_copied_wallet_file_is_renamed_and_deleted_itself(vault):
    info = native.import_wallet_mnemonic("A", ABANDON_PHRASE, vault_path_opt=vault)
    original = pathlib.Path(vault) / "wallets" / f"{info['id']}.json"
    copy = original.with_name("backup.json")
    document = json.loads(original.read_text())
    copy.write_text(json.dumps({**document, "name": "B"}, indent=2))
    kept = original.read_bytes()

    native.rename_wallet("B", "C", vault_path_opt=vault)
    assert json.loads(copy.read_text()) == {**document, "name": "C"}
    assert stat.S_IMODE(copy.stat().st_mode) == 0o600
    native.delete_wallet("C", vault_path_opt=vault)
    assert not copy.exists()
    assert original.read_bytes() == kept
    assert [w["name"] for w in native.list_wallets(vault)] == ["A"]


def tamper(vault: str, wallet_id: str, change) -> pathlib.Path:
    path = pathlib.Path(vault) / "wallets" / f"{wallet_id}.json"
    document = json.loads(path.read_text())
    change(document)
    path.write_text(json.dumps(document))
    return path


@pytest.mark.parametrize(
    ("change", "error"),
    [
        (
            lambda d: d["crypto"]["kdfparams"].update(n=2**40),
            "JSON error: invalid value: integer `1099511627776`, expected u32",
        ),
        (
            lambda d: d["crypto"]["kdfparams"].update(n=2**24),
            (
                "invalid parameters: scrypt N=16777216, r=8 needs 16384 MiB of memory, "
                "above the maximum 1024 MiB"
            ),
        ),
        (lambda d: d["crypto"]["cipherparams"].update(iv="00" * 11), "invalid parameters: "),
        (
            lambda d: d["crypto"].update(ciphertext="zz"),
            "invalid parameters: Invalid character 'z' at position 0",
        ),
        (lambda d: d.update(crypto=None), "JSON error: "),
        (lambda d: d.update(crypto={"cipher": 5}), "JSON error: "),
    ],
)
def test_tampered_envelopes_fail_cleanly(vault, change, error):
    info = native.import_wallet_mnemonic("t", ABANDON_PHRASE, vault_path_opt=vault)
    tamper(vault, info["id"], change)
    before = snapshot(vault)
    for call in (
        lambda: native.export_wallet("t", vault_path_opt=vault),
        lambda: native.sign_message("t", "ethereum", "m", vault_path_opt=vault),
    ):
        with pytest.raises(RuntimeError) as raised:
            call()
        assert str(raised.value).startswith(error)
    assert snapshot(vault) == before


def test_a_phrase_sealed_as_a_key_pair_exports_but_does_not_sign(vault):
    info = native.import_wallet_mnemonic("t", ABANDON_PHRASE, vault_path_opt=vault)
    tamper(vault, info["id"], lambda d: d.update(key_type="private_key"))
    assert native.export_wallet("t", vault_path_opt=vault) == ABANDON_PHRASE
    with pytest.raises(RuntimeError, match=r"^JSON error: "):
        native.sign_message("t", "ethereum", "m", vault_path_opt=vault)


@pytest.mark.parametrize(
    "content",
    [
        "",
        "{",
        "[]",
        '{"oxa_version": "2"}',
        '{"oxa_version": -1, "id": "x"}',
        "\xff\xfe",
        '{"accounts": [' * 200,
        "null",
    ],
)
def test_damaged_files_are_skipped_with_a_warning(vault, content, capfd):
    native.create_wallet("good", vault_path_opt=vault)
    bad = pathlib.Path(vault) / "wallets" / "bad.json"
    bad.write_bytes(
        content.encode("utf-8", "surrogateescape") if content != "\xff\xfe" else b"\xff\xfe"
    )
    capfd.readouterr()
    assert [w["name"] for w in native.list_wallets(vault)] == ["good"]
    assert native.get_wallet("good", vault_path_opt=vault)["name"] == "good"
    assert capfd.readouterr().err.startswith(f"warning: skipping {bad}: ")


def test_hostile_ids_never_reach_outside_the_vault(tmp_path):
    vault = str(tmp_path / "vault")
    victim = tmp_path / "x.json"
    victim.write_text("keep me")
    info = native.import_wallet_mnemonic("evil", ABANDON_PHRASE, vault_path_opt=vault)
    path = tamper(vault, info["id"], lambda d: d.update(id="../x"))
    with pytest.raises(RuntimeError) as raised:
        native.delete_wallet("evil", vault_path_opt=vault)
    assert str(raised.value) == "wallet not found: '../x'"
    with pytest.raises(RuntimeError) as raised:
        native.rename_wallet("evil", "renamed", vault_path_opt=vault)
    assert str(raised.value) == "invalid input: wallet id '../x' cannot be used as a file name"
    assert victim.read_text() == "keep me"
    assert path.exists()
    for hostile in ("", ".", "..", ".hidden", "a/b", "/abs"):
        tamper(vault, path.stem, lambda d, h=hostile: d.update(id=h))
        with pytest.raises(RuntimeError, match=r"^wallet not found: "):
            native.delete_wallet("evil", vault_path_opt=vault)
    assert victim.read_text() == "keep me"


CHANGE_PASSPHRASE_FOREVER = textwrap.dedent(
    """
    import sys, oxa._ext as e
    vault, wallet, current = sys.argv[1:]
    other = {"a": "b", "b": "a"}
    while True:
        e.change_passphrase(wallet, current, other[current], vault_path_opt=vault)
        current = other[current]
    """
)


def test_killing_a_passphrase_change_leaves_the_old_seal_or_the_new(vault):
    info = native.import_wallet_mnemonic("w", ABANDON_PHRASE, "a", vault_path_opt=vault)
    rng = random.Random(os.environ.get("OXA_TEST_SEED", "15"))
    wallets = pathlib.Path(vault) / "wallets"
    for _ in range(12):
        # The child starts from whichever passphrase the last kill left.
        current = "a" if _opens(vault, "a") else "b"
        child = subprocess.Popen(
            [sys.executable, "-P", "-c", CHANGE_PASSPHRASE_FOREVER, vault, info["id"], current],
            stderr=subprocess.DEVNULL,
        )
        time.sleep(0.2 + rng.random() * 0.6)
        child.send_signal(signal.SIGKILL)
        child.wait()
        listed = native.list_wallets(vault)
        assert [(w["id"], w["accounts"]) for w in listed] == [(info["id"], info["accounts"])]
        assert [p.name for p in wallets.glob("*.json")] == [f"{info['id']}.json"]
        assert _opens(vault, "a") != _opens(vault, "b")


def _opens(vault: str, passphrase: str) -> bool:
    try:
        return native.export_wallet("w", passphrase, vault) == ABANDON_PHRASE
    except RuntimeError:
        return False
