"""Every text and count parameter of every function, given any Python value
(any str: lone surrogates, NUL and very long ones included; any int; None;
bytes; objects of other types), while the other arguments stay valid: the
call returns a result of the documented shape or raises TypeError,
OverflowError or RuntimeError with a defined text, never anything else, and
a call that fails leaves the vault exactly as it was."""

import os
import pathlib
import re

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import oxa._native as native
from conftest import ABANDON_PHRASE, snapshot

ANY_CHARACTER = st.characters(exclude_categories=())
ANY_TEXT = st.one_of(
    st.text(ANY_CHARACTER),
    st.builds(
        lambda unit, times: unit * times,
        st.text(ANY_CHARACTER, min_size=1, max_size=4),
        st.integers(1_000, 60_000),
    ),
)


class Index:
    """An object that is an integer only through __index__."""

    def __init__(self, value: int):
        self.value = value

    def __index__(self) -> int:
        return self.value


class Text(str):
    pass


ANY_COUNT = st.one_of(
    st.integers(),
    st.integers(-1, 30),
    st.sampled_from([12, 24, 2**31, 2**32 - 1, 2**32, 2**63, 2**64]),
)
ANY_VALUE = st.one_of(
    ANY_TEXT,
    ANY_COUNT,
    st.none(),
    st.binary(),
    st.floats(allow_nan=True),
    st.booleans(),
    st.builds(Index, ANY_COUNT),
    st.builds(Text, ANY_TEXT),
    st.lists(st.integers(), max_size=2),
    st.builds(object),
    st.builds(bytearray, st.binary(max_size=8)),
)

TX_HEX = (
    "0x02f28205390284773594008477359400830186a09496216849c49358b10257cb55b28ea603c874b05e"
    "865af3107a4000825544c0"
)
SECP_KEY = "70af7ec25374c2b06cbfffeaf9817a3d1bc61854abbf39e9e00de734b0c0c8c4"

# Every parameter a value is tried in, with the arguments that stay fixed:
# valid ones, so the tried value is what decides. "{vault}" stands for the
# test's vault with "main" (abandon phrase, passphrase "pw") and "keys".
FIXED = {
    "generate_mnemonic": {},
    "derive_address": {"mnemonic": ABANDON_PHRASE, "chain": "ethereum"},
    "create_wallet": {"name": "fresh", "vault_path_opt": "{vault}"},
    "import_wallet_mnemonic": {
        "name": "fresh",
        "mnemonic": ABANDON_PHRASE,
        "vault_path_opt": "{vault}",
    },
    "import_wallet_private_key": {
        "name": "fresh",
        "private_key_hex": SECP_KEY,
        "vault_path_opt": "{vault}",
    },
    "list_wallets": {"vault_path_opt": "{vault}"},
    "get_wallet": {"name_or_id": "main", "vault_path_opt": "{vault}"},
    "delete_wallet": {"name_or_id": "main", "vault_path_opt": "{vault}"},
    "export_wallet": {"name_or_id": "main", "passphrase": "pw", "vault_path_opt": "{vault}"},
    "rename_wallet": {"name_or_id": "main", "new_name": "renamed", "vault_path_opt": "{vault}"},
    "sign_transaction": {
        "wallet": "keys",
        "chain": "ethereum",
        "tx_hex": TX_HEX,
        "vault_path_opt": "{vault}",
    },
    "sign_message": {
        "wallet": "main",
        "chain": "solana",
        "message": "hi",
        "passphrase": "pw",
        "vault_path_opt": "{vault}",
    },
    # No wallet of that name: the tried values are converted and checked, and
    # nothing is ever sent.
    "sign_and_send": {
        "wallet": "nobody",
        "chain": "ethereum",
        "tx_hex": TX_HEX,
        "rpc_url": "http://127.0.0.1:9",
        "vault_path_opt": "{vault}",
    },
}
COUNT_PARAMETERS = {"words", "index"}
PARAMETERS = {
    "generate_mnemonic": ["words"],
    "derive_address": ["mnemonic", "chain", "index"],
    "create_wallet": ["name", "passphrase", "words", "vault_path_opt"],
    "import_wallet_mnemonic": ["name", "mnemonic", "passphrase", "index", "vault_path_opt"],
    "import_wallet_private_key": [
        "name",
        "private_key_hex",
        "chain",
        "passphrase",
        "vault_path_opt",
        "secp256k1_key",
        "ed25519_key",
    ],
    "list_wallets": ["vault_path_opt"],
    "get_wallet": ["name_or_id", "vault_path_opt"],
    "delete_wallet": ["name_or_id", "vault_path_opt"],
    "export_wallet": ["name_or_id", "passphrase", "vault_path_opt"],
    "rename_wallet": ["name_or_id", "new_name", "vault_path_opt"],
    "sign_transaction": ["wallet", "chain", "tx_hex", "passphrase", "index", "vault_path_opt"],
    "sign_message": [
        "wallet",
        "chain",
        "message",
        "passphrase",
        "encoding",
        "index",
        "vault_path_opt",
    ],
    "sign_and_send": [
        "wallet",
        "chain",
        "tx_hex",
        "passphrase",
        "index",
        "rpc_url",
        "vault_path_opt",
    ],
}
# Parameters where a tried str leads to a scrypt run (about 0.2 s):
# fewer examples there keep the module within a minute.
SCRYPT_BOUND = {
    ("create_wallet", "name"),
    ("create_wallet", "passphrase"),
    ("create_wallet", "vault_path_opt"),
    ("import_wallet_mnemonic", "name"),
    ("import_wallet_mnemonic", "passphrase"),
    ("import_wallet_mnemonic", "index"),
    ("import_wallet_mnemonic", "vault_path_opt"),
    ("import_wallet_private_key", "name"),
    ("import_wallet_private_key", "passphrase"),
    ("import_wallet_private_key", "vault_path_opt"),
    ("import_wallet_private_key", "chain"),
    ("import_wallet_private_key", "secp256k1_key"),
    ("import_wallet_private_key", "ed25519_key"),
    ("export_wallet", "passphrase"),
    ("sign_transaction", "passphrase"),
    ("sign_transaction", "index"),
    ("sign_message", "message"),
    ("sign_message", "passphrase"),
    ("sign_message", "index"),
}
CASES = [
    (function, parameter) for function, parameters in PARAMETERS.items() for parameter in parameters
]

