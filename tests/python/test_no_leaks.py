"""Each of the thirteen functions, called many times on success and on every
kind of failure, leaks nothing: the reference counts of its arguments end
where they began, results carry no extra reference, and neither the memory
Python traces (tracemalloc) nor the process's resident memory grows."""

import dataclasses
import gc
import os
import pathlib
import sys
import tracemalloc
from collections.abc import Callable
from typing import Any

import pytest

import oxa._native as native
from conftest import ABANDON_PHRASE
from rpc_server import RecordingServer


# Texts built at run time, so each is a distinct object whose count means something.
def fresh(text: str) -> str:
    return "".join(list(text))


TX_HEX = fresh(
    "0x02f28205390284773594008477359400830186a09496216849c49358b10257cb55b28ea603c874b05e"
    "865af3107a4000825544c0"
)
SOLANA_TX_HEX = fresh("01" + "00" * 64 + "0100")
UNREACHABLE_RPC = fresh("http://127.0.0.1:9")
SECP_KEY = fresh("70af7ec25374c2b06cbfffeaf9817a3d1bc61854abbf39e9e00de734b0c0c8c4")
ED_KEY = fresh("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60")

# Calls per measured round: cheap calls many times, those running scrypt a few.
CHEAP_ROUNDS = 400
SCRYPT_ROUNDS = 6
# Allowed growth over a whole measured round, after a warm-up round. The
# measuring itself leaves up to about 120 bytes; a str of ten characters
# (51 bytes) leaked once per call adds 306 over six calls.
TRACED_SLACK_BYTES = 256
# The process's memory moves in pages and allocator arenas (it stays level
# here, after the warm-up); over 400 cheap calls this catches a C++ leak of
# 330 bytes per call. Smaller C++ leaks are valgrind's and LeakSanitizer's.
RSS_SLACK_BYTES = 128 * 1024
# ASan keeps freed memory in quarantine, so the resident size says nothing there.
UNDER_ASAN = "libasan" in os.environ.get("LD_PRELOAD", "")


@dataclasses.dataclass
class Scenario:
    name: str
    call: Callable[..., Any]
    args: tuple = ()
    kwargs: dict = dataclasses.field(default_factory=dict)
    raises: type[BaseException] | None = None
    rounds: int = CHEAP_ROUNDS
    # Undoes what a successful call changed, so every round starts alike.
    undo: Callable[[Any], None] | None = None


def resident_bytes() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def run_once(scenario: Scenario) -> None:
    try:
        result = scenario.call(*scenario.args, **scenario.kwargs)
    except BaseException as error:
        if scenario.raises is None or type(error) is not scenario.raises:
            raise
        return
    assert scenario.raises is None, f"{scenario.name}: expected {scenario.raises.__name__}"
    # Only `result` and getrefcount's own argument hold it: no reference leaked
    # (None and the booleans are immortal and have no meaningful count).
    assert result is None or isinstance(result, bool) or sys.getrefcount(result) == 2, scenario.name
    if scenario.undo is not None:
        scenario.undo(result)


def run_rounds(scenario: Scenario) -> None:
    for _ in range(scenario.rounds):
        run_once(scenario)


@pytest.fixture(scope="module", autouse=True)
def traced():
    tracemalloc.start()
    yield
    tracemalloc.stop()


@pytest.fixture(scope="module")
def vaults(tmp_path_factory, shared_vault):
    """The shared read-only vault, a writable one for create, import, rename
    and delete, and a node that accepts every transaction."""
    writable = fresh(str(tmp_path_factory.mktemp("writable") / "vault"))
    native.import_wallet_mnemonic("movable", ABANDON_PHRASE, vault_path_opt=writable)
    spare = native.import_wallet_private_key("spare", SECP_KEY, vault_path_opt=writable)
    workdir = tmp_path_factory.mktemp("node")
    node = RecordingServer(workdir).start()
    yield {
        "shared": fresh(shared_vault),
        "writable": writable,
        "spare_id": fresh(spare["id"]),
        "node": fresh(node.url),
    }
    node.stop()


