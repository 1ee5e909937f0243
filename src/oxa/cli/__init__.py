"""The ``oxa`` command: wallets, signing and broadcasting from a shell.

Failures print one line "oxa: <text>" on standard error and exit 1; usage
errors exit 2; Ctrl-C exits 130.
"""

import argparse
import os
import sys
from collections.abc import Sequence

from oxa import InternalAbort
from oxa.cli.errors import CliError
from oxa.cli.parser import build_parser
from oxa.cli.prompts import require_utf8

INTERRUPTED_EXIT = 130
BROKEN_PIPE_EXIT = 141  # what a shell reports for a tool stopped by SIGPIPE


def _parse(argv: Sequence[str] | None) -> argparse.Namespace:
    args = build_parser().parse_args(argv)
    for value in vars(args).values():
        if isinstance(value, str):
            require_utf8(value, "the command line")
    return args


def main(argv: Sequence[str] | None = None) -> int:
    try:
        args = _parse(argv)
        status: int | None = args.run(args)
    except KeyboardInterrupt:
        print(file=sys.stderr)  # end the line the prompt left open
        return INTERRUPTED_EXIT
    except BrokenPipeError:
        # The reader left (`oxa list | head -1`): not worth a message. Point stdout
        # at /dev/null so the interpreter's final flush cannot fail again.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return BROKEN_PIPE_EXIT
    except (CliError, RuntimeError, InternalAbort) as error:
        # Module texts are shown verbatim; only the newline curl's text ends with is dropped.
        text = str(error).rstrip("\n")
        print(f"oxa: {text}", file=sys.stderr)
        return 1
    return status or 0
