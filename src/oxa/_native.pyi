"""Type stubs of the extension module oxa._native.

Every function raises RuntimeError carrying the operation's message when the
operation fails, TypeError for an argument of the wrong type and OverflowError
for a count outside 0..4294967295; refused arguments never touch the vault.
"""

from oxa.results import AccountDict as AccountDict
from oxa.results import BroadcastDict as BroadcastDict
from oxa.results import SignatureDict as SignatureDict
from oxa.results import WalletDict as WalletDict

class InternalAbort(BaseException):
    """An internal invariant broke; derived from BaseException on purpose."""

def generate_mnemonic(words: int = 12) -> str: ...
def derive_address(mnemonic: str, chain: str, index: int | None = None) -> str: ...
def create_wallet(
    name: str,
    passphrase: str | None = None,
    words: int | None = None,
    vault_path_opt: str | None = None,
) -> WalletDict: ...
def import_wallet_mnemonic(
    name: str,
    mnemonic: str,
    passphrase: str | None = None,
    index: int | None = None,
    vault_path_opt: str | None = None,
) -> WalletDict: ...
def import_wallet_private_key(
    name: str,
    private_key_hex: str,
    chain: str | None = None,
    passphrase: str | None = None,
    vault_path_opt: str | None = None,
    secp256k1_key: str | None = None,
    ed25519_key: str | None = None,
) -> WalletDict: ...
def list_wallets(vault_path_opt: str | None = None) -> list[WalletDict]: ...
def get_wallet(name_or_id: str, vault_path_opt: str | None = None) -> WalletDict: ...
def delete_wallet(name_or_id: str, vault_path_opt: str | None = None) -> None: ...
def export_wallet(
    name_or_id: str, passphrase: str | None = None, vault_path_opt: str | None = None
) -> str: ...
def rename_wallet(name_or_id: str, new_name: str, vault_path_opt: str | None = None) -> None: ...
def sign_transaction(
    wallet: str,
    chain: str,
    tx_hex: str,
    passphrase: str | None = None,
    index: int | None = None,
    vault_path_opt: str | None = None,
) -> SignatureDict: ...
def sign_message(
    wallet: str,
    chain: str,
    message: str,
    passphrase: str | None = None,
    encoding: str | None = None,
    index: int | None = None,
    vault_path_opt: str | None = None,
) -> SignatureDict: ...
def sign_and_send(
    wallet: str,
    chain: str,
    tx_hex: str,
    passphrase: str | None = None,
    index: int | None = None,
    rpc_url: str | None = None,
    vault_path_opt: str | None = None,
) -> BroadcastDict: ...
