"""The system calls of the vault's writes, recorded (and failed on purpose) with strace.

What makes a save survive a crash, and a failure be reported, is the order
and the flags of these calls, which no file left on disk shows."""

import dataclasses
import os
import pathlib
import re
import shutil
import subprocess
import sys
import textwrap

import pytest

import oxa._native as native
from conftest import ABANDON_PHRASE


def strace_can_trace() -> bool:
    if shutil.which("strace") is None:
        return False
    # ptrace may be refused (containers, Yama): then strace cannot start its child.
    probe = subprocess.run(["strace", "-qq", "-o", "/dev/null", "true"], capture_output=True)
    return probe.returncode == 0


pytestmark = pytest.mark.skipif(
    not strace_can_trace(), reason="strace is not installed or may not trace here"
)

TRACED = (
    "open,openat,creat,mkdir,mkdirat,chmod,fchmod,fchmodat,write,pwrite64,writev,"
    "fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat,flock,close"
)

# Runs the operations given as "verb:wallet name" and prints "ok" or the
# error text for each; the traced process does nothing else.
OPERATIONS = textwrap.dedent(
    """
    import sys, oxa._native as n
    vault = sys.argv[1]
    for operation in sys.argv[2:]:
        verb, name = operation.split(":")
        try:
            if verb == "create":
                n.create_wallet(name, vault_path_opt=vault)
            elif verb == "rename":
                n.rename_wallet(name, name + "-renamed", vault_path_opt=vault)
            elif verb == "delete":
                n.delete_wallet(name, vault_path_opt=vault)
            else:
                n.list_wallets(vault)
            print("ok")
        except RuntimeError as error:
            print(error)
    """
)


@dataclasses.dataclass
class Call:
    name: str
    args: str
    result: str

    def paths(self) -> list[str]:
        """The quoted path arguments, then the paths strace shows for descriptors."""
        return re.findall(r'"([^"]*)"', self.args) + re.findall(r"\d+<([^>]*)>", self.args)

    def returned_path(self) -> str:
        found = re.match(r"\d+<([^>]*)>", self.result)
        return found.group(1) if found else ""


# "1234 name(args) = result", the pid first since the children are followed.
LINE = re.compile(r"^\d+\s+(\w+)\((.*)\)\s+=\s+(.*)$")


def traced(tmp_path, vault: str, *operations: str, inject: str = ""):
    log = tmp_path / "trace.log"
    command = ["strace", "-f", "-qq", "-y", "-s", "4096", "-e", f"trace={TRACED}"]
    command += ["-e", "signal=none", "-o", str(log)]
    if inject:
        command += ["-e", f"inject={inject}"]
    # Sanitizer runs preload their runtimes for Python; strace is not built for them.
    environment = dict(os.environ)
    if preload := environment.pop("LD_PRELOAD", ""):
        command += ["-E", f"LD_PRELOAD={preload}"]
    command += [sys.executable, "-P", "-c", OPERATIONS, vault, *operations]
    result = subprocess.run(command, capture_output=True, text=True, check=True, env=environment)
    calls = [Call(*m.groups()) for m in map(LINE.match, log.read_text().splitlines()) if m]
    return result, calls


RENAMES = ("rename", "renameat", "renameat2")


def last_argument(call: Call) -> str:
    return call.args.rsplit(", ", 1)[1]


def write_steps(calls: list[Call], wallets: pathlib.Path) -> list[str]:
    """The writing calls on the wallets directory and on what is in it, as
    short labels; consecutive writes count as one step."""
    steps: list[str] = []
    temporary = ""
    for call in calls:
        paths = call.paths()
        inside = [p for p in paths if pathlib.Path(p).parent == wallets]
        if call.name in ("open", "openat") and "O_CREAT" in call.args and inside:
            temporary = call.returned_path()
            flags = sorted(call.args.split(", ")[-2].split("|"))
            steps.append(
                f"open {pathlib.Path(temporary).name} {'|'.join(flags)} {last_argument(call)}"
            )
        elif temporary and temporary in paths and call.name not in RENAMES:
            step = f"{call.name} temporary"
            if call.name == "fchmod":
                step += f" {last_argument(call)}"
            if not (steps and steps[-1] == step == "write temporary"):
                steps.append(step)
        elif call.name in RENAMES and inside:
            steps.append(f"rename temporary -> {pathlib.Path(paths[1]).name}")
            temporary = ""
        elif call.name in ("unlink", "unlinkat") and inside:
            steps.append(f"unlink {pathlib.Path(inside[0]).name}")
        elif call.name in ("fsync", "fdatasync") and str(wallets) in paths:
            steps.append("fsync directory")
    return steps


def without_temporary_name(steps: list[str]) -> list[str]:
    return [re.sub(r"^open \.[0-9a-f]{16}\.tmp ", "open temporary ", s) for s in steps]


SAVE = [
    "open temporary O_CLOEXEC|O_CREAT|O_EXCL|O_WRONLY 0600",
    "fchmod temporary 0600",
    "write temporary",
    "fsync temporary",
    "close temporary",
]


