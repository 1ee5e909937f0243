"""The oxa command through subprocess: output, exit codes, and where secrets come from."""

import json
import os
import pathlib
import subprocess
import sys
import time

import nacl.signing
import pytest
from eth_account import Account
from eth_account.messages import encode_defunct

import oxa
import oxa._ext as ext
import oxa._native as native
from b58 import b58decode
from conftest import ABANDON, ABANDON_PHRASE, DATA
from oxa.cli.demo import FAMILIES

OXA = [sys.executable, "-P", "-m", "oxa"]
EIP1559 = json.loads((DATA / "eip1559.json").read_text())["eip1559"][0]
SECP_KEY, ED_KEY = "11" * 32, "22" * 32
CHAIN_OF = {"cosmos_hub": "cosmos"}


@pytest.fixture(autouse=True)
def home(tmp_path, monkeypatch) -> pathlib.Path:
    """An empty HOME, so no command can reach the real ~/.oxa."""
    path = tmp_path / "home"
    path.mkdir()
    monkeypatch.setenv("HOME", str(path))
    return path


def run(*args: str, stdin: str = "", merge: bool = False) -> subprocess.CompletedProcess[str]:
    # A new session has no controlling terminal, so nothing can prompt on the developer's.
    # Lone surrogates in `args` or `stdin` stand for bytes that are not UTF-8.
    return subprocess.run(
        [*OXA, *args],
        input=stdin,
        text=True,
        errors="surrogateescape",
        stdout=subprocess.PIPE,
        stderr=subprocess.STDOUT if merge else subprocess.PIPE,
        start_new_session=True,
        timeout=120,
    )


def run_json(*args: str, stdin: str = ""):
    result = run(*args, "--json", stdin=stdin)
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


def test_console_script_and_module_are_one_command():
    script = pathlib.Path(sys.executable).with_name("oxa")
    for command in ([str(script)], OXA):
        result = subprocess.run([*command, "--version"], capture_output=True, text=True)
        assert (result.returncode, result.stdout) == (0, f"oxa {oxa.__version__}\n")


@pytest.mark.parametrize("words", [12, 24])
def test_mnemonic_prints_fresh_phrases(words, wordlist):
    document = run_json("mnemonic", "--words", str(words))
    assert list(document) == ["mnemonic"]
    phrase = document["mnemonic"].split()
    assert len(phrase) == words
    assert set(phrase) <= set(wordlist)
    text = run("mnemonic", "--words", str(words)).stdout
    assert len(text.split()) == words
    assert text != document["mnemonic"] + "\n"


@pytest.mark.parametrize("account", ABANDON["accounts"], ids=lambda a: a["chain"])
def test_derive_reads_the_phrase_from_stdin(account):
    chain = CHAIN_OF.get(account["chain"], account["chain"])
    # Stray blanks around a pasted phrase are not part of it.
    result = run("derive", "--chain", chain, stdin=f"  {ABANDON_PHRASE} \n")
    assert (result.returncode, result.stdout, result.stderr) == (0, account["address"] + "\n", "")


def test_derive_takes_an_index():
    more = ABANDON["accounts"][0]["more_indexes"]
    assert run_json("derive", "--chain", "evm", "--index", "2", stdin=ABANDON_PHRASE) == {
        "address": more[1]["address"]
    }


@pytest.mark.parametrize(
    "args",
    [
        [],
        ["frobnicate"],
        ["import"],
        ["sign", "message", "main", "hi"],
        ["derive", "--chain", "evm", ABANDON_PHRASE],
        ["create", "w", "--passphrase", "pw"],
        ["export", "main", "--passphrase-env", "PW", "--passphrase-stdin"],
        ["derive", "--chain", "evm", "--index", "-1"],
        ["derive", "--chain", "evm", "--index", str(2**32)],
        ["derive", "--chain", "evm", "--index", "one"],
        ["mnemonic", "--words", "15"],
        ["verify", "--chain", "evm", "message", "signature"],
        ["recover", "message", "signature"],
        ["verify", "--chain", "evm", "m", "s", "a", "--vault", "/tmp"],
    ],
    ids=lambda args: " ".join(args) or "nothing",
)
def test_usage_errors_exit_2_before_anything_runs(args, home):
    result = run(*args, stdin=ABANDON_PHRASE)
    assert (result.returncode, result.stdout) == (2, "")
    assert result.stderr.startswith("usage: oxa")
    assert list(home.iterdir()) == []  # the default vault was never made


