"""sign_and_send end to end through a real curl and a local recording server."""

import base64
import json
import subprocess
import sys

import nacl.signing
import pytest
import rlp
from eth_account import Account

import oxa._native as native
from b58 import b58decode, b58encode
from conftest import DATA

EIP1559 = json.loads((DATA / "eip1559.json").read_text())["eip1559"]
SOLANA_SEED = "22" * 32


@pytest.fixture
def wallets(vault):
    vector = EIP1559[0]
    native.import_wallet_private_key(
        "w", "", secp256k1_key=vector["private_key"], ed25519_key=SOLANA_SEED, vault_path_opt=vault
    )
    return vault


def send(vault, chain, tx_hex, **kwargs):
    return native.sign_and_send("w", chain, tx_hex, vault_path_opt=vault, **kwargs)


@pytest.mark.parametrize("vector", EIP1559, ids=lambda v: v["id"])
def test_eip1559_transaction_reaches_the_node_signed(wallets, server, vector):
    assert send(wallets, "ethereum", vector["unsigned_payload"], rpc_url=server.url) == {
        "tx_hash": "0xfeed"
    }
    (request,) = server.requests
    assert request.path == "/"
    assert request.headers["content-type"] == "application/json"
    body = request.json()
    assert request.body == json.dumps(body, sort_keys=True, separators=(",", ":")).encode()
    assert list(body) == ["id", "jsonrpc", "method", "params"]
    assert (body["id"], body["jsonrpc"], body["method"]) == (1, "2.0", "eth_sendRawTransaction")
    raw = body["params"][0]
    assert raw == vector["signed_raw_transaction"]

    signed = bytes.fromhex(raw[2:])
    unsigned = bytes.fromhex(vector["unsigned_payload"][2:])
    fields = rlp.decode(signed[1:])
    assert signed[0] == unsigned[0] == 2
    assert fields[:-3] == rlp.decode(unsigned[1:])
    assert int.from_bytes(fields[-3], "big") == vector["signature"]["y_parity"]
    assert Account.recover_transaction(signed) == vector["sender_address"]


def test_prefix_and_url_slash_do_not_change_the_request(wallets, server):
    tx = EIP1559[0]["unsigned_payload"]
    send(wallets, "ethereum", tx, rpc_url=server.url + "/")
    send(wallets, "eip155:1", tx[2:], rpc_url=server.url + "/")
    first, second = server.requests
    assert first.body == second.body
    assert first.path == second.path == "/"


def test_solana_node_takes_the_signed_transaction(wallets, server):
    """The stand-in node reads a transaction as Base58 unless told otherwise,
    as validators do, and answers its first signature."""
    message = b"\x01\x00\x01\x02" + bytes(range(40))
    tx = bytes([1]) + bytes(64) + message
    server.respond_as_solana_node()
    result = send(wallets, "solana", tx.hex(), rpc_url=server.url)
    body = server.requests[0].json()
    assert body["method"] == "sendTransaction"
    assert body["params"][1:] == [{"encoding": "base64"}]
    sent = base64.b64decode(body["params"][0])
    assert result == {"tx_hash": b58encode(sent[1:65])}
    assert len(sent) == len(tx)
    assert sent[65:] == message
    info = native.get_wallet("w", vault_path_opt=wallets)
    public_key = b58decode(info["accounts"][1]["address"])
    nacl.signing.VerifyKey(public_key).verify(message, sent[1:65])


def test_configured_endpoint_is_used_without_an_argument(wallets, server, tmp_path, monkeypatch):
    home = tmp_path / "home"
    (home / ".oxa").mkdir(parents=True)
    (home / ".oxa" / "config.json").write_text(
        json.dumps({"vault_path": "/elsewhere", "rpc": {"eip155:1": server.url + "/configured"}})
    )
    monkeypatch.setenv("HOME", str(home))
    send(wallets, "ethereum", EIP1559[0]["unsigned_payload"])
    assert server.requests[0].path == "/configured"
    # The argument wins over the file.
    send(wallets, "ethereum", EIP1559[0]["unsigned_payload"], rpc_url=server.url + "/argument")
    assert server.requests[1].path == "/argument"


