"""The command line grammar. Secrets have no options that carry them: they are
prompted for or read from standard input (see prompts)."""

import argparse

from oxa import __version__
from oxa._ext import chains
from oxa.cli import commands

type Subcommands = argparse._SubParsersAction[argparse.ArgumentParser]
type Parents = list[argparse.ArgumentParser]

CHAIN_HELP = (
    f"chain name ({', '.join(chain['name'] for chain in chains())}) or CAIP-2 id (eip155:1, ...)"
)
MAX_INDEX = 2**32 - 1


def unsigned_32(text: str) -> int:
    """An account index or a count: what the module takes as an unsigned 32-bit number."""
    value = int(text)
    if not 0 <= value <= MAX_INDEX:
        raise argparse.ArgumentTypeError(f"must be between 0 and {MAX_INDEX}")
    return value


def _json_option() -> argparse.ArgumentParser:
    options = argparse.ArgumentParser(add_help=False)
    options.add_argument("--json", action="store_true", help="print one JSON document")
    return options


def _common_options() -> argparse.ArgumentParser:
    common = argparse.ArgumentParser(add_help=False, parents=[_json_option()])
    common.add_argument("--vault", metavar="PATH", help="vault directory (default: ~/.oxa)")
    return common


def _passphrase_options() -> argparse.ArgumentParser:
    options = argparse.ArgumentParser(add_help=False)
    source = options.add_mutually_exclusive_group()
    source.add_argument(
        "--passphrase-env",
        metavar="NAME",
        help="take the passphrase from environment variable NAME",
    )
    source.add_argument(
        "--passphrase-stdin",
        action="store_true",
        help="read the passphrase from standard input (after any mnemonic or key)",
    )
    return options


def _secret_source_options(option: str, what: str) -> argparse.ArgumentParser:
    """--<option>-env NAME and --<option>-stdin, for a secret besides the passphrase."""
    options = argparse.ArgumentParser(add_help=False)
    source = options.add_mutually_exclusive_group()
    source.add_argument(
        f"--{option}-env", metavar="NAME", help=f"take the {what} from environment variable NAME"
    )
    source.add_argument(
        f"--{option}-stdin", action="store_true", help=f"read the {what} from standard input"
    )
    return options


def _command(
    group: Subcommands, name: str, run: commands.Command, help_text: str, parents: Parents
) -> argparse.ArgumentParser:
    parser = group.add_parser(name, parents=parents, help=help_text, description=help_text)
    parser.set_defaults(run=run)
    return parser


