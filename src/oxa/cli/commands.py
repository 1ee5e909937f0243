"""One function per command: gather the input, call one module function, print
the result. Module errors propagate untouched; main() reports them."""

import argparse
import json
import pathlib
import sys
from collections.abc import Callable

from oxa import _ext as ext
from oxa import _native as native
from oxa.cli import prompts
from oxa.cli.demo import run_demo
from oxa.cli.errors import CliError
from oxa.cli.render import (
    derived_addresses_text,
    emit,
    signature_text,
    wallet_list_text,
    wallet_text,
)

# A command's exit status, when it is not simply 0.
type Command = Callable[[argparse.Namespace], int | None]

NOT_MATCHING_EXIT = 1

BACKUP_HINT = "Back up its recovery phrase (oxa export) and keep it offline."
EXPORT_WARNING = (
    "warning: the secret below controls every account of this wallet; "
    "anyone who sees it can take the funds"
)


def _secret_line(prompt: str, what: str) -> str:
    # A pasted phrase or key often carries stray blanks; they are never part of it.
    return prompts.read_secret(prompt, what).strip()


def mnemonic(args: argparse.Namespace) -> None:
    phrase = native.generate_mnemonic(args.words)
    emit(args.json, {"mnemonic": phrase}, phrase)


def derive(args: argparse.Namespace) -> None:
    ranged = args.start is not None or args.count is not None
    if ranged and args.index is not None:
        raise CliError("--index cannot be combined with --start or --count")
    phrase = _secret_line("Mnemonic: ", "mnemonic")
    bip39_passphrase = prompts.bip39_passphrase(args)
    if ranged:
        count = 1 if args.count is None else args.count
        addresses = ext.derive_addresses(
            phrase, args.chain, args.start or 0, count, bip39_passphrase
        )
        emit(args.json, addresses, derived_addresses_text(addresses))
        return
    # One account: only derive_addresses takes a BIP-39 passphrase.
    if bip39_passphrase is None:
        address = native.derive_address(phrase, args.chain, args.index)
    else:
        (account,) = ext.derive_addresses(phrase, args.chain, args.index or 0, 1, bip39_passphrase)
        address = account["address"]
    emit(args.json, {"address": address}, address)


def create(args: argparse.Namespace) -> None:
    passphrase = prompts.passphrase(args, confirm=True)
    wallet = native.create_wallet(args.name, passphrase, args.words, args.vault)
    emit(args.json, wallet, f"{wallet_text(wallet)}\n\n{BACKUP_HINT}")


def import_mnemonic(args: argparse.Namespace) -> None:
    phrase = _secret_line("Mnemonic: ", "mnemonic")
    passphrase = prompts.passphrase(args, confirm=True)
    wallet = native.import_wallet_mnemonic(args.name, phrase, passphrase, args.index, args.vault)
    emit(args.json, wallet, wallet_text(wallet))


def import_key(args: argparse.Namespace) -> None:
    # With both curves' keys given the module ignores the main key, so it is not asked.
    both = args.secp256k1_key_stdin and args.ed25519_key_stdin
    private_key = "" if both else _secret_line("Private key (hex): ", "private key")
    secp256k1_key = (
        _secret_line("secp256k1 private key (hex): ", "secp256k1 key")
        if args.secp256k1_key_stdin
        else None
    )
    ed25519_key = (
        _secret_line("Ed25519 private key (hex): ", "Ed25519 key")
        if args.ed25519_key_stdin
        else None
    )
    passphrase = prompts.passphrase(args, confirm=True)
    wallet = native.import_wallet_private_key(
        args.name, private_key, args.chain, passphrase, args.vault, secp256k1_key, ed25519_key
    )
    emit(args.json, wallet, wallet_text(wallet))


def list_wallets(args: argparse.Namespace) -> None:
    wallets = native.list_wallets(args.vault)
    emit(args.json, wallets, wallet_list_text(wallets))


def show(args: argparse.Namespace) -> None:
    wallet = native.get_wallet(args.wallet, args.vault)
    emit(args.json, wallet, wallet_text(wallet))


def rename(args: argparse.Namespace) -> None:
    # Renaming by id keeps to the wallet resolved here even if the new name is
    # another wallet's id.
    wallet = native.get_wallet(args.wallet, args.vault)
    native.rename_wallet(wallet["id"], args.new_name, args.vault)
    wallet["name"] = args.new_name
    emit(args.json, wallet, wallet_text(wallet))


def delete(args: argparse.Namespace) -> None:
    wallet = native.get_wallet(args.wallet, args.vault)
    question = (
        f"Delete wallet '{wallet['name']}' ({wallet['id']})? "
        "Without a backup of its secret the funds are lost."
    )
    if not args.yes and not prompts.confirm(question):
        raise CliError("not deleted")
    native.delete_wallet(wallet["id"], args.vault)
    emit(args.json, {"deleted": wallet}, f"deleted wallet '{wallet['name']}' ({wallet['id']})")