MODULE_ERRORS = [
    (
        ["derive", "--chain", "eth"],
        ABANDON_PHRASE,
        lambda vault: native.derive_address(ABANDON_PHRASE, "eth"),
    ),
    (
        ["derive", "--chain", "evm"],
        "abandon about",
        lambda vault: native.derive_address("abandon about", "evm"),
    ),
    # The largest count the module takes, refused by derivation itself.
    (
        ["derive", "--chain", "evm", "--index", str(2**32 - 1)],
        ABANDON_PHRASE,
        lambda vault: native.derive_address(ABANDON_PHRASE, "evm", 2**32 - 1),
    ),
    (["show", "nope"], "", lambda vault: native.get_wallet("nope", vault)),
    (
        ["create", "main", "--passphrase-stdin"],
        "pw",
        lambda vault: native.create_wallet("main", "pw", vault_path_opt=vault),
    ),
    (["rename", "keys", "main"], "", lambda vault: native.rename_wallet("keys", "main", vault)),
    (
        ["export", "main", "--passphrase-stdin"],
        "wrong",
        lambda vault: native.export_wallet("main", "wrong", vault),
    ),
    (
        ["import", "key", "k", "--passphrase-stdin"],
        "0X11\n",
        lambda vault: native.import_wallet_private_key("k", "0X11", vault_path_opt=vault),
    ),
    (
        [
            "sign",
            "message",
            "main",
            "--chain",
            "evm",
            "--encoding",
            "UTF8",
            "hi",
            "--passphrase-stdin",
        ],
        "pw",
        lambda vault: native.sign_message("main", "evm", "hi", "pw", "UTF8", vault_path_opt=vault),
    ),
    (
        ["sign", "tx", "main", "--chain", "evm", "0xzz", "--passphrase-stdin"],
        "pw",
        lambda vault: native.sign_transaction("main", "evm", "0xzz", "pw", vault_path_opt=vault),
    ),
    (
        ["send", "main", "--chain", "bitcoin", "00", "--passphrase-stdin"],
        "pw",
        lambda vault: native.sign_and_send("main", "bitcoin", "00", "pw", vault_path_opt=vault),
    ),
]


@pytest.mark.parametrize(
    ("args", "stdin", "call"), MODULE_ERRORS, ids=[" ".join(args) for args, _, _ in MODULE_ERRORS]
)
def test_module_errors_are_one_verbatim_line(shared_vault, args, stdin, call):
    with pytest.raises(RuntimeError) as expected:
        call(shared_vault)
    result = run(*args, "--vault", shared_vault, stdin=stdin + "\n")
    assert (result.returncode, result.stdout, result.stderr) == (1, "", f"oxa: {expected.value}\n")


@pytest.mark.parametrize(
    ("args", "stdin", "error"),
    [
        (
            ["export", "main", "--passphrase-env", "OXA_UNSET"],
            "",
            "oxa: environment variable OXA_UNSET is not set",
        ),
        # Without a terminal a passphrase is never read from a pipe unless asked to.
        (
            ["export", "main"],
            "pw\n",
            "oxa: no terminal to ask on; use --passphrase-env NAME or --passphrase-stdin",
        ),
        (["derive", "--chain", "evm"], "", "oxa: expected the mnemonic on standard input"),
        (
            ["import", "mnemonic", "x", "--passphrase-stdin"],
            ABANDON_PHRASE + "\n",
            "oxa: expected the passphrase on standard input",
        ),
        (["delete", "main"], "n\n", "oxa: not deleted"),
        (["delete", "main"], "", "oxa: not deleted"),
        (["show", "ma\udcffin"], "", "oxa: the command line is not valid UTF-8"),
        (
            ["derive", "--chain", "evm"],
            "abandon \udcff\n",
            "oxa: standard input is not valid UTF-8",
        ),
        (["delete", "main"], "\udcff\n", "oxa: standard input is not valid UTF-8"),
        (
            ["export", "main", "--passphrase-env", "OXA_NOT_UTF8"],
            "",
            "oxa: environment variable OXA_NOT_UTF8 is not valid UTF-8",
        ),
    ],
    ids=lambda value: " ".join(value) if isinstance(value, list) else None,
)
def test_bad_or_missing_input_fails_cleanly(shared_vault, monkeypatch, args, stdin, error):
    monkeypatch.setenv("OXA_NOT_UTF8", "pw\udcff")
    before = native.list_wallets(shared_vault)
    result = run(*args, "--vault", shared_vault, stdin=stdin)
    assert (result.returncode, result.stdout) == (1, "")
    assert result.stderr.splitlines()[-1] == error
    assert "Traceback" not in result.stderr
    assert native.list_wallets(shared_vault) == before


