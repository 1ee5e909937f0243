"""EIP-712 typed data: hash_typed_data, sign_typed_data and verify_typed_data
against eth-account, on fixed requests and on generated type trees."""

import copy
import json

import pytest
from eth_account import Account
from eth_account.messages import encode_typed_data
from eth_utils import keccak, to_checksum_address
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import oxa
import oxa._ext as ext
from conftest import ABANDON, DATA, snapshot

KEY = "0x" + "11" * 32  # the secp256k1 key of shared_vault's wallet "keys"
ADDRESS = Account.from_key(KEY).address
MAIL = json.loads((DATA / "eip712.json").read_text())["vectors"][0]["typed_data"]
UINT256_MAX = 2**256 - 1
PERMIT = {
    "types": {
        "EIP712Domain": [
            {"name": "name", "type": "string"},
            {"name": "version", "type": "string"},
            {"name": "chainId", "type": "uint256"},
            {"name": "verifyingContract", "type": "address"},
        ],
        "Permit": [
            {"name": "owner", "type": "address"},
            {"name": "spender", "type": "address"},
            {"name": "value", "type": "uint256"},
            {"name": "nonce", "type": "uint256"},
            {"name": "deadline", "type": "uint256"},
        ],
    },
    "primaryType": "Permit",
    "domain": {
        "name": "USD Coin",
        "version": "2",
        "chainId": 1,
        "verifyingContract": "0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48",
    },
    "message": {
        "owner": ADDRESS,
        "spender": "0x000000000022d473030f116ddee9f6b43ac78ba3",
        "value": UINT256_MAX,
        "nonce": "0x0",
        "deadline": "1893456000",
    },
}
ITEM = [
    {"name": "itemType", "type": "uint8"},
    {"name": "token", "type": "address"},
    {"name": "identifierOrCriteria", "type": "uint256"},
    {"name": "amount", "type": "uint256"},
]
ORDER = {
    "types": {
        "EIP712Domain": [
            {"name": "name", "type": "string"},
            {"name": "chainId", "type": "uint256"},
            {"name": "salt", "type": "bytes32"},
        ],
        "Order": [
            {"name": "offerer", "type": "address"},
            {"name": "offer", "type": "OfferItem[]"},
            {"name": "consideration", "type": "Consideration[2]"},
            {"name": "zoneHash", "type": "bytes32"},
            {"name": "startTime", "type": "uint40"},
            {"name": "priceDelta", "type": "int128"},
            {"name": "tags", "type": "string[]"},
            {"name": "extraData", "type": "bytes"},
            {"name": "partial", "type": "bool"},
        ],
        "OfferItem": ITEM,
        "Consideration": [
            {"name": "item", "type": "OfferItem"},
            {"name": "recipients", "type": "address[][]"},
        ],
    },
    "primaryType": "Order",
    "domain": {"name": "Market", "chainId": "137", "salt": "0x" + "5a" * 32},
    "message": {
        "offerer": ADDRESS.lower(),
        "offer": [
            {"itemType": 2, "token": ADDRESS, "identifierOrCriteria": 7, "amount": 1},
            {"itemType": "3", "token": ADDRESS, "identifierOrCriteria": "0x1f", "amount": 10},
        ],
        "consideration": [
            {
                "item": {"itemType": 0, "token": ADDRESS, "identifierOrCriteria": 0, "amount": 5},
                "recipients": [[ADDRESS], []],
            },
            {
                "item": {"itemType": 1, "token": ADDRESS, "identifierOrCriteria": 0, "amount": 6},
                "recipients": [],
            },
        ],
        "zoneHash": "0x" + "00" * 32,
        "startTime": 1700000000,
        "priceDelta": -(2**127),
        "tags": ["rare", "", "ünïcode ☃"],
        "extraData": "0x",
        "partial": False,
        "note": "not a member: passed over",
    },
}
REQUESTS = {"mail": MAIL, "permit": PERMIT, "order": ORDER}


def reference_digest(document) -> bytes:
    signable = encode_typed_data(full_message=copy.deepcopy(document))
    return keccak(b"\x19" + signable.version + signable.header + signable.body)


def reference_signature(document, key: str = KEY) -> str:
    signed = Account.sign_message(encode_typed_data(full_message=copy.deepcopy(document)), key)
    return bytes(signed.signature).hex()


