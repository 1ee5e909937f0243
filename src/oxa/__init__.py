"""oxa: a local, multi-chain, non-custodial wallet store.

One BIP-39 mnemonic (or raw private keys) makes a universal wallet with an
account on each of six chain families: EVM, Solana, Bitcoin, Cosmos, Tron and
TON. Wallets are JSON files in a vault directory (default ``~/.oxa``) whose
secret is sealed with scrypt and AES-256-GCM. Every function raises
``RuntimeError`` with the operation's message when it fails.
"""

from oxa._ext import (
    chains,
    change_passphrase,
    derive_addresses,
    export_keystore,
    export_solana_keypair,
    families,
    hash_typed_data,
    import_keystore,
    import_solana_keypair,
    recover_address,
    sign_message_standard,
    sign_typed_data,
    verify_message,
    verify_message_standard,
    verify_typed_data,
)
from oxa._native import (
    InternalAbort,
    create_wallet,
    delete_wallet,
    derive_address,
    export_wallet,
    generate_mnemonic,
    get_wallet,
    import_wallet_mnemonic,
    import_wallet_private_key,
    list_wallets,
    rename_wallet,
    sign_and_send,
    sign_message,
    sign_transaction,
)
from oxa.results import (
    AccountDict,
    BroadcastDict,
    ChainDict,
    DerivedAddressDict,
    FamilyDict,
    SignatureDict,
    WalletDict,
)

__version__ = "0.1.0"

__all__ = [
    "AccountDict",
    "BroadcastDict",
    "ChainDict",
    "DerivedAddressDict",
    "FamilyDict",
    "InternalAbort",
    "SignatureDict",
    "WalletDict",
    "chains",
    "change_passphrase",
    "create_wallet",
    "delete_wallet",
    "derive_address",
    "derive_addresses",
    "export_keystore",
    "export_solana_keypair",
    "export_wallet",
    "families",
    "generate_mnemonic",
    "get_wallet",
    "hash_typed_data",
    "import_keystore",
    "import_solana_keypair",
    "import_wallet_mnemonic",
    "import_wallet_private_key",
    "list_wallets",
    "recover_address",
    "rename_wallet",
    "sign_and_send",
    "sign_message",
    "sign_message_standard",
    "sign_transaction",
    "sign_typed_data",
    "verify_message",
    "verify_message_standard",
    "verify_typed_data",
]