def export(args: argparse.Namespace) -> None:
    passphrase = prompts.passphrase(args)
    secret = native.export_wallet(args.wallet, passphrase, args.vault)
    print(EXPORT_WARNING, file=sys.stderr)
    emit(args.json, {"secret": secret}, secret)


def sign_message(args: argparse.Namespace) -> None:
    passphrase = prompts.passphrase(args)
    if args.standard is None:
        signature = native.sign_message(
            args.wallet, args.chain, args.message, passphrase, args.encoding, args.index, args.vault
        )
    else:
        signature = ext.sign_message_standard(
            args.wallet,
            args.chain,
            args.message,
            args.standard,
            passphrase,
            args.index,
            args.encoding,
            args.vault,
        )
    emit(args.json, signature, signature_text(signature))


def sign_tx(args: argparse.Namespace) -> None:
    passphrase = prompts.passphrase(args)
    signature = native.sign_transaction(
        args.wallet, args.chain, args.tx_hex, passphrase, args.index, args.vault
    )
    emit(args.json, signature, signature_text(signature))


def sign_typed_data(args: argparse.Namespace) -> None:
    if args.file == "-" and args.passphrase_stdin:
        raise CliError(
            "standard input cannot carry both the typed data and the passphrase; "
            "use --passphrase-env NAME"
        )
    typed_data = prompts.read_file(args.file)
    # A document that cannot be signed is refused before the passphrase is asked.
    ext.hash_typed_data(typed_data)
    passphrase = prompts.passphrase(args)
    signature = ext.sign_typed_data(args.wallet, typed_data, passphrase, args.index, args.vault)
    emit(args.json, signature, signature_text(signature))


def send(args: argparse.Namespace) -> None:
    passphrase = prompts.passphrase(args)
    sent = native.sign_and_send(
        args.wallet, args.chain, args.tx_hex, passphrase, args.index, args.rpc_url, args.vault
    )
    emit(args.json, sent, sent["tx_hash"])


def verify(args: argparse.Namespace) -> int:
    if args.standard is None:
        valid = ext.verify_message(
            args.chain, args.message, args.signature, args.address, args.encoding
        )
    else:
        valid = ext.verify_message_standard(
            args.chain, args.message, args.signature, args.address, args.standard, args.encoding
        )
    emit(args.json, {"valid": valid}, "valid" if valid else "invalid")
    return 0 if valid else NOT_MATCHING_EXIT


def recover(args: argparse.Namespace) -> None:
    address = ext.recover_address(args.chain, args.message, args.signature, args.encoding)
    emit(args.json, {"address": address}, address)


def _read_file(path: str) -> str:
    try:
        return pathlib.Path(path).read_text(encoding="utf-8")
    except OSError as error:
        raise CliError(f"cannot read {path}: {error.strerror}") from None
    except UnicodeDecodeError:
        raise CliError(f"{path} is not valid UTF-8") from None


def passwd(args: argparse.Namespace) -> None:
    # Resolved first: a wrong name fails before any passphrase is asked.
    wallet = native.get_wallet(args.wallet, args.vault)
    old = prompts.passphrase(args)
    new = prompts.new_passphrase(args)
    ext.change_passphrase(wallet["id"], old, new, args.scrypt_log_n, args.vault)
    emit(
        args.json,
        {"changed": wallet},
        f"passphrase changed for wallet '{wallet['name']}' ({wallet['id']})",
    )


def keystore_export(args: argparse.Namespace) -> None:
    passphrase = prompts.passphrase(args)
    keystore_passphrase = prompts.keystore_passphrase(args, confirm=True)
    keystore = ext.export_keystore(
        args.wallet,
        passphrase,
        keystore_passphrase=keystore_passphrase,
        index=args.index,
        vault_path_opt=args.vault,
    )
    emit(args.json, {"keystore": json.loads(keystore)}, keystore)


def keystore_import(args: argparse.Namespace) -> None:
    keystore = _read_file(args.file)
    keystore_passphrase = prompts.keystore_passphrase(args)
    passphrase = prompts.passphrase(args, confirm=True)
    wallet = ext.import_keystore(args.name, keystore, keystore_passphrase, passphrase, args.vault)
    emit(args.json, wallet, wallet_text(wallet))


def solana_keypair_export(args: argparse.Namespace) -> None:
    passphrase = prompts.passphrase(args)
    keypair = ext.export_solana_keypair(args.wallet, passphrase, args.index, args.vault)
    print(EXPORT_WARNING, file=sys.stderr)
    emit(args.json, {"keypair": json.loads(keypair)}, keypair)


def solana_keypair_import(args: argparse.Namespace) -> None:
    keypair = _read_file(args.file)
    passphrase = prompts.passphrase(args, confirm=True)
    wallet = ext.import_solana_keypair(args.name, keypair, passphrase, args.vault)
    emit(args.json, wallet, wallet_text(wallet))


def demo(args: argparse.Namespace) -> None:
    run_demo()
