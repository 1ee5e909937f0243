"""Type stubs of the extension module oxa._ext: the functions of oxa beyond
the thirteen of oxa._native, with the same conventions (RuntimeError with the
operation's message, TypeError and OverflowError for refused arguments)."""

from oxa._native import InternalAbort as InternalAbort
from oxa.results import ChainDict as ChainDict
from oxa.results import DerivedAddressDict as DerivedAddressDict
from oxa.results import FamilyDict as FamilyDict
from oxa.results import SignatureDict as SignatureDict
from oxa.results import WalletDict as WalletDict

def chains() -> list[ChainDict]: ...
def families() -> list[FamilyDict]: ...
def verify_message(
    chain: str, message: str, signature: str, address: str, encoding: str | None = None
) -> bool: ...
def recover_address(
    chain: str, message: str, signature: str, encoding: str | None = None
) -> str: ...
def sign_message_standard(
    wallet: str,
    chain: str,
    message: str,
    standard: str,
    passphrase: str | None = None,
    index: int | None = None,
    encoding: str | None = None,
    vault_path_opt: str | None = None,
) -> SignatureDict: ...
def verify_message_standard(
    chain: str,
    message: str,
    signature: str,
    address: str,
    standard: str,
    encoding: str | None = None,
) -> bool: ...
def sign_typed_data(
    wallet: str,
    typed_data: str,
    passphrase: str | None = None,
    index: int | None = None,
    vault_path_opt: str | None = None,
) -> SignatureDict: ...
def hash_typed_data(typed_data: str) -> str: ...
def verify_typed_data(typed_data: str, signature: str, address: str) -> bool: ...
def change_passphrase(
    wallet: str,
    old_passphrase: str,
    new_passphrase: str,
    scrypt_log_n: int | None = None,
    vault_path_opt: str | None = None,
) -> None: ...
def export_keystore(
    wallet: str,
    passphrase: str | None = None,
    *,
    keystore_passphrase: str,
    index: int | None = None,
    vault_path_opt: str | None = None,
) -> str: ...
def import_keystore(
    name: str,
    keystore_json: str,
    keystore_passphrase: str,
    passphrase: str | None = None,
    vault_path_opt: str | None = None,
) -> WalletDict: ...
def export_solana_keypair(
    wallet: str,
    passphrase: str | None = None,
    index: int | None = None,
    vault_path_opt: str | None = None,
) -> str: ...
def import_solana_keypair(
    name: str,
    keypair_json: str,
    passphrase: str | None = None,
    vault_path_opt: str | None = None,
) -> WalletDict: ...
def derive_addresses(
    mnemonic: str,
    chain: str,
    start: int = 0,
    count: int = 1,
    bip39_passphrase: str | None = None,
) -> list[DerivedAddressDict]: ...