def test_wallet_lifecycle_in_json(vault, monkeypatch):
    monkeypatch.setenv("OXA_PW", "correct horse")
    options = ["--vault", vault, "--passphrase-env", "OXA_PW"]
    wallet = run_json("create", "main", "--words", "24", *options)
    assert wallet["name"] == "main"
    assert len(wallet["accounts"]) == 6
    assert run_json("list", "--vault", vault) == [wallet]
    by_name, by_id = (run_json("show", key, "--vault", vault) for key in ("main", wallet["id"]))
    assert by_name == by_id == wallet

    phrase = run_json("export", "main", *options)["secret"]
    assert len(phrase.split()) == 24
    assert [native.derive_address(phrase, a["chain_id"]) for a in wallet["accounts"]] == [
        a["address"] for a in wallet["accounts"]
    ]

    renamed = run_json("rename", "main", "savings", "--vault", vault)
    assert renamed == {**wallet, "name": "savings"} == native.get_wallet("savings", vault)
    assert run_json("delete", "savings", "--yes", "--vault", vault) == {"deleted": renamed}
    assert run_json("list", "--vault", vault) == []


def test_import_reads_the_phrase_then_the_passphrase(vault):
    stdin = f"{ABANDON_PHRASE}\nsecond line is the passphrase\n"
    wallet = run_json(
        "import",
        "mnemonic",
        "ab",
        "--index",
        "3",
        "--vault",
        vault,
        "--passphrase-stdin",
        stdin=stdin,
    )
    paths = [a["derivation_path"] for a in wallet["accounts"]]
    assert paths[0] == "m/44'/60'/0'/0/3"
    assert paths[-1] == "m/44'/607'/3'"
    assert wallet["accounts"][0]["address"] == ABANDON["accounts"][0]["more_indexes"][2]["address"]
    exported = run(
        "export",
        "ab",
        "--vault",
        vault,
        "--passphrase-stdin",
        stdin="second line is the passphrase\n",
    )
    assert exported.stdout == ABANDON_PHRASE + "\n"


@pytest.mark.parametrize(
    ("flags", "stdin"),
    [
        (["--secp256k1-key-stdin", "--ed25519-key-stdin"], f"{SECP_KEY}\n{ED_KEY}\n"),
        (["--ed25519-key-stdin"], f"0x{SECP_KEY}\n{ED_KEY}\n"),
        (["--chain", "solana", "--secp256k1-key-stdin"], f"{ED_KEY}\n{SECP_KEY}\n"),
    ],
    ids=["both keys", "secp256k1 then ed25519", "ed25519 then secp256k1"],
)
def test_import_key_puts_each_key_on_its_curve(vault, tmp_path, flags, stdin):
    wallet = run_json(
        "import", "key", "k", *flags, "--vault", vault, "--passphrase-stdin", stdin=stdin + "pw\n"
    )
    expected = native.import_wallet_private_key(
        "k", "", secp256k1_key=SECP_KEY, ed25519_key=ED_KEY, vault_path_opt=str(tmp_path / "oracle")
    )
    assert wallet["accounts"] == expected["accounts"]
    assert wallet["accounts"][0]["address"] == Account.from_key(bytes.fromhex(SECP_KEY)).address
    solana_key = nacl.signing.SigningKey(bytes.fromhex(ED_KEY)).verify_key.encode()
    assert b58decode(wallet["accounts"][1]["address"]) == solana_key
    secret = run_json("export", "k", "--vault", vault, "--passphrase-stdin", stdin="pw\n")["secret"]
    assert json.loads(secret) == {"ed25519": ED_KEY, "secp256k1": SECP_KEY}


