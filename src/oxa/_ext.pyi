"""Type stubs of the extension module oxa._ext: the functions of oxa beyond
the thirteen of oxa._native, with the same conventions (RuntimeError with the
operation's message, TypeError and OverflowError for refused arguments)."""

from oxa._native import InternalAbort as InternalAbort
from oxa.results import ChainDict as ChainDict
from oxa.results import FamilyDict as FamilyDict

def chains() -> list[ChainDict]: ...
def families() -> list[FamilyDict]: ...