RUNTIME_PREFIXES = (
    "invalid input: ",
    "wallet not found: ",
    "ambiguous wallet name ",
    "wallet name already exists: ",
    "broadcast failed: ",
    "I/O error: ",
    "JSON error: ",
    "invalid mnemonic phrase: ",
    "mnemonic generation failed: ",
    "invalid derivation path: ",
    "derivation failed: ",
    "ed25519 requires hardened-only derivation",
    "encryption failed: ",
    "decryption failed: ",
    "invalid parameters: ",
    "invalid private key: ",
    "invalid message: ",
    "signing failed: ",
    "address derivation failed: ",
    "invalid transaction: ",
)
OVERFLOW_TEXTS = {
    "out of range integral type conversion attempted",
    "Python int too large to convert to C long",
}


def type_error_pattern(function: str, parameter: str) -> re.Pattern:
    kind = "int" if parameter in COUNT_PARAMETERS else "str"
    return re.compile(
        rf"{function}\(\) argument '{parameter}' must be "
        rf"({kind}, not .+|str encodable as UTF-8 \(it holds a lone surrogate\))",
        re.DOTALL,
    )


def check_result(function: str, arguments: dict, result) -> None:
    """The documented shape of each function's result."""
    if function == "generate_mnemonic":
        assert len(result.split(" ")) in (12, 24)
    elif function in ("derive_address", "export_wallet"):
        assert isinstance(result, str)
        assert result
    elif function in (
        "create_wallet",
        "import_wallet_mnemonic",
        "import_wallet_private_key",
        "get_wallet",
    ):
        assert list(result) == ["id", "name", "accounts", "created_at"]
        assert len(result["accounts"]) == 6
        if "name" in arguments:
            assert result["name"] == arguments["name"]
    elif function == "list_wallets":
        assert isinstance(result, list)
    elif function in ("delete_wallet", "rename_wallet"):
        assert result is None
    elif function in ("sign_transaction", "sign_message"):
        assert list(result) == ["signature", "recovery_id"]
    else:
        assert list(result) == ["tx_hash"]


def check_error(function: str, parameter: str, error: BaseException) -> None:
    """Only the three kinds, each with a text of its defined form."""
    text = str(error)
    if type(error) is TypeError:
        assert type_error_pattern(function, parameter).fullmatch(text), text
    elif type(error) is OverflowError:
        assert text in OVERFLOW_TEXTS
    elif type(error) is RuntimeError:
        assert text.startswith(RUNTIME_PREFIXES), text
        text.encode("utf-8")  # a message is always valid text
    else:
        raise error


def read_back(function: str, arguments: dict, result) -> None:
    """What a call stored is found again, unchanged."""
    vault = arguments.get("vault_path_opt")
    if function in ("create_wallet", "import_wallet_mnemonic", "import_wallet_private_key"):
        assert native.get_wallet(result["id"], vault_path_opt=vault) == result
    elif function == "rename_wallet":
        assert (
            native.get_wallet(arguments["new_name"], vault_path_opt=vault)["name"]
            == arguments["new_name"]
        )


def files_under(root: pathlib.Path) -> dict[str, bytes]:
    return snapshot(str(root))


