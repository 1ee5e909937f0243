"""verify_message and recover_address: signatures made by independent libraries
(eth-account, coincurve, PyNaCl) check out, addresses come out as bip-utils
spells them, every family's own signatures survive the round trip and no
changed byte passes."""

import hashlib

import coincurve
import nacl.signing
import pytest
from bip_utils import AtomAddrEncoder, P2WPKHAddrEncoder, TrxAddrEncoder
from eth_account import Account
from eth_account.messages import encode_defunct
from eth_utils import keccak
from hypothesis import given, settings
from hypothesis import strategies as st

import oxa
import oxa._ext as ext
import oxa._native as native
from b58 import b58encode
from conftest import answer

SECP_KEY, ED_KEY = "11" * 32, "22" * 32
CHAINS = ["ethereum", "solana", "bitcoin", "cosmos", "tron", "ton"]
ORDER = coincurve.utils.GROUP_ORDER_INT

secp256k1_keys = st.integers(min_value=1, max_value=ORDER - 1).map(
    lambda n: coincurve.PrivateKey(n.to_bytes(32, "big"))
)
messages = st.binary(max_size=300)


def bitcoin_digest(message: bytes) -> bytes:
    length = len(message)
    size = bytes([length]) if length < 253 else b"\xfd" + length.to_bytes(2, "little")
    preimage = b"\x18Bitcoin Signed Message:\n" + size + message
    return hashlib.sha256(hashlib.sha256(preimage).digest()).digest()


# What each secp256k1 family signs, and its address of a compressed key.
FAMILIES = {
    "bitcoin": (bitcoin_digest, lambda key: P2WPKHAddrEncoder.EncodeKey(key, hrp="bc")),
    "cosmos": (
        lambda message: hashlib.sha256(message).digest(),
        lambda key: AtomAddrEncoder.EncodeKey(key, hrp="cosmos"),
    ),
    "tron": (
        lambda message: keccak(
            b"\x19TRON Signed Message:\n" + str(len(message)).encode() + message
        ),
        TrxAddrEncoder.EncodeKey,
    ),
}


@settings(max_examples=25, deadline=None)
@given(key=secp256k1_keys, text=st.text(max_size=80))
def test_eth_account_signatures_verify_and_recover(key, text):
    account = Account.from_key(key.secret)
    signed = Account.sign_message(encode_defunct(text=text), key.secret)
    signature = signed.signature.hex()  # v is 27 or 28
    assert ext.verify_message("ethereum", text, signature, account.address)
    assert ext.recover_address("ethereum", text, signature) == account.address
    bare_v = signature[:-2] + f"{signed.v - 27:02x}"
    assert ext.verify_message("polygon", text, "0x" + bare_v, account.address.lower())
    assert not ext.verify_message("ethereum", text + ".", signature, account.address)


@pytest.mark.parametrize("chain", sorted(FAMILIES))
@settings(max_examples=20, deadline=None)
@given(key=secp256k1_keys, message=messages)
def test_coincurve_signatures_verify_for_each_secp256k1_family(chain, key, message):
    digest, address_of = FAMILIES[chain]
    signature = key.sign_recoverable(digest(message), hasher=None).hex()
    address = address_of(key.public_key.format())
    assert ext.verify_message(chain, message.hex(), signature, address, encoding="hex")
    assert ext.recover_address(chain, message.hex(), signature, "hex") == address
    other = address_of(coincurve.PrivateKey().public_key.format())
    assert not ext.verify_message(chain, message.hex(), signature, other, "hex")


@settings(max_examples=25, deadline=None)
@given(seed=st.binary(min_size=32, max_size=32), message=messages)
def test_pynacl_signatures_verify_for_solana_and_ton(seed, message):
    signing_key = nacl.signing.SigningKey(seed)
    public_key = bytes(signing_key.verify_key)
    signature = signing_key.sign(message).signature.hex()
    assert ext.verify_message("solana", message.hex(), signature, b58encode(public_key), "hex")
    assert ext.verify_message("ton", message.hex(), signature, public_key.hex(), "hex")
    other = bytes(nacl.signing.SigningKey.generate().verify_key)
    assert not ext.verify_message("solana", message.hex(), signature, b58encode(other), "hex")


