"""oxa: a local, multi-chain, non-custodial wallet store.

One BIP-39 mnemonic (or raw private keys) makes a universal wallet with an
account on each of six chain families: EVM, Solana, Bitcoin, Cosmos, Tron and
TON. Wallets are JSON files in a vault directory (default ``~/.oxa``) whose
secret is sealed with scrypt and AES-256-GCM.
"""

from oxa._native import InternalAbort, generate_mnemonic

__version__ = "0.1.0"

__all__ = [
    "InternalAbort",
    "generate_mnemonic",
]