def test_the_package_exports_the_typed_data_functions():
    for name in ("hash_typed_data", "sign_typed_data", "verify_typed_data"):
        assert getattr(oxa, name) is getattr(ext, name)
        assert name in oxa.__all__


@pytest.mark.parametrize("name", REQUESTS)
def test_requests_hash_and_sign_as_eth_account_does(shared_vault, name):
    document = REQUESTS[name]
    text = json.dumps(document)
    assert oxa.hash_typed_data(text) == reference_digest(document).hex()
    signed = oxa.sign_typed_data("keys", text, vault_path_opt=shared_vault)
    expected = reference_signature(document)
    assert signed == {"signature": expected, "recovery_id": int(expected[-2:], 16)}
    assert signed["recovery_id"] in (27, 28)
    assert oxa.verify_typed_data(text, signed["signature"], ADDRESS)


def test_the_key_follows_the_index_and_the_passphrase(shared_vault):
    text = json.dumps(MAIL)
    first = ABANDON["accounts"][0]
    assert first["chain"] == "ethereum"
    signed = oxa.sign_typed_data("main", text, "pw", vault_path_opt=shared_vault)
    assert signed["signature"] == reference_signature(MAIL, "0x" + first["private_key"])
    second = oxa.sign_typed_data("main", text, "pw", index=1, vault_path_opt=shared_vault)
    assert oxa.verify_typed_data(text, second["signature"], first["more_indexes"][0]["address"])
    assert not oxa.verify_typed_data(text, second["signature"], first["address"])


def test_verification_takes_each_signature_and_address_form():
    text = json.dumps(PERMIT)
    signature = reference_signature(PERMIT)
    v = int(signature[-2:], 16)
    bare_v = signature[:-2] + f"{v - 27:02x}"
    for form in (signature, "0x" + signature, signature.upper(), bare_v, "0x" + bare_v):
        for address in (ADDRESS, ADDRESS.lower(), "0x" + ADDRESS[2:].upper()):
            assert oxa.verify_typed_data(text, form, address), (form, address)


def high_s_twin(signature: str) -> str:
    order = 0xFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFEBAAEDCE6AF48A03BBFD25E8CD0364141
    r, s, v = signature[:64], int(signature[64:128], 16), int(signature[128:], 16)
    return r + f"{order - s:064x}" + f"{27 + ((v - 27) ^ 1):02x}"


def test_a_well_formed_signature_that_does_not_match_is_false():
    text = json.dumps(PERMIT)
    signature = reference_signature(PERMIT)
    other = json.loads(text)
    other["message"]["nonce"] = 1
    flipped_v = signature[:-2] + ("1c" if signature.endswith("1b") else "1b")
    assert not oxa.verify_typed_data(json.dumps(other), signature, ADDRESS)
    assert not oxa.verify_typed_data(text, signature, to_checksum_address("0x" + "ab" * 20))
    assert not oxa.verify_typed_data(text, flipped_v, ADDRESS)
    assert not oxa.verify_typed_data(text, "00" * 64 + "1b", ADDRESS)
    assert not oxa.verify_typed_data(text, "ff" * 64 + "1b", ADDRESS)
    # The high-S twin is the same signature to ecrecover and to eth-account.
    twin = high_s_twin(signature)
    assert (
        Account.recover_message(
            encode_typed_data(full_message=copy.deepcopy(PERMIT)), signature=bytes.fromhex(twin)
        )
        == ADDRESS
    )
    assert oxa.verify_typed_data(text, twin, ADDRESS)


