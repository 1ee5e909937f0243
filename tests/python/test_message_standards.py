"""sign_message_standard and verify_message_standard: the published BIP-322,
ADR-036 and Solana off-chain vectors, and every signature checked again by an
implementation of the standard written here, over coincurve and PyNaCl."""

import base64
import hashlib
import json

import coincurve
import nacl.signing
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import oxa
import oxa._ext as ext
from b58 import b58encode
from conftest import DATA, answer, snapshot

BIP322 = json.loads((DATA / "bip322-simple.json").read_text())
ADR036 = json.loads((DATA / "adr036.json").read_text())
OFFCHAIN = json.loads((DATA / "solana-offchain-message.json").read_text())
ED_KEY = "22" * 32
LEDGER_LIMIT, LIMIT = 1212, 65515


@pytest.fixture(scope="module")
def key_vault(tmp_path_factory) -> str:
    """A private-key wallet "w" holding BIP-322's published key."""
    path = str(tmp_path_factory.mktemp("standards") / "vault")
    oxa.import_wallet_private_key(
        "w", "", secp256k1_key=BIP322["key"]["private_key"], ed25519_key=ED_KEY, vault_path_opt=path
    )
    return path


def sign(vault: str, chain: str, message: str, standard: str, **options) -> str:
    result = ext.sign_message_standard(
        "w", chain, message, standard, vault_path_opt=vault, **options
    )
    assert list(result) == ["signature", "recovery_id"]
    assert result["recovery_id"] is None
    return result["signature"]


# BIP-322, written from the BIP: the virtual transactions and their BIP-143 hash.


def sha256d(data: bytes) -> bytes:
    return hashlib.sha256(hashlib.sha256(data).digest()).digest()


def bip322_sighash(message: bytes, key_hash: bytes) -> bytes:
    tag = hashlib.sha256(b"BIP0322-signed-message").digest()
    message_hash = hashlib.sha256(tag + tag + message).digest()
    zero4 = bytes(4)
    to_spend = (
        zero4
        + b"\x01"
        + bytes(32)
        + b"\xff\xff\xff\xff"
        + b"\x22\x00\x20"
        + message_hash
        + zero4
        + b"\x01"
        + bytes(8)
        + b"\x16\x00\x14"
        + key_hash
        + zero4
    )
    outpoint = sha256d(to_spend) + zero4
    preimage = (
        zero4
        + sha256d(outpoint)
        + sha256d(zero4)
        + outpoint
        + b"\x19\x76\xa9\x14"
        + key_hash
        + b"\x88\xac"
        + bytes(8)
        + zero4
        + sha256d(bytes(8) + b"\x01\x6a")
        + zero4
        + b"\x01\x00\x00\x00"
    )
    return sha256d(preimage)


def bip322_checks_out(message: bytes, signature: str, key_hash: bytes) -> bool:
    witness = base64.b64decode(signature, validate=True)
    assert witness[0] == 2
    der_length = witness[1]
    der, sighash_type = witness[2 : 2 + der_length - 1], witness[1 + der_length]
    public_key = witness[3 + der_length :]
    assert (sighash_type, witness[2 + der_length], len(public_key)) == (1, 33, 33)
    assert hashlib.new("ripemd160", hashlib.sha256(public_key).digest()).digest() == key_hash
    return coincurve.PublicKey(public_key).verify(der, bip322_sighash(message, key_hash), None)


BIP322_KEY_HASH = bytes.fromhex(BIP322["key"]["script_pubkey"])[2:]


def test_bip322_wallet_signs_the_published_signatures(key_vault):
    assert oxa.get_wallet("w", key_vault)["accounts"][2]["address"] == BIP322["key"]["address"]
    for published in BIP322["simple_signatures"]:
        if published["nonce"].startswith("RFC 6979 (HMAC-SHA256, no extra data)"):
            assert (
                sign(key_vault, "bitcoin", published["message"], "bip322-simple")
                == (published["signature_base64"])
            )


def test_bip322_published_signatures_verify_in_both_forms():
    address = BIP322["key"]["address"]
    for published in BIP322["simple_signatures"]:
        for form in ("signature_base64", "signature_prefixed"):
            assert ext.verify_message_standard(
                "bitcoin", published["message"], published[form], address, "bip322-simple"
            )


def test_bip322_must_fail_cases_never_verify():
    for case in BIP322["error_cases"]:
        args = (case["message"], case["signature"], case["address"], "bip322-simple")
        result = answer(ext.verify_message_standard, "bitcoin", *args)
        assert result is False or result.startswith(
            ("invalid input: invalid signature: ", "invalid input: invalid address: ")
        ), case["description"]


@settings(max_examples=8, deadline=None)
@given(message=st.text(max_size=200))
def test_bip322_signatures_check_out_independently(key_vault, message):
    signature = sign(key_vault, "bitcoin", message, "bip322-simple")
    assert bip322_checks_out(message.encode(), signature, BIP322_KEY_HASH)
    address = BIP322["key"]["address"]
    assert ext.verify_message_standard("bitcoin", message, signature, address, "bip322-simple")
    assert ext.verify_message_standard(
        "bitcoin", message, "smp" + signature, address, "bip322-simple"
    )
    assert not ext.verify_message_standard(
        "bitcoin", message + "!", signature, address, "bip322-simple"
    )


# ADR-036, written from the ADR and the wallets' canonical JSON.


def adr036_digest(signer: str, data: bytes) -> bytes:
    document = {
        "account_number": "0",
        "chain_id": "",
        "fee": {"amount": [], "gas": "0"},
        "memo": "",
        "msgs": [
            {
                "type": "sign/MsgSignData",
                "value": {"data": base64.b64encode(data).decode(), "signer": signer},
            }
        ],
        "sequence": "0",
    }
    text = json.dumps(document, sort_keys=True, separators=(",", ":"), ensure_ascii=False)
    for char, escaped in (("<", "\\u003c"), (">", "\\u003e"), ("&", "\\u0026")):
        text = text.replace(char, escaped)
    return hashlib.sha256(text.encode()).digest()


