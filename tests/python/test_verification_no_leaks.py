"""The signature checks and the message standards, called many times on success
and on each kind of failure, leak nothing (as test_no_leaks checks the
thirteen)."""

import json

import nacl.signing
import pytest

import oxa._ext as ext
from b58 import b58encode
from conftest import DATA
from test_no_leaks import SCRYPT_ROUNDS, Scenario, assert_no_leak, fresh, traced  # noqa: F401

PERSONAL = json.loads((DATA / "eip1559.json").read_text())["eip191_personal_sign"][0]
EVM_MESSAGE = fresh(PERSONAL["message_utf8"])
EVM_SIGNATURE = fresh(PERSONAL["signature"])
EVM_ADDRESS = fresh(PERSONAL["address"])
BIP322 = json.loads((DATA / "bip322-simple.json").read_text())
BIP322_SIGNATURE = fresh(BIP322["simple_signatures"][3]["signature_base64"])
BIP322_ADDRESS = fresh(BIP322["key"]["address"])
ED_KEY = nacl.signing.SigningKey(bytes.fromhex("22" * 32))
SOLANA_ADDRESS = fresh(b58encode(bytes(ED_KEY.verify_key)))
SOLANA_SIGNATURE = fresh(ED_KEY.sign(b"gm").signature.hex())


def scenarios(shared: str) -> list[Scenario]:
    s = Scenario
    keys, evm, hello = fresh("keys"), fresh("ethereum"), fresh("Hello World")
    bip322, bitcoin = fresh("bip322-simple"), fresh("bitcoin")
    return [
        s("verify_true", ext.verify_message, (evm, EVM_MESSAGE, EVM_SIGNATURE, EVM_ADDRESS)),
        s("verify_false", ext.verify_message, (evm, fresh("x"), EVM_SIGNATURE, EVM_ADDRESS)),
        s(
            "verify_ed25519",
            ext.verify_message,
            (fresh("solana"), fresh("gm"), SOLANA_SIGNATURE, SOLANA_ADDRESS),
        ),
        s(
            "verify_malformed",
            ext.verify_message,
            (evm, EVM_MESSAGE, fresh("zz"), EVM_ADDRESS),
            raises=RuntimeError,
        ),
        s(
            "verify_bytes",
            ext.verify_message,
            (evm, b"m", EVM_SIGNATURE, EVM_ADDRESS),
            raises=TypeError,
        ),
        s("recover_ok", ext.recover_address, (evm, EVM_MESSAGE, EVM_SIGNATURE)),
        s(
            "recover_ed25519",
            ext.recover_address,
            (fresh("ton"), fresh("gm"), SOLANA_SIGNATURE),
            raises=RuntimeError,
        ),
        s(
            "standard_verify_true",
            ext.verify_message_standard,
            (bitcoin, hello, BIP322_SIGNATURE, BIP322_ADDRESS, bip322),
        ),
        s(
            "standard_verify_bad_base64",
            ext.verify_message_standard,
            (bitcoin, hello, fresh("!!"), BIP322_ADDRESS, bip322),
            raises=RuntimeError,
        ),
        s(
            "standard_sign_ok",
            ext.sign_message_standard,
            (keys, bitcoin, hello, bip322),
            {"vault_path_opt": shared},
            rounds=SCRYPT_ROUNDS,
        ),
        s(
            "standard_sign_offchain",
            ext.sign_message_standard,
            (keys, fresh("solana"), hello, fresh("solana-offchain")),
            {"vault_path_opt": shared},
            rounds=SCRYPT_ROUNDS,
        ),
        s(
            "standard_sign_wrong_family",
            ext.sign_message_standard,
            (keys, evm, hello, bip322),
            {"vault_path_opt": shared},
            raises=RuntimeError,
        ),
        s(
            "standard_sign_float_index",
            ext.sign_message_standard,
            (keys, bitcoin, hello, bip322),
            {"index": 0.5},
            raises=TypeError,
        ),
    ]


@pytest.mark.parametrize("name", [s.name for s in scenarios("")])
def test_repeated_calls_leak_nothing(shared_vault, name):
    assert_no_leak(next(s for s in scenarios(shared_vault) if s.name == name))
