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


def passphrase(args: argparse.Namespace, *, confirm: bool = False) -> str:
    """The passphrase from --passphrase-env, --passphrase-stdin or a hidden prompt;
    with `confirm` the prompt asks twice, since a typo would seal the secret for good."""
    name: str | None = args.passphrase_env
    if name is not None:
        value = os.environ.get(name)
        if value is None:
            raise CliError(f"environment variable {name} is not set")
        return require_utf8(value, f"environment variable {name}")
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
    try:
        answer = _next_line()
    finally:
        if not stdin_is_terminal():
            sys.stderr.write("\n")  # no echoed answer closes the line
    return answer.strip().lower() in ("y", "yes")
