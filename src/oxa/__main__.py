"""``python -m oxa``: the same command as ``oxa``."""

import sys

from oxa.cli import main

if __name__ == "__main__":
    sys.exit(main())
