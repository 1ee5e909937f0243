"""The ``oxa`` command: wallets, signing and broadcasting from a shell.

Failures print one line "oxa: <text>" on standard error and exit 1; usage
errors exit 2; Ctrl-C exits 130.
"""

import sys
from collections.abc import Sequence

from oxa import InternalAbort
from oxa.cli.errors import CliError
from oxa.cli.parser import build_parser

INTERRUPTED_EXIT = 130


def main(argv: Sequence[str] | None = None) -> int:
    try:
        args = build_parser().parse_args(argv)
        args.run(args)
    except KeyboardInterrupt:
        print(file=sys.stderr)  # end the line the prompt left open
        return INTERRUPTED_EXIT
    except (CliError, RuntimeError, InternalAbort) as error:
        # Module texts are shown verbatim; only the newline curl's text ends with is dropped.
        text = str(error).rstrip("\n")
        print(f"oxa: {text}", file=sys.stderr)
        return 1
    return 0