def test_adr036_published_signature_verifies():
    published = ADR036["vectors"][0]
    args = (published["message"], published["signature_base64"], published["signer"], "adr036")
    assert ext.verify_message_standard("cosmos", *args)
    wrong = base64.b64encode(bytes.fromhex(published["wrong_signature_rsv_hex"])[:64]).decode()
    assert not ext.verify_message_standard(
        "cosmos", published["message"], wrong, published["signer"], "adr036"
    )


@settings(max_examples=8, deadline=None)
@given(message=st.text(min_size=1, max_size=200) | st.sampled_from(["<a href='x'>&amp;</a>"]))
def test_adr036_signatures_check_out_independently(key_vault, message):
    address = oxa.get_wallet("w", key_vault)["accounts"][3]["address"]
    signature = base64.b64decode(sign(key_vault, "cosmos", message, "adr036"), validate=True)
    assert len(signature) == 64
    assert int.from_bytes(signature[32:], "big") <= coincurve.utils.GROUP_ORDER_INT // 2
    digest = adr036_digest(address, message.encode())
    public_key = coincurve.PrivateKey(bytes.fromhex(BIP322["key"]["private_key"])).public_key
    recovered = [
        coincurve.PublicKey.from_signature_and_message(signature + bytes([rid]), digest, None)
        for rid in (0, 1)
    ]
    assert public_key in recovered
    encoded = base64.b64encode(signature).decode()
    assert ext.verify_message_standard("cosmos", message, encoded, address, "adr036")


# Solana off-chain messages in the layout of `solana sign-offchain-message`.


def offchain_message(body: bytes) -> bytes:
    if len(body) > LEDGER_LIMIT:
        message_format = 2
    else:
        message_format = 0 if all(0x20 <= b <= 0x7E for b in body) else 1
    header = b"\xffsolana offchain" + bytes([0, message_format]) + len(body).to_bytes(2, "little")
    return header + body


def test_offchain_serialization_is_the_sdks():
    for published in OFFCHAIN["sdk_vectors"]:
        assert offchain_message(published["message"].encode()).hex() == published["serialized_hex"]


@settings(max_examples=8, deadline=None)
@given(
    message=st.text(min_size=1, max_size=100)
    | st.builds(lambda n: "a" * n, st.sampled_from([LEDGER_LIMIT, LEDGER_LIMIT + 1, LIMIT]))
)
def test_offchain_signatures_check_out_independently(key_vault, message):
    signature = bytes.fromhex(sign(key_vault, "solana", message, "solana-offchain"))
    verify_key = nacl.signing.SigningKey(bytes.fromhex(ED_KEY)).verify_key
    verify_key.verify(offchain_message(message.encode()), signature)
    address = b58encode(bytes(verify_key))
    assert ext.verify_message_standard(
        "solana", message, signature.hex(), address, "solana-offchain"
    )
    # A plain signature of the same text is another signature.
    assert not ext.verify_message_standard(
        "solana", message, verify_key_signature(message.encode()).hex(), address, "solana-offchain"
    )


def verify_key_signature(message: bytes) -> bytes:
    return nacl.signing.SigningKey(bytes.fromhex(ED_KEY)).sign(message).signature


@pytest.mark.parametrize(
    ("message", "encoding", "text"),
    [
        ("", None, "the message is empty"),
        ("ff", "hex", "the message is not UTF-8 (invalid utf-8 sequence of 1 bytes from index 0)"),
        ("a" * (LIMIT + 1), None, f"the message is {LIMIT + 1} bytes, the limit is {LIMIT}"),
    ],
)
def test_offchain_refuses_before_the_passphrase(key_vault, message, encoding, text):
    before = snapshot(key_vault)
    with pytest.raises(RuntimeError) as refused:
        ext.sign_message_standard(
            "w",
            "solana",
            message,
            "solana-offchain",
            "wrong",
            encoding=encoding,
            vault_path_opt=key_vault,
        )
    assert str(refused.value) == f"invalid input: solana-offchain: {text}"
    assert snapshot(key_vault) == before


# By name.


@pytest.mark.parametrize(
    ("chain", "standard", "text"),
    [
        ("ethereum", "adr036", "message standard 'adr036' is for cosmos, not evm"),
        ("solana", "bip322-simple", "message standard 'bip322-simple' is for bitcoin, not solana"),
        (
            "bitcoin",
            "bip322",
            (
                "unknown message standard: 'bip322' (use 'bip322-simple', 'adr036' or "
                "'solana-offchain')"
            ),
        ),
    ],
)
def test_standards_belong_to_their_family(key_vault, chain, standard, text):
    with pytest.raises(RuntimeError) as refused:
        ext.sign_message_standard("w", chain, "m", standard, "wrong", vault_path_opt=key_vault)
    assert str(refused.value) == f"invalid input: {text}"
    with pytest.raises(RuntimeError) as refused:
        ext.verify_message_standard(chain, "m", "AA==", "x", standard)
    assert str(refused.value) == f"invalid input: {text}"


def test_wrong_passphrase_is_reported_after_the_input_checks(key_vault):
    with pytest.raises(RuntimeError, match=r"^decryption failed"):
        ext.sign_message_standard("w", "cosmos", "m", "adr036", "wrong", vault_path_opt=key_vault)


def test_the_package_exports_the_standards():
    for name in ("sign_message_standard", "verify_message_standard"):
        assert getattr(oxa, name) is getattr(ext, name)
        assert name in oxa.__all__
