"""A walk through oxa in a throw-away vault. Nothing outside that vault is
touched, and the only network traffic goes to a stand-in node on 127.0.0.1."""

import pathlib
import stat
import subprocess
import sys
import tempfile
from collections.abc import Iterator
from contextlib import contextmanager

import oxa
from oxa.cli.render import table, wallet_text
from oxa.results import WalletDict

# Each family's account 0: (family, chain, derivation path, curve).
FAMILIES = [(f["family"], f["chain"], f["derivation_path"], f["curve"]) for f in oxa.families()]
PASSPHRASE = "demo passphrase"
MESSAGE = "hello from oxa"
# An unsigned EIP-1559 transfer on a local development chain (chain id 1337):
# the dynamic-fee case of eth-account's typed-transaction tests.
UNSIGNED_TX = (
    "0x02f28205390284773594008477359400830186a09496216849c49358b10257cb55b28ea603c874b05e"
    "865af3107a4000825544c0"
)
NODE_SCRIPT = pathlib.Path(__file__).with_name("loopback_node.py")


def heading(text: str) -> None:
    print(f"\n== {text}")


def shorten(hex_text: str) -> str:
    return f"{hex_text[:16]}...{hex_text[-8:]} ({len(hex_text) // 2} bytes)"


def show_mnemonic() -> str:
    heading("generate_mnemonic(): a fresh 12-word phrase (never use a demo phrase for funds)")
    phrase = oxa.generate_mnemonic()
    print(phrase)
    print(
        table([["FAMILY", "PATH", "CURVE"], *[[f, path, curve] for f, _, path, curve in FAMILIES]])
    )
    return phrase


def show_addresses(phrase: str) -> None:
    heading("derive_address(phrase, chain): its six addresses, without any vault")
    rows = [[family, oxa.derive_address(phrase, chain)] for family, chain, _, _ in FAMILIES]
    print(table([["FAMILY", "ADDRESS"], *rows]))


def create(vault: str) -> WalletDict:
    heading(f"create_wallet('demo', passphrase={PASSPHRASE!r}): a wallet with a phrase of its own")
    wallet = oxa.create_wallet("demo", PASSPHRASE, vault_path_opt=vault)
    print(wallet_text(wallet))
    path = pathlib.Path(vault) / "wallets" / f"{wallet['id']}.json"
    mode = stat.S_IMODE(path.stat().st_mode)
    print(f"\nfile {path} (mode {mode:04o}); its phrase is sealed with scrypt and AES-256-GCM")
    return wallet


def show_list(vault: str) -> None:
    heading("list_wallets(): only the plain part of each file is read, no passphrase")
    rows = [[w["name"], w["id"], w["created_at"]] for w in oxa.list_wallets(vault)]
    print(table([["NAME", "ID", "CREATED"], *rows]) if rows else "no wallets")


def sign_everywhere(vault: str, wallet_id: str) -> None:
    heading(f"sign_message(wallet, chain, {MESSAGE!r}, passphrase): one key per family")
    rows = [["FAMILY", "SIGNATURE", "RECOVERY ID"]]
    for family, chain, _, _ in FAMILIES:
        signed = oxa.sign_message(wallet_id, chain, MESSAGE, PASSPHRASE, vault_path_opt=vault)
        recovery_id = signed["recovery_id"]
        rows.append(
            [family, shorten(signed["signature"]), "-" if recovery_id is None else str(recovery_id)]
        )
    print(table(rows))


def rename(vault: str, wallet_id: str) -> None:
    heading("rename_wallet(wallet, 'demo-renamed'): the name changes, the id stays")
    oxa.rename_wallet(wallet_id, "demo-renamed", vault)
    wallet = oxa.get_wallet("demo-renamed", vault)
    print(table([["name", wallet["name"]], ["id", wallet["id"]]]))


def export_and_check(vault: str, wallet: WalletDict) -> None:
    heading("export_wallet(wallet, passphrase): the phrase comes back")
    phrase = oxa.export_wallet(wallet["id"], PASSPHRASE, vault)
    print(phrase)
    derived = [oxa.derive_address(phrase, chain) for _, chain, _, _ in FAMILIES]
    if derived != [account["address"] for account in wallet["accounts"]]:
        raise RuntimeError("the exported phrase does not derive the wallet's addresses")
    print("It derives exactly the wallet's six addresses.")


@contextmanager
def loopback_node() -> Iterator[subprocess.Popen[str]]:
    node = subprocess.Popen(
        [sys.executable, "-I", str(NODE_SCRIPT)], stdout=subprocess.PIPE, text=True
    )
    try:
        yield node
    finally:
        node.kill()
        node.wait()
        if node.stdout:
            node.stdout.close()


def send(vault: str, wallet_id: str) -> None:
    heading(
        "sign_and_send(wallet, 'ethereum', tx, passphrase, rpc_url=...): to a node on 127.0.0.1"
    )
    with loopback_node() as node:
        assert node.stdout is not None
        port = node.stdout.readline().strip()
        if not port:
            raise RuntimeError("the stand-in node did not start")
        url = f"http://127.0.0.1:{port}"
        print(f"unsigned EIP-1559 tx   {shorten(UNSIGNED_TX[2:])}")
        sent = oxa.sign_and_send(
            wallet_id, "ethereum", UNSIGNED_TX, PASSPHRASE, rpc_url=url, vault_path_opt=vault
        )
        received = node.stdout.readline().strip()
    print(f"node at {url} received {shorten(received[2:])}")
    print(
        f"tx_hash returned       {sent['tx_hash']}  "
        "(the stand-in answers SHA-256, a real node Keccak-256)"
    )


def delete(vault: str, wallet_id: str) -> None:
    heading("delete_wallet(wallet): the file is removed")
    oxa.delete_wallet(wallet_id, vault)
    print(f"{len(oxa.list_wallets(vault))} wallets left")


def run_demo() -> None:
    with tempfile.TemporaryDirectory(prefix="oxa-demo-") as workdir:
        vault = str(pathlib.Path(workdir) / "vault")
        print(f"Temporary vault: {vault}")
        show_addresses(show_mnemonic())
        wallet = create(vault)
        show_list(vault)
        sign_everywhere(vault, wallet["id"])
        rename(vault, wallet["id"])
        export_and_check(vault, wallet)
        send(vault, wallet["id"])
        delete(vault, wallet["id"])
