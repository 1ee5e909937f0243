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


def ask_hidden(prompt: str) -> str:
    """Asks on the terminal with echo off; refuses rather than echo a secret."""
    with warnings.catch_warnings():
        # getpass falls back to echoing input when there is no terminal.
        warnings.simplefilter("error", getpass.GetPassWarning)
        try:
            return getpass.getpass(prompt)
        except getpass.GetPassWarning:
            raise CliError(
                "no terminal to ask on; use --passphrase-env NAME or --passphrase-stdin"
            ) from None
        except EOFError:
            raise CliError(f"input ended at the prompt {prompt.strip()!r}") from None


def read_line(what: str) -> str:
    """One line of standard input without its line ending."""
    line = sys.stdin.readline() if sys.stdin else ""
    if not line:
        raise CliError(f"expected the {what} on standard input")
    return line.removesuffix("\n")


def stdin_is_terminal() -> bool:
    return sys.stdin is not None and sys.stdin.isatty()


def read_secret(prompt: str, what: str) -> str:
    """A hidden prompt on a terminal, otherwise the next line of standard input."""
    return ask_hidden(prompt) if stdin_is_terminal() else read_line(what)


def passphrase(args: argparse.Namespace, *, confirm: bool = False) -> str:
    """The passphrase from --passphrase-env, --passphrase-stdin or a hidden prompt;
    with `confirm` the prompt asks twice, since a typo would seal the secret for good."""
    name: str | None = args.passphrase_env
    if name is not None:
        value = os.environ.get(name)
        if value is None:
            raise CliError(f"environment variable {name} is not set")
        return value
    if args.passphrase_stdin:
        return read_secret("Passphrase: ", "passphrase")
    first = ask_hidden("Passphrase: ")
    if confirm and ask_hidden("Repeat passphrase: ") != first:
        raise CliError("passphrases do not match")
    return first


def confirm(question: str) -> bool:
    """Asks a yes/no question on standard error; only "y" or "yes" is a yes."""
    sys.stderr.write(f"{question} [y/N] ")
    sys.stderr.flush()
    answer = sys.stdin.readline() if sys.stdin else ""
    return answer.strip().lower() in ("y", "yes")