@pytest.mark.parametrize(
    ("signature", "address", "error"),
    [
        ("zz", ADDRESS, "invalid hex signature: Invalid character 'z' at position 0"),
        ("0X" + "11" * 65, ADDRESS, "invalid hex signature: Invalid character 'X' at position 1"),
        ("11" * 64, ADDRESS, "invalid signature: expected 65 bytes (r || s || v), got 64"),
        ("11" * 64 + "1d", ADDRESS, "invalid signature: v must be 27, 28, 0 or 1, got 29"),
        ("11" * 64 + "02", ADDRESS, "invalid signature: v must be 27, 28, 0 or 1, got 2"),
        ("11" * 64 + "1b", ADDRESS[:-1], "invalid EVM address: expected 0x and 40 hex digits"),
        ("11" * 64 + "1b", ADDRESS[2:], "invalid EVM address: expected 0x and 40 hex digits"),
        (
            "11" * 64 + "1b",
            ADDRESS[:2] + ADDRESS[2:].swapcase(),
            "invalid EVM address: EIP-55 checksum mismatch",
        ),
    ],
)
def test_malformed_verification_arguments_are_errors(signature, address, error):
    with pytest.raises(RuntimeError) as info:
        oxa.verify_typed_data(json.dumps(PERMIT), signature, address)
    assert str(info.value) == f"invalid input: {error}"


@pytest.mark.parametrize(
    ("mutate", "error"),
    [
        (lambda d: d.pop("primaryType"), "missing field `primaryType`"),
        (lambda d: d.pop("domain"), "missing field `domain`"),
        (
            lambda d: d["message"].update(value=1.5),
            "message.value: an integer cannot be given as a float",
        ),
        (lambda d: d["message"].update(value=2**256), "message.value: out of range for uint256"),
        (
            lambda d: d["types"]["Permit"].append({"name": "self", "type": "Permit"}),
            "type `Permit` holds itself, not through a dynamic array, so no value of it is finite",
        ),
        (
            lambda d: d["types"]["Permit"].append({"name": "x", "type": "Undefined"}),
            "undefined type `Undefined` (in `Permit.x`)",
        ),
        (
            lambda d: d["domain"].update(chainId="1e0"),
            "domain.chainId: expected an integer: decimal digits, or 0x and hex digits",
        ),
    ],
    ids=["no primaryType", "no domain", "float", "too big", "cycle", "undefined", "domain"],
)
def test_refused_documents_say_why_and_leave_the_vault_alone(shared_vault, mutate, error):
    document = copy.deepcopy(PERMIT)
    mutate(document)
    text = json.dumps(document)
    before = snapshot(shared_vault)
    calls = [
        lambda: oxa.hash_typed_data(text),
        lambda: oxa.verify_typed_data(text, "11" * 65, ADDRESS),
        # The document is refused before the vault is looked at.
        lambda: oxa.sign_typed_data("no such wallet", text, vault_path_opt=shared_vault),
    ]
    for call in calls:
        with pytest.raises(RuntimeError) as info:
            call()
        assert str(info.value).startswith(f"invalid input: typed data: {error}")
    assert snapshot(shared_vault) == before


def test_signing_failures_leave_the_vault_alone(shared_vault):
    before = snapshot(shared_vault)
    text = json.dumps(MAIL)
    with pytest.raises(RuntimeError, match="wallet not found"):
        oxa.sign_typed_data("no such wallet", text, vault_path_opt=shared_vault)
    with pytest.raises(RuntimeError):
        oxa.sign_typed_data("main", text, "wrong", vault_path_opt=shared_vault)
    assert snapshot(shared_vault) == before


# Generated requests: random struct types over every atomic type, arrays of
# every shape, nesting, self-reference through arrays, a domain of any subset
# of its fields, and values in every form eth_signTypedData_v4 allows.

ATOMIC_TYPES = [
    "address",
    "bool",
    "string",
    "bytes",
    *(f"bytes{n}" for n in range(1, 33)),
    *(f"uint{bits}" for bits in range(8, 257, 8)),
    *(f"int{bits}" for bits in range(8, 257, 8)),
]
RESERVED = {*ATOMIC_TYPES, "uint", "int", "EIP712Domain"}
IDENTIFIERS = st.from_regex(r"[A-Za-z_$][A-Za-z0-9_$]{0,11}", fullmatch=True)
DOMAIN_FIELDS = [
    ("name", "string"),
    ("version", "string"),
    ("chainId", "uint256"),
    ("verifyingContract", "address"),
    ("salt", "bytes32"),
]


def hex_text(data: bytes, upper: bool) -> str:
    digits = data.hex()
    return "0x" + (digits.upper() if upper else digits)


