"""The reference points every figure is divided by, and the peer libraries.

Each factory returns a callable that performs one measured unit of work; the
set-up it needs (keystores, seeds) is done before it returns.
"""

import hashlib
import json
import os
import subprocess

from workload import MESSAGE, MNEMONIC, PRIVATE_KEY_HEX

SCRYPT_N, SCRYPT_R, SCRYPT_P, SCRYPT_BYTES = 1 << 16, 8, 1, 32
SCRYPT_MAXMEM_BYTES = 256 * 1024 * 1024
PASSWORD = b"benchmark passphrase"


class ReferenceProgram:
    """A C++ reference program that stays alive between calls: each line it is
    sent is one unit of work, answered with the seconds that work took."""

    def __init__(self, program: str):
        self._process = subprocess.Popen(
            [program], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1
        )

    def timed_call(self, line: str) -> float:
        self._process.stdin.write(line + "\n")
        self._process.stdin.flush()
        answer = self._process.stdout.readline()
        if not answer:
            raise RuntimeError("a reference program stopped")
        return float(answer)

    def close(self) -> tuple[int, int]:
        """Ends the program; its resident size in KiB before the first call, and its peak."""
        out, _ = self._process.communicate()
        if self._process.returncode != 0:
            raise RuntimeError("a reference program failed")
        _, before, after = out.split()
        return int(before), int(after)


def hashlib_scrypt():
    return lambda: hashlib.scrypt(
        PASSWORD,
        salt=os.urandom(32),
        n=SCRYPT_N,
        r=SCRYPT_R,
        p=SCRYPT_P,
        maxmem=SCRYPT_MAXMEM_BYTES,
        dklen=SCRYPT_BYTES,
    )


def pbkdf2_2048():
    """What one BIP-39 seed costs: PBKDF2-HMAC-SHA512, 2048 rounds, 64 bytes."""
    phrase = MNEMONIC.encode()
    return lambda: hashlib.pbkdf2_hmac("sha512", phrase, b"mnemonic", 2048, 64)


def plain_listing(wallets_dir: str):
    """list_wallets as a Python programmer would write it."""

    def run():
        wallets = []
        for entry in os.scandir(wallets_dir):
            if entry.name.endswith(".json") and entry.is_file():
                with open(entry.path, encoding="utf-8") as f:
                    wallets.append(json.load(f))
        wallets.sort(key=lambda wallet: wallet["created_at"])
        return wallets

    return run


def raw_read(wallets_dir: str):
    """Only the reading of the same files: the floor under any listing."""

    def run():
        total = 0
        for entry in os.scandir(wallets_dir):
            if entry.name.endswith(".json"):
                with open(entry.path, "rb") as f:
                    total += len(f.read())
        return total

    return run


def make_keystore() -> dict:
    """A Web3 Secret Storage keystore of the benchmark key, with the vault's scrypt parameters."""
    from eth_keyfile import create_keyfile_json

    keystore = create_keyfile_json(
        bytes.fromhex(PRIVATE_KEY_HEX), PASSWORD, kdf="scrypt", iterations=SCRYPT_N
    )
    params = keystore["crypto"]["kdfparams"]
    assert (params["n"], params["r"], params["p"]) == (SCRYPT_N, SCRYPT_R, SCRYPT_P), params
    return keystore


def eth_account_open_and_sign(keystore: dict):
    """Decrypts the keystore and signs an EIP-191 message with its key."""
    from eth_account import Account
    from eth_account.messages import encode_defunct

    message = encode_defunct(text=MESSAGE)

    def run():
        key = Account.decrypt(keystore, PASSWORD)
        return Account.sign_message(message, private_key=key)

    return run


def bip_utils_six_addresses():
    """The six account addresses of a mnemonic wallet, derived by bip-utils."""
    from bip_utils import (
        Bip39SeedGenerator,
        Bip44,
        Bip44Changes,
        Bip44Coins,
        Bip84,
        Bip84Coins,
        TonAddrEncoder,
        TonAddrVersions,
    )

    def bip44_account(seed, coin):
        return Bip44.FromSeed(seed, coin).Purpose().Coin().Account(0)

    def run():
        seed = Bip39SeedGenerator(MNEMONIC).Generate()
        external = Bip44Changes.CHAIN_EXT
        ton_key = bip44_account(seed, Bip44Coins.TON).PublicKey().Bip32Key().KeyObject()
        return [
            bip44_account(seed, Bip44Coins.ETHEREUM)
            .Change(external)
            .AddressIndex(0)
            .PublicKey()
            .ToAddress(),
            bip44_account(seed, Bip44Coins.SOLANA).Change(external).PublicKey().ToAddress(),
            Bip84.FromSeed(seed, Bip84Coins.BITCOIN)
            .Purpose()
            .Coin()
            .Account(0)
            .Change(external)
            .AddressIndex(0)
            .PublicKey()
            .ToAddress(),
            bip44_account(seed, Bip44Coins.COSMOS)
            .Change(external)
            .AddressIndex(0)
            .PublicKey()
            .ToAddress(),
            bip44_account(seed, Bip44Coins.TRON)
            .Change(external)
            .AddressIndex(0)
            .PublicKey()
            .ToAddress(),
            TonAddrEncoder.EncodeKey(ton_key, version=TonAddrVersions.V5R1),
        ]

    return run


def eth_account_encrypt():
    """A keystore of the benchmark key with the vault's scrypt parameters."""
    from eth_account import Account

    return lambda: Account.encrypt(PRIVATE_KEY_HEX, PASSWORD, kdf="scrypt", iterations=SCRYPT_N)


def eth_account_decrypt(keystore: dict):
    from eth_account import Account

    return lambda: Account.decrypt(keystore, PASSWORD)


def bip_utils_evm_addresses(count: int):
    """The first `count` EVM addresses of a mnemonic, one seed for all, by bip-utils."""
    from bip_utils import Bip39SeedGenerator, Bip44, Bip44Changes, Bip44Coins

    def run():
        seed = Bip39SeedGenerator(MNEMONIC).Generate()
        external = (
            Bip44.FromSeed(seed, Bip44Coins.ETHEREUM)
            .Purpose()
            .Coin()
            .Account(0)
            .Change(Bip44Changes.CHAIN_EXT)
        )
        return [external.AddressIndex(i).PublicKey().ToAddress() for i in range(count)]

    return run
