"""The benchmark's vaults and the operations timed on them.

Every vault lives under the benchmark's own temporary directory. Large vaults
are made by copying one wallet file under fresh ids and names, so that a
10,000-wallet vault costs one scrypt, not 10,000.
"""

import json
import os
import random
import uuid
from dataclasses import asdict, dataclass
from datetime import UTC, datetime, timedelta

from oxa import _ext as ext
from oxa import _native as native

VAULT_SIZES = (10, 1_000, 10_000)

MNEMONIC = "abandon " * 11 + "about"
PRIVATE_KEY_HEX = "4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318"
MESSAGE = "benchmark message"
# An unsigned EIP-1559 transaction (chain 1337, one access-list entry).
TRANSACTION_HEX = (
    "02f86b82053902843b9aca008477359400830186a09496216849c49358b10257cb55b28ea603c874b05e"
    "865af3107a4000825544f838f7940000000000000000000000000000000000000001e1a001000000000000"
    "00000000000000000000000000000000000000000000000000"
)
# An EIP-2612 permit, as applications ask for one.
TYPED_DATA = (
    '{"types":{"EIP712Domain":[{"name":"name","type":"string"},{"name":"version","type":"string"},'
    '{"name":"chainId","type":"uint256"},{"name":"verifyingContract","type":"address"}],'
    '"Permit":[{"name":"owner","type":"address"},{"name":"spender","type":"address"},'
    '{"name":"value","type":"uint256"},{"name":"nonce","type":"uint256"},'
    '{"name":"deadline","type":"uint256"}]},"primaryType":"Permit",'
    '"domain":{"name":"USD Coin","version":"2","chainId":1,'
    '"verifyingContract":"0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48"},'
    '"message":{"owner":"0x90F8bf6A479f320ead074411a4B0e7944Ea8c9C1",'
    '"spender":"0x000000000022D473030F116dDEE9F6B43aC78BA3","value":"0x' + "f" * 64 + '",'
    '"nonce":0,"deadline":1893456000}}'
)
MNEMONIC_WALLET = "bench-mnemonic"
KEY_WALLET = "bench-key"
DERIVED_COUNT = 100


@dataclass
class Vault:
    """One prepared vault and the two wallets the operations act on."""

    path: str
    size: int
    mnemonic_id: str
    key_id: str

    @property
    def wallets_dir(self) -> str:
        return os.path.join(self.path, "wallets")


def _write_new_file(path: str, text: str) -> None:
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    with os.fdopen(fd, "w", encoding="utf-8") as out:
        out.write(text)


def _filler_times(count: int, rng: random.Random) -> list[str]:
    """Creation times spread over a year, in the vault's own format, unsorted."""
    start = datetime(2025, 1, 1, tzinfo=UTC)
    times = []
    for _ in range(count):
        moment = start + timedelta(
            seconds=rng.randrange(365 * 86400), microseconds=rng.randrange(1_000_000)
        )
        times.append(moment.isoformat())
    return times


def make_vaults(root: str) -> list[Vault]:
    """A vault per size in VAULT_SIZES: the two working wallets plus copies."""
    first = os.path.join(root, f"vault-{VAULT_SIZES[0]}")
    mnemonic_id = native.import_wallet_mnemonic(MNEMONIC_WALLET, MNEMONIC, vault_path_opt=first)[
        "id"
    ]
    key_id = native.import_wallet_private_key(KEY_WALLET, PRIVATE_KEY_HEX, vault_path_opt=first)[
        "id"
    ]
    template_path = os.path.join(first, "wallets", f"{mnemonic_id}.json")
    with open(template_path, encoding="utf-8") as f:
        template = json.load(f)
    originals = {}
    for wallet_id in (mnemonic_id, key_id):
        with open(os.path.join(first, "wallets", f"{wallet_id}.json"), encoding="utf-8") as f:
            originals[wallet_id] = f.read()

    rng = random.Random(7)
    vaults = []
    for size in VAULT_SIZES:
        path = os.path.join(root, f"vault-{size}")
        wallets_dir = os.path.join(path, "wallets")
        os.makedirs(wallets_dir, mode=0o700, exist_ok=True)
        if path != first:
            for wallet_id, text in originals.items():
                _write_new_file(os.path.join(wallets_dir, f"{wallet_id}.json"), text)
        for number, created_at in enumerate(_filler_times(size - 2, rng)):
            wallet = dict(template)
            wallet["id"] = str(uuid.UUID(int=rng.getrandbits(128), version=4))
            wallet["name"] = f"filler-{number:05d}"
            wallet["created_at"] = created_at
            _write_new_file(
                os.path.join(wallets_dir, f"{wallet['id']}.json"),
                json.dumps(wallet, indent=2, ensure_ascii=False),
            )
        vaults.append(Vault(path, size, mnemonic_id, key_id))
    return vaults


