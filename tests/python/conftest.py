import json
import pathlib
from collections.abc import Callable

import pytest

import oxa._native as native
from rpc_server import RecordingServer

DATA = pathlib.Path(__file__).resolve().parent.parent / "data"
ABANDON = json.loads((DATA / "addresses-abandon.json").read_text())
ABANDON_PHRASE = ABANDON["mnemonic"]
# The thirteen functions of oxa._native, in registration order.
NATIVE_FUNCTIONS = [
    "generate_mnemonic",
    "derive_address",
    "create_wallet",
    "import_wallet_mnemonic",
    "import_wallet_private_key",
    "list_wallets",
    "get_wallet",
    "delete_wallet",
    "export_wallet",
    "rename_wallet",
    "sign_transaction",
    "sign_message",
    "sign_and_send",
]


@pytest.fixture
def server(tmp_path):
    """A recording stand-in for an RPC endpoint on 127.0.0.1."""
    workdir = tmp_path / "server"
    workdir.mkdir()
    running = RecordingServer(workdir).start()
    yield running
    running.stop()


@pytest.fixture(scope="session")
def wordlist() -> list[str]:
    return (DATA / "bip39-english.txt").read_text().split()


@pytest.fixture
def vault(tmp_path) -> str:
    """A fresh vault directory (not yet created) for one test."""
    return str(tmp_path / "vault")


@pytest.fixture(scope="module")
def shared_vault(tmp_path_factory) -> str:
    """One vault with an abandon-phrase wallet "main" (passphrase "pw") and a
    private-key wallet "keys" (no passphrase), shared by a module's read-only tests."""
    path = str(tmp_path_factory.mktemp("shared") / "vault")
    native.import_wallet_mnemonic("main", ABANDON_PHRASE, passphrase="pw", vault_path_opt=path)
    native.import_wallet_private_key(
        "keys", "", secp256k1_key="11" * 32, ed25519_key="22" * 32, vault_path_opt=path
    )
    return path


def snapshot(directory: str) -> dict[str, bytes]:
    """Every file under `directory` with its content, to prove nothing changed."""
    root = pathlib.Path(directory)
    if not root.exists():
        return {}
    return {
        str(p.relative_to(root)): p.read_bytes() for p in sorted(root.rglob("*")) if p.is_file()
    }


def answer(check: Callable[..., bool], *args: str) -> bool | str:
    """A signature check's answer, or the text of its refusal."""
    try:
        return check(*args)
    except RuntimeError as refused:
        return str(refused)