def test_text_output_is_readable(shared_vault):
    listing = run("list", "--vault", shared_vault).stdout.splitlines()
    assert listing[0].split() == ["NAME", "ID", "CREATED"]
    assert [line.split()[0] for line in listing[1:]] == ["main", "keys"]
    shown = run("show", "main", "--vault", shared_vault).stdout
    assert shown.startswith("name     main\nid       ")
    for account in native.get_wallet("main", shared_vault)["accounts"]:
        assert f"{account['chain_id']}  " in shown
        assert f"{account['address']}  " in shown
        assert account["derivation_path"] in shown
    assert (
        run("list", "--vault", str(pathlib.Path(shared_vault) / "empty")).stdout == "no wallets\n"
    )


def test_export_warns_on_stderr_before_the_secret(shared_vault):
    result = run(
        "export", "main", "--vault", shared_vault, "--passphrase-stdin", stdin="pw\n", merge=True
    )
    warning, secret = result.stdout.splitlines()
    assert warning.startswith("warning: ")
    assert secret == ABANDON_PHRASE
    alone = run("export", "main", "--vault", shared_vault, "--passphrase-stdin", stdin="pw\n")
    assert alone.stdout == ABANDON_PHRASE + "\n"
    assert alone.stderr == warning + "\n"


def test_signed_messages_verify(shared_vault):
    accounts = native.get_wallet("main", shared_vault)["accounts"]

    def sign(chain: str, message: str, *options: str) -> list[str]:
        return [
            "sign",
            "message",
            "main",
            "--chain",
            chain,
            message,
            *options,
            "--vault",
            shared_vault,
            "--passphrase-stdin",
        ]

    evm = run_json(*sign("ethereum", "hello"), stdin="pw\n")
    signer = Account.recover_message(
        encode_defunct(text="hello"), signature=bytes.fromhex(evm["signature"])
    )
    assert signer == accounts[0]["address"]
    solana = run_json(*sign("solana", b"hello".hex(), "--encoding", "hex"), stdin="pw\n")
    assert solana["recovery_id"] is None
    nacl.signing.VerifyKey(b58decode(accounts[1]["address"])).verify(
        b"hello", bytes.fromhex(solana["signature"])
    )
    text = run(*sign("ethereum", "hello"), stdin="pw\n").stdout
    assert text == f"signature    {evm['signature']}\nrecovery_id  {evm['recovery_id']}\n"


@pytest.fixture
def key_wallet(vault):
    native.import_wallet_private_key(
        "w",
        "",
        secp256k1_key=EIP1559["private_key"],
        ed25519_key=ED_KEY,
        passphrase="pw",
        vault_path_opt=vault,
    )
    return vault


def test_sign_tx_gives_the_published_signature(key_wallet):
    signed = run_json(
        "sign",
        "tx",
        "w",
        "--chain",
        "ethereum",
        EIP1559["unsigned_payload"],
        "--vault",
        key_wallet,
        "--passphrase-stdin",
        stdin="pw\n",
    )
    r, s = (EIP1559["signature"][part][2:] for part in ("r", "s"))
    assert signed == {"signature": r + s + "01", "recovery_id": EIP1559["signature"]["y_parity"]}


def send_command(server, vault: str) -> list[str]:
    """`oxa send` of the EIP-1559 vector to the recording server."""
    return [
        "send",
        "w",
        "--chain",
        "ethereum",
        EIP1559["unsigned_payload"],
        "--rpc-url",
        server.url,
        "--vault",
        vault,
        "--passphrase-stdin",
    ]


def test_send_broadcasts_and_prints_the_hash(key_wallet, server):
    send = send_command(server, key_wallet)
    result = run(*send, stdin="pw\n")
    assert (result.returncode, result.stdout) == (0, "0xfeed\n")
    assert run_json(*send, stdin="pw\n") == {"tx_hash": "0xfeed"}
    assert [r.json()["params"] for r in server.requests] == [
        [EIP1559["signed_raw_transaction"]]
    ] * 2


def test_send_failure_is_one_line(key_wallet, server):
    server.respond(500, b"oops")
    result = run(
        *send_command(server, key_wallet),
        stdin="pw\n",
    )
    assert (result.returncode, result.stderr) == (
        1,
        "oxa: broadcast failed: curl: (22) The requested URL returned error: 500\n",
    )


