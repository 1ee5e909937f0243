"""The shapes of the dicts that oxa's functions return, for type checkers.

They are plain dicts at run time; these TypedDicts only describe their keys.
"""

from typing import TypedDict


class AccountDict(TypedDict):
    """One account of a wallet: a CAIP-2 chain, an address and its key's path."""

    chain_id: str
    address: str
    derivation_path: str  # empty for wallets imported from private keys


class WalletDict(TypedDict):
    """The plain part of a wallet file; never holds a secret."""

    id: str
    name: str
    accounts: list[AccountDict]  # evm, solana, bitcoin, cosmos, tron, ton
    created_at: str  # RFC 3339, UTC


class SignatureDict(TypedDict):
    signature: str  # lowercase hex, no prefix
    recovery_id: int | None  # None where the chain's signer gives none


class BroadcastDict(TypedDict):
    tx_hash: str


class ChainDict(TypedDict):
    """A known chain and the endpoint used when none is configured."""

    name: str
    chain_id: str  # CAIP-2
    family: str
    default_rpc: str


class FamilyDict(TypedDict):
    """A chain family: its default chain, its curve and the path of account 0."""

    family: str
    chain: str
    chain_id: str
    curve: str  # "secp256k1" or "ed25519"
    derivation_path: str


class DerivedAddressDict(TypedDict):
    """One account of a mnemonic: its index, address and derivation path."""

    index: int
    address: str
    derivation_path: str
