"""sign_message and sign_transaction, each signature checked by an independent library."""

import hashlib

import coincurve
import nacl.exceptions
import nacl.signing
import pytest
from eth_account import Account
from eth_account.messages import encode_defunct
from eth_utils import keccak

import oxa._native as native
from b58 import b58decode
from conftest import ABANDON_PHRASE, snapshot


def account(vault, wallet, chain_id):
    info = native.get_wallet(wallet, vault_path_opt=vault)
    return next(a["address"] for a in info["accounts"] if a["chain_id"] == chain_id)


def recover(signature_hex: str, digest: bytes) -> coincurve.PublicKey:
    signature = bytes.fromhex(signature_hex)
    return coincurve.PublicKey.from_signature_and_message(signature, digest, hasher=None)


def test_evm_message_recovers_the_wallet_address(shared_vault):
    result = native.sign_message(
        "main", "ethereum", "hello", passphrase="pw", vault_path_opt=shared_vault
    )
    assert list(result) == ["signature", "recovery_id"]
    assert result["recovery_id"] in (27, 28)
    assert int(result["signature"][-2:], 16) == result["recovery_id"]
    signer = Account.recover_message(
        encode_defunct(text="hello"), signature=bytes.fromhex(result["signature"])
    )
    assert signer == account(shared_vault, "main", "eip155:1")


@pytest.mark.parametrize("chain", ["solana", "ton"])
def test_ed25519_messages_verify(shared_vault, chain):
    result = native.sign_message(
        "main", chain, "hello", passphrase="pw", vault_path_opt=shared_vault
    )
    assert result["recovery_id"] is None
    signature = bytes.fromhex(result["signature"])
    if chain == "solana":
        public_key = b58decode(
            account(shared_vault, "main", "solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp")
        )
        nacl.signing.VerifyKey(public_key).verify(b"hello", signature)
    else:
        assert len(signature) == 64


def test_bitcoin_cosmos_tron_messages_recover_to_one_key(shared_vault):
    message = b"hello"
    prefix = b"\x18Bitcoin Signed Message:\n" + bytes([len(message)]) + message
    digests = {
        "bitcoin": hashlib.sha256(hashlib.sha256(prefix).digest()).digest(),
        "cosmos": hashlib.sha256(message).digest(),
        "tron": keccak(b"\x19TRON Signed Message:\n5" + message),
    }
    keys = set()
    for chain, digest in digests.items():
        result = native.sign_message(
            "main", chain, "hello", passphrase="pw", vault_path_opt=shared_vault
        )
        assert result["recovery_id"] in (0, 1)
        keys.add((chain, recover(result["signature"], digest).format()))
    # The three families use different paths, so three different keys recover.
    assert len({key for _, key in keys}) == 3


def test_encodings(shared_vault):
    def sign(message, **kw):
        return native.sign_message(
            "main", "ethereum", message, passphrase="pw", vault_path_opt=shared_vault, **kw
        )

    plain = sign("hi")
    assert sign("hi", encoding="utf8") == plain
    assert sign("6869", encoding="hex") == plain
    assert sign("6869".upper(), encoding="hex") == plain
    for name in ("UTF8", "utf-8", "base64", ""):
        with pytest.raises(RuntimeError) as info:
            sign("hi", encoding=name)
        assert (
            str(info.value) == f"invalid input: unsupported encoding: {name} (use 'utf8' or 'hex')"
        )
    with pytest.raises(RuntimeError) as info:
        sign("0x6869", encoding="hex")
    assert (
        str(info.value) == "invalid input: invalid hex message: Invalid character 'x' at position 1"
    )
    with pytest.raises(RuntimeError) as info:
        sign("686", encoding="hex")
    assert str(info.value) == "invalid input: invalid hex message: Odd number of digits"


def test_transaction_hex_prefix(shared_vault):
    def sign(tx):
        return native.sign_transaction(
            "main", "ethereum", tx, passphrase="pw", vault_path_opt=shared_vault
        )

    assert sign("0x02c0") == sign("02c0")
    digest = keccak(bytes.fromhex("02c0"))
    result = sign("02c0")
    assert result["recovery_id"] in (0, 1)
    assert recover(result["signature"], digest).format(compressed=False)
    with pytest.raises(RuntimeError) as info:
        sign("0X02c0")
    assert (
        str(info.value)
        == "invalid input: invalid hex transaction: Invalid character 'X' at position 1"
    )


def test_input_errors_come_before_the_passphrase(shared_vault):
    with pytest.raises(RuntimeError, match=r"^invalid input: unknown chain: 'nope'"):
        native.sign_message("main", "nope", "m", passphrase="wrong", vault_path_opt=shared_vault)
    with pytest.raises(RuntimeError, match=r"^invalid input: unsupported encoding"):
        native.sign_message("missing", "ethereum", "m", encoding="x", vault_path_opt=shared_vault)
    with pytest.raises(RuntimeError, match=r"^invalid input: invalid hex transaction"):
        native.sign_transaction("missing", "ethereum", "zz", vault_path_opt=shared_vault)


def test_wrong_passphrase_and_unknown_wallet(shared_vault):
    before = snapshot(shared_vault)
    with pytest.raises(RuntimeError) as info:
        native.sign_message("main", "ethereum", "m", passphrase="nope", vault_path_opt=shared_vault)
    assert str(info.value) == "decryption failed: aead::Error"
    with pytest.raises(RuntimeError) as info:
        native.sign_message("ghost", "ethereum", "m", vault_path_opt=shared_vault)
    assert str(info.value) == "wallet not found: 'ghost'"
    assert snapshot(shared_vault) == before


def test_mnemonic_wallet_index(shared_vault):
    def sign(**kw):
        return native.sign_message(
            "main", "ethereum", "m", passphrase="pw", vault_path_opt=shared_vault, **kw
        )["signature"]

    assert sign() == sign(index=0)
    one = sign(index=1)
    assert one != sign()
    signer = Account.recover_message(encode_defunct(text="m"), signature=bytes.fromhex(one))
    assert signer == native.derive_address(ABANDON_PHRASE, "ethereum", 1)


def test_private_key_wallet_ignores_the_index_and_picks_the_curve(shared_vault):
    secp_public = coincurve.PrivateKey(bytes.fromhex("11" * 32)).public_key.format()
    ed_public = nacl.signing.SigningKey(bytes.fromhex("22" * 32)).verify_key
    for index in (None, 0, 7):
        result = native.sign_message(
            "keys", "cosmos", "m", index=index, vault_path_opt=shared_vault
        )
        assert recover(result["signature"], hashlib.sha256(b"m").digest()).format() == secp_public
        for chain in ("solana", "ton"):
            result = native.sign_message(
                "keys", chain, "m", index=index, vault_path_opt=shared_vault
            )
            ed_public.verify(b"m", bytes.fromhex(result["signature"]))
    with pytest.raises(nacl.exceptions.BadSignatureError):
        ed_public.verify(b"other", bytes.fromhex(result["signature"]))


@pytest.mark.parametrize("chain", ["ethereum", "solana", "bitcoin", "cosmos", "tron", "ton"])
def test_signatures_are_lowercase_even_hex(shared_vault, chain):
    signature = native.sign_transaction("keys", chain, "00ff", vault_path_opt=shared_vault)[
        "signature"
    ]
    assert signature == signature.lower()
    assert len(signature) % 2 == 0
    assert len(signature) == (128 if chain in ("solana", "ton") else 130)