@st.composite
def atomic_values(draw, type_: str):
    if type_ == "address":
        raw = "0x" + draw(st.binary(min_size=20, max_size=20)).hex()
        return draw(st.sampled_from([raw, to_checksum_address(raw)]))
    if type_ == "bool":
        return draw(st.booleans())
    if type_ == "string":
        return draw(st.text(max_size=12))
    if type_ == "bytes":
        return hex_text(draw(st.binary(max_size=40)), draw(st.booleans()))
    if type_.startswith("bytes"):
        size = int(type_[5:])
        return hex_text(draw(st.binary(min_size=size, max_size=size)), draw(st.booleans()))
    signed = type_.startswith("int")
    bits = int(type_[3:] if signed else type_[4:])
    low, high = (-(2 ** (bits - 1)), 2 ** (bits - 1) - 1) if signed else (0, 2**bits - 1)
    value = draw(st.integers(low, high) | st.sampled_from([low, high]))
    forms = [value, str(value)] + ([hex(value)] if value >= 0 else [])
    return draw(st.sampled_from(forms))


@st.composite
def member_types(draw, own: str, later: list[str]):
    base = draw(st.sampled_from(ATOMIC_TYPES) | st.sampled_from([*later, own]))
    # Structs under one array level at most, so that values stay small.
    depth = 2 if base in ATOMIC_TYPES else 1
    levels = draw(st.lists(st.sampled_from(["[]", "[1]", "[2]"]), max_size=depth))
    if base == own and "[]" not in levels:
        levels.append("[]")  # a struct holds itself only through a dynamic array
    return base + "".join(levels)


@st.composite
def struct_types(draw):
    names = draw(
        st.lists(
            IDENTIFIERS.filter(lambda n: n not in RESERVED), min_size=1, max_size=4, unique=True
        )
    )
    types = {}
    for i, name in enumerate(names):
        member_names = draw(st.lists(IDENTIFIERS, max_size=4, unique=True))
        types[name] = [
            {"name": member, "type": draw(member_types(name, names[i + 1 :]))}
            for member in member_names
        ]
    # Every struct is reachable from the first, the primary type: eth-account
    # takes the primary type to be the one struct no other refers to.
    for i, name in enumerate(names[1:], start=1):
        referring = types[names[draw(st.integers(0, i - 1))]]
        taken = {m["name"] for m in referring}
        field = draw(IDENTIFIERS.filter(lambda n, taken=taken: n not in taken))
        referring.append({"name": field, "type": name + draw(st.sampled_from(["", "[]", "[2]"]))})
    return names[0], types


@st.composite
def values(draw, type_: str, types: dict, depth: int):
    if type_.endswith("]"):
        inner, length = type_[: type_.rindex("[")], type_[type_.rindex("[") + 1 : -1]
        if length:
            count = int(length)
        elif inner.split("[")[0] in types and depth > 3:
            count = 0  # every struct that holds itself does so through a dynamic array
        else:
            count = draw(st.integers(0, 2))
        return [draw(values(inner, types, depth + 1)) for _ in range(count)]
    if type_ in types:
        value = {m["name"]: draw(values(m["type"], types, depth + 1)) for m in types[type_]}
        if draw(st.booleans()):
            value["extra key"] = "passed over"
        return value
    return draw(atomic_values(type_))


@st.composite
def requests(draw):
    primary, types = draw(struct_types())
    fields = [f for f in DOMAIN_FIELDS if draw(st.booleans())]
    if draw(st.booleans()):
        types["EIP712Domain"] = [{"name": name, "type": type_} for name, type_ in fields]
    return {
        "types": types,
        "primaryType": primary,
        "domain": {name: draw(atomic_values(type_)) for name, type_ in fields},
        "message": draw(values(primary, types, 0)),
    }


@settings(max_examples=150, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(requests())
def test_generated_requests_hash_as_eth_account_does(document):
    text = json.dumps(document)
    assert oxa.hash_typed_data(text) == reference_digest(document).hex()
    assert oxa.verify_typed_data(text, reference_signature(document), ADDRESS)


@settings(
    max_examples=5,
    deadline=None,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.function_scoped_fixture],
)
@given(requests())
def test_generated_requests_sign_as_eth_account_does(shared_vault, document):
    signed = oxa.sign_typed_data("keys", json.dumps(document), vault_path_opt=shared_vault)
    assert signed["signature"] == reference_signature(document)