def only_wallet(vault: str) -> dict:
    (wallet,) = native.list_wallets(vault)
    return wallet


def test_a_save_writes_syncs_and_renames_a_fresh_file_then_syncs_the_directory(tmp_path):
    vault = str(tmp_path / "vault")
    wallets = tmp_path / "vault" / "wallets"
    native.list_wallets(vault)
    result, calls = traced(tmp_path, vault, "create:new")
    assert result.stdout == "ok\n"
    steps = write_steps(calls, wallets)
    assert re.fullmatch(r"open \.[0-9a-f]{16}\.tmp .*", steps[0])
    created = only_wallet(vault)["id"]
    assert without_temporary_name(steps) == [
        *SAVE,
        f"rename temporary -> {created}.json",
        "fsync directory",
    ]


def test_a_rename_rewrites_the_wallets_file_the_same_way(tmp_path):
    vault = str(tmp_path / "vault")
    info = native.import_wallet_mnemonic("w", ABANDON_PHRASE, vault_path_opt=vault)
    result, calls = traced(tmp_path, vault, "rename:w")
    assert result.stdout == "ok\n"
    assert without_temporary_name(write_steps(calls, tmp_path / "vault" / "wallets")) == [
        *SAVE,
        f"rename temporary -> {info['id']}.json",
        "fsync directory",
    ]


def test_a_delete_unlinks_then_syncs_the_directory(tmp_path):
    vault = str(tmp_path / "vault")
    info = native.import_wallet_mnemonic("w", ABANDON_PHRASE, vault_path_opt=vault)
    result, calls = traced(tmp_path, vault, "delete:w")
    assert result.stdout == "ok\n"
    assert write_steps(calls, tmp_path / "vault" / "wallets") == [
        f"unlink {info['id']}.json",
        "fsync directory",
    ]


def test_missing_directories_are_made_owner_only_from_the_start(tmp_path):
    vault = tmp_path / "a" / "b" / "vault"
    result, calls = traced(tmp_path, str(vault), "list:")
    assert result.stdout == "ok\n"
    # Under the sanitizers their runtime makes the folders of its log path too.
    made = [
        (c.paths()[0], last_argument(c))
        for c in calls
        if c.name.startswith("mkdir") and pathlib.Path(c.paths()[0]).is_relative_to(tmp_path)
    ]
    for directory in (tmp_path / "a", tmp_path / "a" / "b", vault, vault / "wallets"):
        assert (str(directory), "0700") in made
    assert {mode for _, mode in made} == {"0700"}


@pytest.mark.parametrize(
    ("operation", "nth_fsync", "change"),
    [("create:new", 2, "written"), ("rename:w", 2, "written"), ("delete:w", 1, "removed")],
)
def test_a_failed_sync_of_the_directory_is_an_error(tmp_path, operation, nth_fsync, change):
    vault = str(tmp_path / "vault")
    wallets = tmp_path / "vault" / "wallets"
    own = f"{native.import_wallet_mnemonic('w', ABANDON_PHRASE, vault_path_opt=vault)['id']}.json"
    result, calls = traced(tmp_path, vault, operation, inject=f"fsync:error=EIO:when={nth_fsync}")
    (failed,) = [c for c in calls if "(INJECTED)" in c.result]
    assert failed.paths() == [str(wallets)]
    # The change is made; only its durability is in doubt, and the error says so.
    after = {p.name for p in wallets.iterdir()}
    changed = (after - {own}).pop() if operation.startswith("create") else own
    assert result.stdout == (
        f"I/O error: the wallet file {wallets / changed} was {change}, but syncing {wallets} "
        "failed, so the change may not survive a crash: Input/output error (os error 5)\n"
    )


@pytest.mark.parametrize("errno_name", ["ENOLCK", "EBADF", "EOPNOTSUPP"])
def test_a_vault_that_cannot_be_locked_is_written_with_one_warning(tmp_path, errno_name):
    vault = str(tmp_path / "vault")
    native.import_wallet_mnemonic("w", ABANDON_PHRASE, vault_path_opt=vault)
    result, _ = traced(
        tmp_path, vault, "create:new", "rename:new", "delete:w", inject=f"flock:error={errno_name}"
    )
    assert result.stdout == "ok\nok\nok\n"
    (warning,) = result.stderr.splitlines()
    assert warning.startswith(f"warning: cannot lock {tmp_path / 'vault' / 'wallets'}: ")
    assert warning.endswith(
        "; writing without the lock, so keep to one writing process at a time on this vault"
    )
    assert [w["name"] for w in native.list_wallets(vault)] == ["new-renamed"]


def test_other_lock_failures_still_stop_the_write(tmp_path):
    vault = str(tmp_path / "vault")
    native.list_wallets(vault)
    result, _ = traced(tmp_path, vault, "create:new", inject="flock:error=EIO")
    assert result.stdout == "I/O error: Input/output error (os error 5)\n"
    assert native.list_wallets(vault) == []