def restore(root: pathlib.Path, files: dict[str, bytes]) -> None:
    """Puts the vault back as it was after a call that changed it on purpose."""
    for name in set(files_under(root)) - set(files):
        (root / name).unlink()
    for name, content in files.items():
        if (root / name).read_bytes() != content:
            (root / name).write_bytes(content)


@pytest.fixture(scope="module")
def vault_template(tmp_path_factory) -> dict[str, bytes]:
    """The files of a vault with "main" and "keys", made once (two scrypt runs each)."""
    path = tmp_path_factory.mktemp("template") / "vault"
    native.import_wallet_mnemonic("main", ABANDON_PHRASE, passphrase="pw", vault_path_opt=str(path))
    native.import_wallet_private_key("keys", SECP_KEY, vault_path_opt=str(path))
    return files_under(path)


@pytest.fixture
def world(tmp_path, vault_template, monkeypatch):
    """A vault for the test, a home that is not the user's, and a working
    directory of its own (relative vault paths land there)."""
    vault = tmp_path / "vault"
    for name, content in vault_template.items():
        (vault / name).parent.mkdir(parents=True, exist_ok=True)
        (vault / name).write_bytes(content)
    os.chmod(vault, 0o700)
    os.chmod(vault / "wallets", 0o700)
    (tmp_path / "home").mkdir()
    (tmp_path / "cwd").mkdir()
    monkeypatch.setenv("HOME", str(tmp_path / "home"))
    monkeypatch.chdir(tmp_path / "cwd")
    return tmp_path


def strategy_for(parameter: str):
    if parameter != "vault_path_opt":
        return ANY_VALUE
    # Relative paths only, kept inside the test's working directory.
    inside = ANY_TEXT.filter(lambda p: not p.startswith(("/", "~")) and ".." not in p.split("/"))
    return st.one_of(inside, ANY_COUNT, st.none(), st.binary(), st.builds(object))


def call_with(world: pathlib.Path, function: str, parameter: str, value) -> None:
    vault = world / "vault"
    arguments = {
        name: (str(vault) if text == "{vault}" else text) for name, text in FIXED[function].items()
    }
    arguments[parameter] = value
    if parameter == "vault_path_opt" and value is None:
        vault = world / "home" / ".oxa"
    vault_before = files_under(vault)
    tree_before = files_under(world)
    try:
        result = getattr(native, function)(**arguments)
    except BaseException as error:  # noqa: BLE001 - check_error re-raises any other kind
        check_error(function, parameter, error)
        assert files_under(vault) == vault_before, "a failed call changed the vault"
        assert files_under(world) == tree_before, "a failed call wrote a file"
        return
    check_result(function, arguments, result)
    read_back(function, arguments, result)
    if vault.exists():
        restore(vault, vault_before)


@pytest.mark.parametrize(("function", "parameter"), CASES, ids=[f"{f}.{p}" for f, p in CASES])
def test_any_value_gives_a_result_or_a_defined_error(world, function, parameter):
    examples = 20 if (function, parameter) in SCRYPT_BOUND else 100

    @settings(
        max_examples=examples,
        deadline=None,
        database=None,
        suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large],
    )
    @given(value=strategy_for(parameter))
    def check(value):
        call_with(world, function, parameter, value)

    check()


def test_every_text_and_count_parameter_is_tried():
    for function in PARAMETERS:
        signature = getattr(native, function).__text_signature__
        assert PARAMETERS[function] == re.findall(r"(\w+)(?:=None|=12)?(?=[,)])", signature)


# Control characters are written as six-byte escapes: this name alone makes a
# wallet file larger than the 1 MiB the vault reads back.
UNREADABLY_LONG_NAME = "\x01" * 200_000


@pytest.mark.parametrize(
    ("function", "arguments"),
    [
        ("create_wallet", {"name": UNREADABLY_LONG_NAME}),
        ("import_wallet_mnemonic", {"name": UNREADABLY_LONG_NAME, "mnemonic": ABANDON_PHRASE}),
        ("import_wallet_private_key", {"name": UNREADABLY_LONG_NAME, "private_key_hex": SECP_KEY}),
        ("rename_wallet", {"name_or_id": "main", "new_name": UNREADABLY_LONG_NAME}),
    ],
)
def test_a_wallet_file_too_large_to_read_back_is_never_written(world, function, arguments):
    vault = world / "vault"
    before = files_under(vault)
    with pytest.raises(RuntimeError) as refused:
        getattr(native, function)(**arguments, vault_path_opt=str(vault))
    assert str(refused.value) == "invalid input: wallet file would be larger than 1048576 bytes"
    assert files_under(vault) == before
    assert [w["name"] for w in native.list_wallets(str(vault))] == ["main", "keys"]
