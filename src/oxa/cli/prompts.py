"""Secrets and answers come from the terminal, an environment variable or
standard input, never from the command line, where other users can read them.

Standard input carries one value a line, in the order a command reads them:
the mnemonic or keys first, then the passphrase.
"""

import argparse
import getpass
import os
import sys
import warnings

from oxa.cli.errors import CliError


def require_utf8(text: str, source: str) -> str:
    """The module takes only text that encodes as UTF-8; bytes that did not
    decode reach Python as lone surrogates."""
    try:
        text.encode()
    except UnicodeEncodeError:
        raise CliError(f"{source} is not valid UTF-8") from None
    return text


PASSPHRASE_OPTIONS = "--passphrase-env NAME or --passphrase-stdin"
BIP39_PASSPHRASE_ENV = "OXA_BIP39_PASSPHRASE"


def ask_hidden(prompt: str, options: str = PASSPHRASE_OPTIONS) -> str:
    """Asks on the terminal with echo off; refuses rather than echo a secret,
    naming the `options` that give the value another way."""
    with warnings.catch_warnings():
        # getpass falls back to echoing input when there is no terminal.
        warnings.simplefilter("error", getpass.GetPassWarning)
        try:
            return getpass.getpass(prompt)
        except getpass.GetPassWarning:
            raise CliError(f"no terminal to ask on; use {options}") from None
        except EOFError:
            raise CliError(f"input ended at the prompt {prompt.strip()!r}") from None
        except UnicodeDecodeError:
            raise CliError("the terminal's input is not valid UTF-8") from None


def _next_line() -> str:
    """The next line of standard input, or "" at its end."""
    if sys.stdin is None:
        return ""
    try:
        line = sys.stdin.readline()
    except UnicodeDecodeError:
        raise CliError("standard input is not valid UTF-8") from None
    return require_utf8(line, "standard input")


def read_line(what: str) -> str:
    """One line of standard input without its line ending."""
    line = _next_line()
    if not line:
        raise CliError(f"expected the {what} on standard input")
    return line.removesuffix("\n")


def read_file(path: str) -> str:
    """The whole text of the file at `path`, or of standard input for "-"."""
    if path == "-":
        if sys.stdin is None:
            return ""
        try:
            return require_utf8(sys.stdin.read(), "standard input")
        except UnicodeDecodeError:
            raise CliError("standard input is not valid UTF-8") from None
    try:
        with open(path, encoding="utf-8") as file:
            return file.read()
    except UnicodeDecodeError:
        raise CliError(f"{path} is not valid UTF-8") from None
    except OSError as error:
        raise CliError(f"cannot read {path}: {error.strerror}") from None


def stdin_is_terminal() -> bool:
    return sys.stdin is not None and sys.stdin.isatty()


def read_secret(prompt: str, what: str) -> str:
    """A hidden prompt on a terminal, otherwise the next line of standard input."""
    return ask_hidden(prompt) if stdin_is_terminal() else read_line(what)


def from_environment(name: str) -> str:
    value = os.environ.get(name)
    if value is None:
        raise CliError(f"environment variable {name} is not set")
    return require_utf8(value, f"environment variable {name}")


def _one_of_three(args: argparse.Namespace, option: str, what: str, *, confirm: bool) -> str:
    """The value of the --<option>-env NAME / --<option>-stdin pair, or a hidden
    prompt; with `confirm` the prompt asks twice, since a typo in a passphrase
    that seals a secret would lock it away for good."""
    flag = option.replace("-", "_")
    name: str | None = getattr(args, f"{flag}_env")
    if name is not None:
        return from_environment(name)
    prompt = f"{what[0].upper()}{what[1:]}: "
    if getattr(args, f"{flag}_stdin"):
        return read_secret(prompt, what)
    first = ask_hidden(prompt, f"--{option}-env NAME or --{option}-stdin")
    if confirm and ask_hidden(f"Repeat {what}: ") != first:
        raise CliError(f"{what}s do not match")
    return first


def passphrase(args: argparse.Namespace, *, confirm: bool = False) -> str:
    """The wallet passphrase from --passphrase-env, --passphrase-stdin or a hidden prompt."""
    return _one_of_three(args, "passphrase", "passphrase", confirm=confirm)


def new_passphrase(args: argparse.Namespace) -> str:
    """The passphrase that will seal a wallet from now on, asked twice at a prompt."""
    return _one_of_three(args, "new-passphrase", "new passphrase", confirm=True)


def keystore_passphrase(args: argparse.Namespace, *, confirm: bool = False) -> str:
    """The passphrase of an Ethereum keystore file."""
    return _one_of_three(args, "keystore-passphrase", "keystore passphrase", confirm=confirm)


def bip39_passphrase(args: argparse.Namespace) -> str | None:
    """The optional BIP-39 passphrase ("25th word") from a hidden prompt, the
    environment variable OXA_BIP39_PASSPHRASE or standard input; None without one."""
    source: str | None = args.bip39_passphrase
    if source == "prompt":
        return ask_hidden("BIP-39 passphrase: ", "--bip39-passphrase env or stdin")
    if source == "env":
        return from_environment(BIP39_PASSPHRASE_ENV)
    if source == "stdin":
        return read_line("BIP-39 passphrase")
    return None


def confirm(question: str) -> bool:
    """Asks a yes/no question on standard error; only "y" or "yes" is a yes."""
    sys.stderr.write(f"{question} [y/N] ")
    sys.stderr.flush()
    try:
        answer = _next_line()
    finally:
        if not stdin_is_terminal():
            sys.stderr.write("\n")  # no echoed answer closes the line
    return answer.strip().lower() in ("y", "yes")
