"""What the table holds: one row per operation (per vault size where a vault
is involved), the baseline each row is divided by, and the target it is held to."""

import json
from dataclasses import dataclass

import baselines
import workload

SCRYPT = "scrypt, libsodium (C++)"
OXA_SCRYPT = "scrypt, oxa (C++)"
FLOOR = "system calls of the scan (C++)"
PBKDF2 = "PBKDF2-HMAC-SHA512 x2048"
LISTING = "listing in plain Python"
# Rows measured by the C++ reference programs, with what each is sent per call.
SCRYPT_PROGRAM_ROWS = {SCRYPT: "libsodium", OXA_SCRYPT: "oxa"}

# Memory targets are for the growth over what the process held before the call.
SCRYPT_WORKING_SET_MIB = 64
MEMORY_TARGET_MIB = SCRYPT_WORKING_SET_MIB + 16
# Ratios to one libsodium scrypt: opening a secret, sealing one, and the stretch.
OPENING_TARGET = 0.70
SEALING_TARGET = 0.75
SECRET_STRETCH = 0.60
# A lookup's scan of the largest vault, as a ratio to the bare system calls.
SCAN_TARGET = 1.3
# Signing in the largest vault against its parts: 0.70 x scrypt + the scan.
SIGN_TARGET = 1.05
# change_passphrase runs two of our scrypts.
CHANGE_PASSPHRASE_TARGET = 2.1
ETH_ENCRYPT = "eth-account: keystore encrypt"
ETH_DECRYPT = "eth-account: keystore decrypt"
BIP_UTILS_RANGE = f"bip-utils: {workload.DERIVED_COUNT} EVM addresses"
KEY_ROWS = {
    "change_passphrase": ((OXA_SCRYPT, None), CHANGE_PASSPHRASE_TARGET),
    "export_keystore": ((ETH_ENCRYPT, None), None),
    "import_keystore": ((ETH_DECRYPT, None), None),
}

SEALING = ("create_wallet", "import_wallet_mnemonic", "import_wallet_private_key")
OPENING = (
    "sign_message mnemonic",
    "sign_message private key",
    "sign_transaction mnemonic",
    "sign_transaction private key",
    "export_wallet",
    "sign_message_standard mnemonic",
    "sign_typed_data private key",
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
        Row(OXA_SCRYPT, baseline=(SCRYPT, None)),
        Row("scrypt, hashlib", baseline=(SCRYPT, None), is_oxa=False),
        Row("eth-account: keystore decrypt + EIP-191 sign", baseline=(SCRYPT, None), is_oxa=False),
        Row(PBKDF2, is_oxa=False),
        Row("bip-utils: six addresses from a mnemonic", baseline=(PBKDF2, None), is_oxa=False),
    ]
    for label in workload.derive_operations():
        rows.append(Row(label, baseline=(PBKDF2, None), target=1.5))
    rows += key_rows()
    for size in workload.VAULT_SIZES:
        rows.append(Row(LISTING, size, is_oxa=False))
        rows.append(Row("raw read of the files", size, baseline=(LISTING, size), is_oxa=False))
        rows.append(Row(FLOOR, size, is_oxa=False))
        for label in SEALING:
            rows.append(Row(label, size, (SCRYPT, None), SEALING_TARGET))
        for label in OPENING:
            rows.append(Row(label, size, (SCRYPT, None), OPENING_TARGET, SECRET_STRETCH))
        for label in LOOKUPS:
            rows.append(lookup_row(label, size))
    return rows


def key_rows() -> list[Row]:
    """Keys over their lifetime, in the smallest vault, beside their peers."""
    size = workload.VAULT_SIZES[0]
    rows = [
        Row(ETH_ENCRYPT, baseline=(SCRYPT, None), is_oxa=False),
        Row(ETH_DECRYPT, baseline=(SCRYPT, None), is_oxa=False),
        Row(BIP_UTILS_RANGE, baseline=(PBKDF2, None), is_oxa=False),
    ]
    rows += [Row(label, size, base, target) for label, (base, target) in KEY_ROWS.items()]
    rows += [
        Row(label, baseline=(BIP_UTILS_RANGE, None)) for label in workload.derive_range_operations()
    ]
    return rows


def lookup_row(label: str, size: int) -> Row:
    """Listing against plain Python; a lookup's scan against the bare system calls,
    held to its target in the largest vault, where the scan is what counts."""
    if label == "list_wallets":
        return Row(label, size, (LISTING, size), 0.5)
    target = SCAN_TARGET if size == workload.VAULT_SIZES[-1] else None
    return Row(label, size, (FLOOR, size), target)


def selected_rows(only: list[str] | None) -> list[Row]:
    """Every row, or those whose label holds one of `only`, with the rows
    they are divided by (and theirs)."""
    rows = all_rows()
    if not only:
        return rows
    wanted = {row.key for row in rows if any(text in row.label for text in only)}
    by_key = {row.key: row for row in rows}
    pending = list(wanted)
    while pending:
        baseline = by_key[pending.pop()].baseline
        if baseline is not None and baseline not in wanted:
            wanted.add(baseline)
            pending.append(baseline)
    return [row for row in rows if row.key in wanted]


def inner_calls(row: Row) -> int:
    """Calls per round: more for the quick rows, so that each round weighs about the same."""
    if row.label.startswith(("scrypt", "eth-account")):
        return 1
    if row.label in SEALING or row.label in OPENING or row.label in KEY_ROWS:
        return 1
    if row.size is None:
        return 5
    return {10: 5, 1_000: 3}.get(row.size, 1)


def make_callable(row: Row, vaults: dict, keystore: dict):
    """The callable that performs one unit of `row`'s work (not for the rows
    measured by the C++ reference programs)."""
    if row.label == "scrypt, hashlib":
        return baselines.hashlib_scrypt()
    if row.label == PBKDF2:
        return baselines.pbkdf2_2048()
    if row.label == ETH_ENCRYPT:
        return baselines.eth_account_encrypt()
    if row.label == ETH_DECRYPT:
        return baselines.eth_account_decrypt(keystore)
    if row.label.startswith("eth-account"):
        return baselines.eth_account_open_and_sign(keystore)
    if row.label == BIP_UTILS_RANGE:
        return baselines.bip_utils_evm_addresses(workload.DERIVED_COUNT)
    if row.label.startswith("bip-utils"):
        return baselines.bip_utils_six_addresses()
    if row.size is None:
        return {**workload.derive_operations(), **workload.derive_range_operations()}[row.label]
    vault = vaults[row.size]
    if row.label in KEY_ROWS:
        password = baselines.PASSWORD.decode()
        return workload.key_operations(vault, json.dumps(keystore), password)[row.label]
    if row.label == LISTING:
        return baselines.plain_listing(vault.wallets_dir)
    if row.label == "raw read of the files":
        return baselines.raw_read(vault.wallets_dir)
    return workload.vault_operations(vault)[row.label]