def verify_address(vault, wallet, chain):
    """The address verification takes for the wallet's account of `chain`."""
    if chain == "ton":
        return bytes(nacl.signing.SigningKey(bytes.fromhex(ED_KEY)).verify_key).hex()
    family = native.get_wallet(wallet, vault_path_opt=vault)["accounts"]
    return family[CHAINS.index(chain)]["address"]


@pytest.mark.parametrize("chain", CHAINS)
def test_own_signatures_verify_and_no_changed_byte_does(shared_vault, chain):
    address = verify_address(shared_vault, "keys", chain)
    for message in ("", "ünïcødé ✓"):
        signature = native.sign_message("keys", chain, message, vault_path_opt=shared_vault)[
            "signature"
        ]
        assert ext.verify_message(chain, message, signature, address)
        if chain not in ("solana", "ton"):
            assert ext.recover_address(chain, message, signature) == address
        raw = bytearray.fromhex(signature)
        for i in range(len(raw)):
            raw[i] ^= 0x80
            result = answer(ext.verify_message, chain, message, raw.hex(), address)
            # False, or refused for a recovery id pushed out of range.
            assert result is False or result.startswith("invalid input: invalid signature: "), i
            raw[i] ^= 0x80


def test_mnemonic_wallet_accounts_recover_at_every_index(shared_vault):
    phrase = native.export_wallet("main", "pw", shared_vault)
    for index in (0, 3):
        for chain in ("ethereum", "bitcoin", "cosmos", "tron"):
            signature = native.sign_message(
                "main", chain, "gm", passphrase="pw", index=index, vault_path_opt=shared_vault
            )["signature"]
            address = native.derive_address(phrase, chain, index)
            assert ext.recover_address(chain, "gm", signature) == address


@pytest.mark.parametrize(
    ("chain", "signature", "address", "text"),
    [
        ("nope", "00", "x", "unknown chain: 'nope'"),
        ("ethereum", "0x1234", "0x" + "00" * 20, "invalid signature: expected 65 bytes"),
        (
            "ethereum",
            "aa" * 64 + "1b",
            "0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAeD",
            "invalid address: EIP-55 checksum mismatch",
        ),
        ("bitcoin", "aa" * 64 + "1b", "x", "invalid signature: recovery id 27, expected 0 to 3"),
        ("ton", "aa" * 64, "UQBHyuDvYjsBBOqxKj3xSe4o8C2PdrYL1a3obT3IWNW_LtaT", "invalid address: "),
    ],
)
def test_malformed_input_is_a_runtime_error(chain, signature, address, text):
    with pytest.raises(RuntimeError) as refused:
        ext.verify_message(chain, "m", signature, address)
    assert str(refused.value).startswith("invalid input: " + text)


def test_encodings_are_those_of_sign_message(shared_vault):
    signature = native.sign_message("keys", "cosmos", "hi", vault_path_opt=shared_vault)[
        "signature"
    ]
    address = verify_address(shared_vault, "keys", "cosmos")
    assert ext.verify_message("cosmos", "6869", signature, address, encoding="hex")
    assert ext.verify_message("cosmos", "hi", signature, address, encoding="utf8")
    for encoding, text in [
        ("UTF8", "unsupported encoding: UTF8 (use 'utf8' or 'hex')"),
        ("hex", "invalid hex message: Odd number of digits"),
    ]:
        with pytest.raises(RuntimeError) as refused:
            ext.verify_message("cosmos", "hi!", signature, address, encoding)
        assert str(refused.value) == f"invalid input: {text}"


def test_ed25519_families_do_not_recover():
    for chain in ("solana", "ton"):
        with pytest.raises(RuntimeError) as refused:
            ext.recover_address(chain, "m", "00" * 64)
        assert str(refused.value) == (
            f"invalid input: {chain} signs with Ed25519, whose signatures do not reveal the key: "
            "check one with verify_message and the account's address"
        )


def test_arguments_are_texts():
    with pytest.raises(TypeError, match="'signature' must be str"):
        ext.verify_message("ethereum", "m", b"\x00" * 65, "0x" + "00" * 20)  # type: ignore[arg-type]
    with pytest.raises(TypeError, match="'encoding' must be str"):
        ext.recover_address("ethereum", "m", "00", encoding=1)  # type: ignore[arg-type]


def test_the_package_exports_the_checks():
    for name in ("verify_message", "recover_address"):
        assert getattr(oxa, name) is getattr(ext, name)
        assert name in oxa.__all__