@pytest.mark.parametrize(
    ("status", "response", "text"),
    [
        (
            200,
            b'{"jsonrpc":"2.0","id":1,"error":{"message":"nonce too low","code":-32000}}',
            'broadcast failed: RPC error: {"code":-32000,"message":"nonce too low"}',
        ),
        (200, b'{"error":null,"result":"0x1"}', "broadcast failed: RPC error: null"),
        (
            200,
            b'{"jsonrpc":"2.0","id":1,"result":7}',
            'broadcast failed: no \'result\' in response: {"jsonrpc":"2.0","id":1,"result":7}',
        ),
        (200, b"[]", "broadcast failed: no 'result' in response: []"),
        (200, b"<html>busy</html>", "JSON error: expected value at line 1 column 1"),
        (500, b"oops", "broadcast failed: curl: (22) The requested URL returned error: 500\n"),
    ],
)
def test_response_failures(wallets, server, status, response, text):
    server.respond(status, response)
    with pytest.raises(RuntimeError) as info:
        send(wallets, "ethereum", EIP1559[0]["unsigned_payload"], rpc_url=server.url)
    assert str(info.value) == text


IGNORING_SIGCHLD = """
import signal, sys
import oxa._native as native
signal.signal(signal.SIGCHLD, signal.SIG_IGN)
wallet, chain, tx, url, vault = sys.argv[1:]
print(native.sign_and_send(wallet, chain, tx, rpc_url=url, vault_path_opt=vault)["tx_hash"])
"""


def test_host_that_ignores_sigchld_gets_the_hash(wallets, server, tmp_path):
    tx = EIP1559[0]["unsigned_payload"]
    run = subprocess.run(
        [sys.executable, "-P", "-c", IGNORING_SIGCHLD, "w", "ethereum", tx, server.url, wallets],
        capture_output=True,
        text=True,
        cwd=tmp_path,
        timeout=60,
        check=False,
    )
    assert (run.returncode, run.stdout, run.stderr) == (0, "0xfeed\n", "")
    assert len(server.requests) == 1


@pytest.fixture
def fake_curl(tmp_path, monkeypatch):
    """A `curl` on PATH that only records that it ran."""
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    marker = tmp_path / "curl-ran"
    script = bin_dir / "curl"
    script.write_text(f'#!/bin/sh\ntouch {marker}\necho \'{{"result":"0x1"}}\'\n')
    script.chmod(0o755)
    monkeypatch.setenv("PATH", str(bin_dir))
    return marker


@pytest.mark.parametrize("chain", ["cosmos", "bitcoin", "tron", "ton"])
def test_families_that_cannot_encode_start_no_process(wallets, fake_curl, chain):
    with pytest.raises(RuntimeError) as info:
        send(wallets, chain, "0a0b", rpc_url="http://127.0.0.1:9")
    assert (
        str(info.value)
        == f"invalid transaction: encode_signed_transaction not implemented for {chain}"
    )
    assert not fake_curl.exists()


@pytest.mark.parametrize("url", ["-oops", "--output=/tmp/x"])
def test_url_that_looks_like_an_option_is_refused(wallets, fake_curl, url):
    with pytest.raises(RuntimeError) as info:
        send(wallets, "ethereum", EIP1559[0]["unsigned_payload"], rpc_url=url)
    assert str(info.value) == f"invalid input: RPC URL must not begin with '-': '{url}'"
    assert not fake_curl.exists()


def test_missing_curl(wallets, tmp_path, monkeypatch):
    monkeypatch.setenv("PATH", str(tmp_path))
    with pytest.raises(RuntimeError) as info:
        send(wallets, "ethereum", EIP1559[0]["unsigned_payload"], rpc_url="http://127.0.0.1:9")
    assert (
        str(info.value)
        == "broadcast failed: failed to run curl: No such file or directory (os error 2)"
    )


@pytest.mark.parametrize(
    ("tx", "text"),
    [
        ("0X02c0", "invalid input: invalid hex transaction: Invalid character 'X' at position 1"),
        ("02c", "invalid input: invalid hex transaction: Odd number of digits"),
        ("c0", "invalid transaction: unsupported transaction type (expected 0x01 or 0x02)"),
        ("", "invalid transaction: empty transaction"),
        ("02", "invalid transaction: empty input"),
        ("02f9", "invalid transaction: truncated length"),
        ("02c5", "invalid transaction: truncated RLP payload"),
    ],
)
def test_bad_evm_transactions_send_nothing(wallets, fake_curl, tx, text):
    with pytest.raises(RuntimeError) as info:
        send(wallets, "ethereum", tx, rpc_url="http://127.0.0.1:9")
    assert str(info.value) == text
    assert not fake_curl.exists()


def test_unknown_chain_comes_first(wallets, fake_curl):
    with pytest.raises(RuntimeError, match=r"^invalid input: unknown chain: 'nope'"):
        native.sign_and_send("ghost", "nope", "zz", vault_path_opt=wallets)