def _add_index(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--index", type=unsigned_32, metavar="I", help="account index (default 0)")


def _add_words(parser: argparse.ArgumentParser) -> None:
    parser.add_argument(
        "--words", type=int, choices=(12, 24), default=12, help="12 or 24 words (default 12)"
    )


def _add_chain(
    parser: argparse.ArgumentParser, *, required: bool = True, help_text: str = CHAIN_HELP
) -> None:
    parser.add_argument("--chain", required=required, help=help_text)


def _add_mnemonic_commands(top: Subcommands, plain: Parents) -> None:
    mnemonic = _command(top, "mnemonic", commands.mnemonic, "print a fresh BIP-39 mnemonic", plain)
    _add_words(mnemonic)
    derive = _command(
        top,
        "derive",
        commands.derive,
        "derive an address of a mnemonic read from a prompt or standard input",
        plain,
    )
    _add_chain(derive)
    _add_index(derive)
    _add_range(derive)


def _add_range(derive: argparse.ArgumentParser) -> None:
    derive.add_argument(
        "--start", type=unsigned_32, metavar="S", help="list accounts from index S (default 0)"
    )
    derive.add_argument(
        "--count", type=unsigned_32, metavar="N", help="list N accounts (1 to 1000; default 1)"
    )
    derive.add_argument(
        "--bip39-passphrase",
        choices=("prompt", "env", "stdin"),
        help="apply a BIP-39 passphrase, read from a hidden prompt, from the environment "
        "variable OXA_BIP39_PASSPHRASE, or from standard input after the mnemonic",
    )


def _add_import_commands(top: Subcommands, secret: Parents) -> None:
    kinds = top.add_parser(
        "import", help="import a wallet from a mnemonic or private keys"
    ).add_subparsers(metavar="KIND", required=True)
    mnemonic = _command(
        kinds,
        "mnemonic",
        commands.import_mnemonic,
        "import a mnemonic read from a prompt or standard input",
        secret,
    )
    mnemonic.add_argument("name", metavar="NAME")
    _add_index(mnemonic)
    key = _command(
        kinds,
        "key",
        commands.import_key,
        "import hex private keys read from a prompt or standard input; "
        "a curve without a key gets a random one",
        secret,
    )
    key.add_argument("name", metavar="NAME")
    _add_chain(
        key,
        required=False,
        help_text="chain whose curve the private key is for (default: secp256k1)",
    )
    key.add_argument(
        "--secp256k1-key-stdin",
        action="store_true",
        help="also read the secp256k1 key, after the private key",
    )
    key.add_argument(
        "--ed25519-key-stdin",
        action="store_true",
        help="also read the Ed25519 key, after the secp256k1 key; "
        "with both flags no other private key is read",
    )


def _add_wallet_commands(top: Subcommands, plain: Parents, secret: Parents) -> None:
    create = _command(
        top, "create", commands.create, "create a wallet from a fresh mnemonic", secret
    )
    create.add_argument("name", metavar="NAME")
    _add_words(create)
    _add_import_commands(top, secret)
    _command(top, "list", commands.list_wallets, "list the wallets of the vault", plain)
    show = _command(top, "show", commands.show, "show one wallet and its accounts", plain)
    show.add_argument("wallet", metavar="NAME_OR_ID")
    rename = _command(top, "rename", commands.rename, "rename a wallet", plain)
    rename.add_argument("wallet", metavar="NAME_OR_ID")
    rename.add_argument("new_name", metavar="NEW_NAME")
    delete = _command(top, "delete", commands.delete, "delete a wallet file", plain)
    delete.add_argument("wallet", metavar="NAME_OR_ID")
    delete.add_argument("--yes", action="store_true", help="do not ask for confirmation")
    export = _command(
        top, "export", commands.export, "print a wallet's secret (mnemonic or private keys)", secret
    )
    export.add_argument("wallet", metavar="NAME_OR_ID")


def _add_signing_commands(top: Subcommands, secret: Parents) -> None:
    kinds = top.add_parser(
        "sign", help="sign a message, typed data or a transaction"
    ).add_subparsers(metavar="WHAT", required=True)
    message = _command(kinds, "message", commands.sign_message, "sign a message", secret)
    message.add_argument("wallet", metavar="WALLET")
    message.add_argument("message", metavar="MESSAGE")
    message.add_argument("--encoding", help="utf8 (default) or hex")
    _add_standard(message, "sign under a message standard")
    tx = _command(kinds, "tx", commands.sign_tx, "sign a transaction given in hex", secret)
    send = _command(
        top,
        "send",
        commands.send,
        "sign a transaction given in hex and broadcast it (EVM and Solana)",
        secret,
    )
    send.add_argument("--rpc-url", metavar="URL", help="RPC endpoint (default: configured)")
    for parser in (tx, send):
        parser.add_argument("wallet", metavar="WALLET")
        parser.add_argument("tx_hex", metavar="TX_HEX")
    for parser in (message, tx, send):
        _add_chain(parser)
        _add_index(parser)
    typed_data = _command(
        kinds,
        "typed-data",
        commands.sign_typed_data,
        "sign EIP-712 typed data (an eth_signTypedData_v4 request) with the EVM key",
        secret,
    )
    typed_data.add_argument("wallet", metavar="WALLET")
    typed_data.add_argument(
        "file", metavar="FILE", help="the typed data as JSON; - reads standard input"
    )
    _add_index(typed_data)


def _add_standard(parser: argparse.ArgumentParser, what: str) -> None:
    parser.add_argument(
        "--standard",
        metavar="NAME",
        help=f"{what}: bip322-simple (bitcoin), adr036 (cosmos) or solana-offchain (solana)",
    )


def _add_checking_commands(top: Subcommands, output: Parents) -> None:
    verify = _command(
        top,
        "verify",
        commands.verify,
        "check a message signature against an address; exits 1 if it does not match",
        output,
    )
    recover = _command(
        top,
        "recover",
        commands.recover,
        "print the address that made a message signature (evm, bitcoin, cosmos, tron)",
        output,
    )
    for parser in (verify, recover):
        parser.add_argument("message", metavar="MESSAGE")
        parser.add_argument("signature", metavar="SIGNATURE")
        _add_chain(parser)
        parser.add_argument("--encoding", help="utf8 (default) or hex")
    verify.add_argument(
        "address", metavar="ADDRESS", help="the signer's address (TON: its public key in hex)"
    )
    _add_standard(verify, "a signature made under a message standard")


def _add_key_commands(top: Subcommands, secret: Parents) -> None:
    passwd = _command(
        top,
        "passwd",
        commands.passwd,
        "seal a wallet's secret under a new passphrase (asked twice)",
        [*secret, _secret_source_options("new-passphrase", "new passphrase")],
    )
    passwd.add_argument("wallet", metavar="NAME_OR_ID")
    passwd.add_argument(
        "--scrypt-log-n",
        type=unsigned_32,
        metavar="L",
        help="scrypt cost N = 2^L, 16 to 20 (default: the wallet's current cost)",
    )
    keystore_secret = [
        *secret,
        _secret_source_options("keystore-passphrase", "keystore passphrase"),
    ]
    _add_key_file_commands(
        top,
        "keystore",
        "Ethereum keystore files (version 3)",
        keystore_secret,
        (commands.keystore_export, "print a keystore of a wallet's EVM key"),
        (commands.keystore_import, "import the key of a keystore file as a private-key wallet"),
    )
    _add_key_file_commands(
        top,
        "solana-keypair",
        "Solana keypair files (solana-keygen's JSON array)",
        secret,
        (commands.solana_keypair_export, "print a wallet's Solana keypair"),
        (
            commands.solana_keypair_import,
            "import the key of a keypair file as a private-key wallet",
        ),
    )


def _add_key_file_commands(
    top: Subcommands,
    name: str,
    help_text: str,
    parents: Parents,
    export: tuple[commands.Command, str],
    imports: tuple[commands.Command, str],
) -> None:
    """`oxa NAME export WALLET [--index I]` and `oxa NAME import NAME FILE`."""
    actions = top.add_parser(name, help=help_text).add_subparsers(metavar="ACTION", required=True)
    exporting = _command(actions, "export", *export, parents)
    exporting.add_argument("wallet", metavar="NAME_OR_ID")
    _add_index(exporting)
    importing = _command(actions, "import", *imports, parents)
    importing.add_argument("name", metavar="NAME")
    importing.add_argument("file", metavar="FILE")


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="oxa", description="A local, multi-chain, non-custodial wallet store."
    )
    parser.add_argument("--version", action="version", version=f"oxa {__version__}")
    top = parser.add_subparsers(metavar="COMMAND", required=True)
    plain = [_common_options()]
    secret = [*plain, _passphrase_options()]
    _add_mnemonic_commands(top, plain)
    _add_wallet_commands(top, plain, secret)
    _add_signing_commands(top, secret)
    _add_checking_commands(top, [_json_option()])
    _add_key_commands(top, secret)
    demo = top.add_parser("demo", help="walk through oxa in a temporary vault")
    demo.set_defaults(run=commands.demo)
    return parser
