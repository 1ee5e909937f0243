"""What the table holds: one row per operation (per vault size where a vault
is involved), the baseline each row is divided by, and the target it is held to."""

from dataclasses import dataclass

import baselines
import workload

SCRYPT = "scrypt, libsodium (C++)"
PBKDF2 = "PBKDF2-HMAC-SHA512 x2048"
LISTING = "listing in plain Python"

# Memory targets are for the growth over what the process held before the call.
SCRYPT_WORKING_SET_MIB = 64
MEMORY_TARGET_MIB = SCRYPT_WORKING_SET_MIB + 16
SECRET_STRETCH = 0.7

SEALING = ("create_wallet", "import_wallet_mnemonic", "import_wallet_private_key")
OPENING = (
    "sign_message mnemonic",
    "sign_message private key",
    "sign_transaction mnemonic",
    "sign_transaction private key",
    "export_wallet",
)
LOOKUPS = ("get_wallet by id", "get_wallet by name", "list_wallets")


@dataclass(frozen=True)
class Row:
    label: str
    size: int | None = None  # wallets in the vault, if a vault is used
    baseline: tuple | None = None  # (label, size) of the row this one is divided by
    target: float | None = None  # highest ratio allowed
    stretch: float | None = None  # the stretch target, where there is one
    is_oxa: bool = True

    @property
    def key(self) -> tuple:
        return (self.label, self.size)


def all_rows() -> list[Row]:
    rows = [
        Row(SCRYPT, is_oxa=False),
        Row("scrypt, hashlib", baseline=(SCRYPT, None), is_oxa=False),
        Row("eth-account: keystore decrypt + EIP-191 sign", baseline=(SCRYPT, None), is_oxa=False),
        Row(PBKDF2, is_oxa=False),
        Row("bip-utils: six addresses from a mnemonic", baseline=(PBKDF2, None), is_oxa=False),
    ]
    for label in workload.derive_operations():
        rows.append(Row(label, baseline=(PBKDF2, None), target=1.5))
    for size in workload.VAULT_SIZES:
        rows.append(Row(LISTING, size, is_oxa=False))
        rows.append(Row("raw read of the files", size, baseline=(LISTING, size), is_oxa=False))
        for label in SEALING:
            rows.append(Row(label, size, (SCRYPT, None), 1.10, SECRET_STRETCH))
        for label in OPENING:
            rows.append(Row(label, size, (SCRYPT, None), 1.05, SECRET_STRETCH))
        for label in LOOKUPS:
            target = 0.5 if label == "list_wallets" else None
            rows.append(Row(label, size, (LISTING, size), target))
    return rows


def inner_calls(row: Row) -> int:
    """Calls per round: more for the quick rows, so that each round weighs about the same."""
    if row.label.startswith(("scrypt", "eth-account")):
        return 1
    if row.label in SEALING or row.label in OPENING:
        return 1
    if row.size is None:
        return 5
    return {10: 5, 1_000: 3}.get(row.size, 1)


def make_callable(row: Row, vaults: dict, keystore: dict):
    """The callable that performs one unit of `row`'s work (not for SCRYPT,
    which runs in the reference program)."""
    if row.label == "scrypt, hashlib":
        return baselines.hashlib_scrypt()
    if row.label == PBKDF2:
        return baselines.pbkdf2_2048()
    if row.label.startswith("eth-account"):
        return baselines.eth_account_open_and_sign(keystore)
    if row.label.startswith("bip-utils"):
        return baselines.bip_utils_six_addresses()
    if row.size is None:
        return workload.derive_operations()[row.label]
    vault = vaults[row.size]
    if row.label == LISTING:
        return baselines.plain_listing(vault.wallets_dir)
    if row.label == "raw read of the files":
        return baselines.raw_read(vault.wallets_dir)
    return workload.vault_operations(vault)[row.label]
