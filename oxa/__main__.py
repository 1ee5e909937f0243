"""Command line entry: ``python -m oxa demo``."""

import sys

from oxa.demo import run_demo


def main(argv: list[str]) -> int:
    if argv[1:] == ["demo"]:
        return run_demo()
    print("usage: python -m oxa demo", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