def save_vaults(vaults: list[Vault], path: str) -> None:
    with open(path, "w", encoding="utf-8") as f:
        json.dump([asdict(v) for v in vaults], f)


def load_vaults(path: str) -> list[Vault]:
    with open(path, encoding="utf-8") as f:
        return [Vault(**v) for v in json.load(f)]


class _Creator:
    """Runs one creating operation under a fresh name; the new wallet's file
    is removed again outside the timing, so the vault keeps its size."""

    def __init__(self, vault: Vault, create):
        self._vault = vault
        self._create = create
        self._count = 0
        self._made: list[str] = []

    def __call__(self):
        self._count += 1
        info = self._create(f"bench-new-{os.getpid()}-{self._count}", self._vault.path)
        self._made.append(info["id"])
        return info

    def tidy(self) -> None:
        for wallet_id in self._made:
            os.unlink(os.path.join(self._vault.wallets_dir, f"{wallet_id}.json"))
        self._made.clear()


def derive_operations() -> dict:
    """The vault-free operations: one address per curve."""
    return {
        "derive_address secp256k1": lambda: native.derive_address(MNEMONIC, "ethereum"),
        "derive_address ed25519": lambda: native.derive_address(MNEMONIC, "solana"),
    }


def derive_range_operations() -> dict:
    return {
        f"derive_addresses {DERIVED_COUNT} ethereum": lambda: ext.derive_addresses(
            MNEMONIC, "ethereum", 0, DERIVED_COUNT
        ),
    }


def key_operations(vault: Vault, keystore_text: str, password: str) -> dict:
    """The operations on keys over their lifetime, acting on `vault`."""
    v = vault.path
    return {
        # The same passphrase in and out: the file changes, the wallet stays usable.
        "change_passphrase": lambda: ext.change_passphrase(MNEMONIC_WALLET, "", "", None, v),
        "export_keystore": lambda: ext.export_keystore(
            KEY_WALLET, keystore_passphrase=password, vault_path_opt=v
        ),
        "import_keystore": _Creator(
            vault,
            lambda name, path: ext.import_keystore(name, keystore_text, password, None, path),
        ),
    }


def vault_operations(vault: Vault) -> dict:
    """Operation name -> callable, acting on `vault`. Creating operations are
    _Creator objects, whose tidy() must run after them."""
    v = vault.path
    return {
        "create_wallet": _Creator(
            vault, lambda name, path: native.create_wallet(name, vault_path_opt=path)
        ),
        "import_wallet_mnemonic": _Creator(
            vault,
            lambda name, path: native.import_wallet_mnemonic(name, MNEMONIC, vault_path_opt=path),
        ),
        "import_wallet_private_key": _Creator(
            vault,
            lambda name, path: native.import_wallet_private_key(
                name, PRIVATE_KEY_HEX, vault_path_opt=path
            ),
        ),
        "sign_message mnemonic": lambda: native.sign_message(
            MNEMONIC_WALLET, "ethereum", MESSAGE, vault_path_opt=v
        ),
        "sign_message private key": lambda: native.sign_message(
            KEY_WALLET, "ethereum", MESSAGE, vault_path_opt=v
        ),
        "sign_transaction mnemonic": lambda: native.sign_transaction(
            MNEMONIC_WALLET, "ethereum", TRANSACTION_HEX, vault_path_opt=v
        ),
        "sign_transaction private key": lambda: native.sign_transaction(
            KEY_WALLET, "ethereum", TRANSACTION_HEX, vault_path_opt=v
        ),
        "export_wallet": lambda: native.export_wallet(MNEMONIC_WALLET, vault_path_opt=v),
        "sign_typed_data private key": lambda: ext.sign_typed_data(
            KEY_WALLET, TYPED_DATA, vault_path_opt=v
        ),
        "get_wallet by id": lambda: native.get_wallet(vault.mnemonic_id, vault_path_opt=v),
        "get_wallet by name": lambda: native.get_wallet(MNEMONIC_WALLET, vault_path_opt=v),
        "list_wallets": lambda: native.list_wallets(vault_path_opt=v),
        "sign_message_standard mnemonic": lambda: ext.sign_message_standard(
            MNEMONIC_WALLET, "bitcoin", MESSAGE, "bip322-simple", vault_path_opt=v
        ),
    }


def tidy(operation) -> None:
    if isinstance(operation, _Creator):
        operation.tidy()