def scenarios(vaults: dict[str, str]) -> list[Scenario]:
    shared, writable = vaults["shared"], vaults["writable"]
    main, keys, pw = fresh("main"), fresh("keys"), fresh("pw")

    def delete_created(info: dict) -> None:
        native.delete_wallet(info["id"], vault_path_opt=writable)

    def rename_back(_: None) -> None:
        native.rename_wallet("moved", "movable", vault_path_opt=writable)

    spare_file = pathlib.Path(writable) / "wallets" / f"{vaults['spare_id']}.json"
    spare_text = spare_file.read_bytes() if spare_file.exists() else b""

    def put_spare_back(_: None) -> None:
        spare_file.write_bytes(spare_text)

    s = Scenario
    scrypt = SCRYPT_ROUNDS
    return [
        # generate_mnemonic
        s("generate_ok", native.generate_mnemonic, (24,)),
        s("generate_default", native.generate_mnemonic),
        s("generate_bad_count", native.generate_mnemonic, (13,), raises=RuntimeError),
        s("generate_negative", native.generate_mnemonic, (-1,), raises=OverflowError),
        s("generate_huge", native.generate_mnemonic, (2**70,), raises=OverflowError),
        s("generate_none", native.generate_mnemonic, (None,), raises=TypeError),
        s("generate_str", native.generate_mnemonic, (fresh("12"),), raises=TypeError),
        s("generate_too_many", native.generate_mnemonic, (12, 12), raises=TypeError),
        s("generate_bad_keyword", native.generate_mnemonic, kwargs={"count": 12}, raises=TypeError),
        # derive_address
        s("derive_ok", native.derive_address, (ABANDON_PHRASE, fresh("solana"), 3), rounds=100),
        s(
            "derive_bad_chain",
            native.derive_address,
            (ABANDON_PHRASE, fresh("nope")),
            raises=RuntimeError,
        ),
        s(
            "derive_bad_phrase",
            native.derive_address,
            (fresh("abandon"), fresh("evm")),
            raises=RuntimeError,
        ),
        s("derive_surrogate", native.derive_address, ("\ud800", fresh("evm")), raises=TypeError),
        s("derive_bytes", native.derive_address, (b"abandon", fresh("evm")), raises=TypeError),
        s("derive_missing", native.derive_address, (ABANDON_PHRASE,), raises=TypeError),
        s(
            "derive_index_overflow",
            native.derive_address,
            (ABANDON_PHRASE, fresh("evm"), 2**32),
            raises=OverflowError,
        ),
        # create_wallet
        s(
            "create_ok",
            native.create_wallet,
            (fresh("new"),),
            {"vault_path_opt": writable},
            rounds=scrypt,
            undo=delete_created,
        ),
        s(
            "create_bad_words",
            native.create_wallet,
            (fresh("new"),),
            {"words": 13, "vault_path_opt": writable},
            raises=RuntimeError,
        ),
        s(
            "create_taken_name",
            native.create_wallet,
            (fresh("movable"),),
            {"vault_path_opt": writable},
            raises=RuntimeError,
        ),
        s(
            "create_nul_vault",
            native.create_wallet,
            (fresh("new"),),
            {"vault_path_opt": fresh("a\0b")},
            raises=RuntimeError,
        ),
        s(
            "create_float_words",
            native.create_wallet,
            (fresh("new"),),
            {"words": 12.0},
            raises=TypeError,
        ),
        # import_wallet_mnemonic
        s(
            "import_phrase_ok",
            native.import_wallet_mnemonic,
            (fresh("imported"), ABANDON_PHRASE),
            {"index": 2, "vault_path_opt": writable},
            rounds=scrypt,
            undo=delete_created,
        ),
        s(
            "import_phrase_bad",
            native.import_wallet_mnemonic,
            (fresh("imported"), fresh("zoo zoo")),
            {"vault_path_opt": writable},
            raises=RuntimeError,
        ),
        s(
            "import_phrase_list",
            native.import_wallet_mnemonic,
            (fresh("imported"), ["zoo"]),
            raises=TypeError,
        ),
        # import_wallet_private_key
        s(
            "import_key_ok",
            native.import_wallet_private_key,
            (fresh("keyed"), SECP_KEY),
            {"vault_path_opt": writable},
            rounds=scrypt,
            undo=delete_created,
        ),
        s(
            "import_key_both_ok",
            native.import_wallet_private_key,
            (fresh("keyed"), fresh("")),
            {"secp256k1_key": SECP_KEY, "ed25519_key": ED_KEY, "vault_path_opt": writable},
            rounds=scrypt,
            undo=delete_created,
        ),
        s(
            "import_key_bad_hex",
            native.import_wallet_private_key,
            (fresh("keyed"), fresh("zz")),
            {"vault_path_opt": writable},
            raises=RuntimeError,
        ),
        s(
            "import_key_bad_chain",
            native.import_wallet_private_key,
            (fresh("keyed"), SECP_KEY),
            {"chain": fresh("mars"), "vault_path_opt": writable},
            raises=RuntimeError,
        ),
        s(
            "import_key_int_chain",
            native.import_wallet_private_key,
            (fresh("keyed"), SECP_KEY),
            {"chain": 7},
            raises=TypeError,
        ),
        # list_wallets
        s("list_ok", native.list_wallets, (shared,), rounds=100),
        s("list_nul", native.list_wallets, (fresh("x\0y"),), raises=RuntimeError),
        s("list_bytes", native.list_wallets, (b"/tmp",), raises=TypeError),
        # get_wallet
        s("get_ok", native.get_wallet, (main, shared), rounds=100),
        s("get_missing", native.get_wallet, (fresh("nobody"), shared), raises=RuntimeError),
        s("get_none", native.get_wallet, (None, shared), raises=TypeError),
        # delete_wallet
        s(
            "delete_ok",
            native.delete_wallet,
            (vaults["spare_id"], writable),
            rounds=40,
            undo=put_spare_back,
        ),
        s("delete_missing", native.delete_wallet, (fresh("nobody"), shared), raises=RuntimeError),
        s("delete_surrogate", native.delete_wallet, ("\udcff", shared), raises=TypeError),
        # export_wallet
        s("export_ok", native.export_wallet, (main, pw, shared), rounds=scrypt),
        s(
            "export_wrong_passphrase",
            native.export_wallet,
            (main, fresh("wrong"), shared),
            rounds=scrypt,
            raises=RuntimeError,
        ),
        s(
            "export_missing",
            native.export_wallet,
            (fresh("nobody"), pw, shared),
            raises=RuntimeError,
        ),
        # rename_wallet
        s(
            "rename_ok",
            native.rename_wallet,
            (fresh("movable"), fresh("moved"), writable),
            rounds=40,
            undo=rename_back,
        ),
        s(
            "rename_same_name",
            native.rename_wallet,
            (fresh("movable"), fresh("movable"), writable),
            rounds=100,
        ),
        s(
            "rename_missing",
            native.rename_wallet,
            (fresh("nobody"), fresh("x"), writable),
            raises=RuntimeError,
        ),
        s("rename_dict", native.rename_wallet, (fresh("movable"), {}), raises=TypeError),
        # sign_transaction
        s(
            "sign_tx_ok",
            native.sign_transaction,
            (keys, fresh("ethereum"), TX_HEX),
            {"vault_path_opt": shared},
            rounds=scrypt,
        ),
        s(
            "sign_tx_bad_hex",
            native.sign_transaction,
            (keys, fresh("ethereum"), fresh("0xzz")),
            {"vault_path_opt": shared},
            raises=RuntimeError,
        ),
        s(
            "sign_tx_bad_chain",
            native.sign_transaction,
            (keys, fresh("mars"), TX_HEX),
            {"vault_path_opt": shared},
            raises=RuntimeError,
        ),
        s(
            "sign_tx_index_negative",
            native.sign_transaction,
            (keys, fresh("ethereum"), TX_HEX),
            {"index": -5},
            raises=OverflowError,
        ),
        # sign_message
        s(
            "sign_message_ok",
            native.sign_message,
            (main, fresh("bitcoin"), fresh("hello"), pw),
            {"vault_path_opt": shared},
            rounds=scrypt,
        ),
        s(
            "sign_message_wrong_passphrase",
            native.sign_message,
            (main, fresh("tron"), fresh("hello"), fresh("wrong")),
            {"vault_path_opt": shared},
            rounds=scrypt,
            raises=RuntimeError,
        ),
        s(
            "sign_message_bad_encoding",
            native.sign_message,
            (main, fresh("ton"), fresh("hi")),
            {"encoding": fresh("latin1"), "vault_path_opt": shared},
            raises=RuntimeError,
        ),
        s(
            "sign_message_bad_hex",
            native.sign_message,
            (main, fresh("cosmos"), fresh("abc")),
            {"encoding": fresh("hex"), "vault_path_opt": shared},
            raises=RuntimeError,
        ),
        # sign_and_send
        s(
            "send_ok",
            native.sign_and_send,
            (keys, fresh("ethereum"), TX_HEX),
            {"rpc_url": vaults["node"], "vault_path_opt": shared},
            rounds=scrypt,
        ),
        s(
            "send_unreachable",
            native.sign_and_send,
            (keys, fresh("solana"), SOLANA_TX_HEX),
            {"rpc_url": UNREACHABLE_RPC, "vault_path_opt": shared},
            rounds=scrypt,
            raises=RuntimeError,
        ),
        s(
            "send_dash_url",
            native.sign_and_send,
            (keys, fresh("ethereum"), TX_HEX),
            {"rpc_url": fresh("-o/tmp/x"), "vault_path_opt": shared},
            rounds=scrypt,
            raises=RuntimeError,
        ),
        s(
            "send_bad_chain",
            native.sign_and_send,
            (keys, fresh("mars"), TX_HEX),
            {"vault_path_opt": shared},
            raises=RuntimeError,
        ),
        s(
            "send_missing_wallet",
            native.sign_and_send,
            (fresh("nobody"), fresh("ethereum"), TX_HEX),
            {"rpc_url": UNREACHABLE_RPC, "vault_path_opt": shared},
            raises=RuntimeError,
        ),
        s(
            "send_float_index",
            native.sign_and_send,
            (keys, fresh("ethereum"), TX_HEX),
            {"index": 1.5},
            raises=TypeError,
        ),
    ]