def test_a_reader_that_leaves_early_ends_the_command_quietly():
    read_end, write_end = os.pipe()
    os.close(read_end)
    with os.fdopen(write_end, "w") as closed_pipe:
        result = subprocess.run(
            [*OXA, "mnemonic"], stdout=closed_pipe, stderr=subprocess.PIPE, text=True
        )
    assert (result.returncode, result.stderr) == (141, "")


def test_demo_walks_through_in_a_temporary_vault(home):
    started = time.monotonic()
    result = run("demo")
    assert result.returncode == 0, result.stderr
    assert time.monotonic() - started < 60
    out = result.stdout
    vault = out.splitlines()[0].removeprefix("Temporary vault: ")
    assert not os.path.exists(vault)
    assert list(home.iterdir()) == []
    for step in (
        "generate_mnemonic",
        "derive_address",
        "create_wallet",
        "list_wallets",
        "sign_message",
        "rename_wallet",
        "export_wallet",
        "sign_and_send",
        "delete_wallet",
    ):
        assert f"== {step}(" in out
    for family in ("evm", "solana", "bitcoin", "cosmos", "tron", "ton"):
        assert sum(line.startswith(f"{family} ") for line in out.splitlines()) == 3
    assert "It derives exactly the wallet's six addresses." in out
    assert "0 wallets left" in out


def test_demo_paths_are_those_of_a_wallet(shared_vault):
    accounts = native.get_wallet("main", shared_vault)["accounts"]
    assert [path for _, _, path, _ in FAMILIES] == [a["derivation_path"] for a in accounts]


# Checking signatures from the shell.


def test_verify_and_recover_print_their_answer(shared_vault):
    address = native.get_wallet("main", shared_vault)["accounts"][4]["address"]
    signature = native.sign_message("main", "tron", "gm", "pw", vault_path_opt=shared_vault)[
        "signature"
    ]
    assert run("verify", "--chain", "tron", "gm", signature, address).stdout == "valid\n"
    assert run_json("verify", "--chain", "tron", "gm", signature, address) == {"valid": True}
    # A signature that does not match is an answer, not an error, but fails the command.
    for extra, output in [([], "invalid\n"), (["--json"], '{\n  "valid": false\n}\n')]:
        refuted = run("verify", "--chain", "tron", "gn", signature, address, *extra)
        assert (refuted.returncode, refuted.stdout, refuted.stderr) == (1, output, "")
    assert run_json("recover", "--chain", "tron", "gm", signature) == {"address": address}
    recovered = run("recover", "--chain", "tron", "676d", signature, "--encoding", "hex")
    assert recovered.stdout == address + "\n"


def test_sign_message_under_a_standard(shared_vault):
    sign = [
        *("sign", "message", "main", "--chain", "bitcoin", "Hello World"),
        *("--standard", "bip322-simple", "--vault", shared_vault, "--passphrase-stdin"),
    ]
    signed = run_json(*sign, stdin="pw\n")
    assert signed == ext.sign_message_standard(
        "main", "bitcoin", "Hello World", "bip322-simple", "pw", vault_path_opt=shared_vault
    )
    assert (
        run(*sign, stdin="pw\n").stdout == f"signature    {signed['signature']}\nrecovery_id  -\n"
    )
    address = native.get_wallet("main", shared_vault)["accounts"][2]["address"]
    verify = ["verify", "--chain", "bitcoin", "Hello World", signed["signature"], address]
    assert run(*verify, "--standard", "bip322-simple").stdout == "valid\n"


CHECK_ERRORS = [
    (
        ["verify", "--chain", "evm", "m", "zz", "0x" + "00" * 20],
        lambda: ext.verify_message("evm", "m", "zz", "0x" + "00" * 20),
    ),
    (["recover", "--chain", "solana", "m", "00"], lambda: ext.recover_address("solana", "m", "00")),
    (
        ["verify", "--chain", "cosmos", "m", "AA==", "cosmos1", "--standard", "adr036"],
        lambda: ext.verify_message_standard("cosmos", "m", "AA==", "cosmos1", "adr036"),
    ),
]


@pytest.mark.parametrize(("args", "call"), CHECK_ERRORS, ids=[" ".join(a) for a, _ in CHECK_ERRORS])
def test_check_errors_are_one_verbatim_line(args, call):
    with pytest.raises(RuntimeError) as expected:
        call()
    result = run(*args)
    assert (result.returncode, result.stdout, result.stderr) == (1, "", f"oxa: {expected.value}\n")