def test_every_function_is_covered_on_success_and_failure(vaults):
    every = scenarios(vaults)
    for raises in (None, TypeError, OverflowError, RuntimeError):
        assert any(s.raises is raises for s in every)
    called = {s.call.__name__ for s in every if s.raises is None}
    assert called == {s.call.__name__ for s in every if s.raises is RuntimeError}
    assert called == {name for name in dir(native) if callable(getattr(native, name))} - {
        "InternalAbort"
    }


SCENARIO_NAMES = [
    s.name for s in scenarios({"shared": "", "writable": "", "spare_id": "", "node": ""})
]


@pytest.mark.parametrize("name", SCENARIO_NAMES)
def test_repeated_calls_leak_nothing(vaults, name):
    assert_no_leak(next(s for s in scenarios(vaults) if s.name == name))


def assert_no_leak(scenario: Scenario) -> None:
    """Runs the scenario's rounds twice and checks the second left nothing behind."""
    objects = [*scenario.args, *scenario.kwargs.values()]
    run_rounds(scenario)  # warm-up: caches, interned keys, allocator pools

    # Counted after collecting, so cycles left by earlier tests that still
    # hold an argument cannot lower the count during the measured round.
    gc.collect()
    counts_before = [sys.getrefcount(o) for o in objects]
    traced_before = tracemalloc.get_traced_memory()[0]
    resident_before = resident_bytes()

    run_rounds(scenario)

    gc.collect()
    traced_growth = tracemalloc.get_traced_memory()[0] - traced_before
    resident_growth = resident_bytes() - resident_before
    assert [sys.getrefcount(o) for o in objects] == counts_before, scenario.name
    assert traced_growth <= TRACED_SLACK_BYTES, (scenario.name, traced_growth)
    if not UNDER_ASAN:
        assert resident_growth <= RSS_SLACK_BYTES, (scenario.name, resident_growth)
