"""derive_address: every chain, names and CAIP-2 ids, indices, argument kinds."""

import json
import pathlib

import pytest

import oxa._native as native

DATA = pathlib.Path(__file__).resolve().parent.parent / "data"
ABANDON = json.loads((DATA / "addresses-abandon.json").read_text())
PHRASE = ABANDON["mnemonic"]
PUBLISHED = {account["chain"]: account["address"] for account in ABANDON["accounts"]}
TON_ADDRESS = ABANDON["ton_wallet_v5r1"]["abandon_computed"]["address_non_bounceable"]


@pytest.mark.parametrize(
    ("chain", "expected"),
    [
        ("ethereum", PUBLISHED["ethereum"]),
        ("solana", PUBLISHED["solana"]),
        ("bitcoin", PUBLISHED["bitcoin"]),
        ("cosmos", PUBLISHED["cosmos_hub"]),
        ("tron", PUBLISHED["tron"]),
        ("ton", TON_ADDRESS),
    ],
)
def test_published_addresses_of_the_abandon_phrase(chain, expected):
    assert native.derive_address(PHRASE, chain) == expected


@pytest.mark.parametrize(
    "chain",
    [
        "ethereum",
        "Ethereum",
        "EVM",
        "evm",
        "eip155:1",
        "polygon",
        "eip155:137",
        "arbitrum",
        "optimism",
        "base",
        "bsc",
        "avalanche",
        "eip155:43114",
    ],
)
def test_every_evm_chain_shares_the_family_address(chain):
    assert native.derive_address(PHRASE, chain) == PUBLISHED["ethereum"]


@pytest.mark.parametrize(
    "chain",
    [
        "solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp",
        "bip122:000000000019d6689c085ae165831e93",
        "cosmos:cosmoshub-4",
        "tron:mainnet",
        "ton:mainnet",
    ],
)
def test_caip2_ids_resolve(chain):
    assert native.derive_address(PHRASE, chain)


@pytest.mark.parametrize(
    "chain",
    [
        "EIP155:1",
        "eip155:5",
        "eip155:01",
        " ethereum",
        "ethereum ",
        "",
        "TRON:MAINNET",
        "solana:5eykt4usfv8p8njdtrepy1vzqkqzkvdp",
        "ethereum\x00",
    ],
)
def test_unknown_chains_are_refused_with_the_input_quoted(chain):
    with pytest.raises(RuntimeError) as info:
        native.derive_address(PHRASE, chain)
    assert str(info.value) == (
        f"invalid input: unknown chain: '{chain}'. "
        "Use a chain name (ethereum, solana, bitcoin, ...) or CAIP-2 ID (eip155:1, ...)"
    )


def test_chain_is_checked_before_the_phrase():
    with pytest.raises(RuntimeError, match=r"^invalid input: unknown chain: 'nope'"):
        native.derive_address("not a phrase", "nope")


@pytest.mark.parametrize(
    "phrase",
    [
        PHRASE + "\n",
        PHRASE.replace(" ", "  ", 1),
        " " + PHRASE,
        PHRASE.replace("abandon", "Abandon", 1),
        PHRASE.rsplit(" ", 1)[0] + " abandon",  # wrong checksum
        " ".join(["abandon"] * 11),
        PHRASE.replace("about", "aboutt"),
        "",
    ],
)
def test_phrases_are_parsed_strictly(phrase):
    with pytest.raises(RuntimeError, match=r"^invalid mnemonic phrase: "):
        native.derive_address(phrase, "ethereum")


def test_index_absent_none_and_zero_agree_and_others_differ():
    base = native.derive_address(PHRASE, "solana")
    assert native.derive_address(PHRASE, "solana", None) == base
    assert native.derive_address(PHRASE, "solana", index=0) == base
    assert native.derive_address(PHRASE, "solana", 1) != base
    assert native.derive_address(PHRASE, "solana", True) == native.derive_address(
        PHRASE, "solana", 1
    )


def test_largest_index_derives_and_larger_ones_never_wrap():
    assert native.derive_address(PHRASE, "ton", 2**31 - 1).startswith("UQ")
    assert native.derive_address(PHRASE, "ethereum", 2**31 - 1).startswith("0x")
    # 2**31 would alias the hardened index 0 (or the non-hardened one): refused.
    for chain, path in [
        ("ton", "m/44'/607'/2147483648'"),
        ("ethereum", "m/44'/60'/0'/0/2147483648"),
    ]:
        with pytest.raises(RuntimeError) as info:
            native.derive_address(PHRASE, chain, 2**31)
        component = path.rsplit("/", 1)[1]
        assert (
            str(info.value)
            == f"invalid derivation path: invalid index '{component}' in path '{path}'"
        )


def test_published_ethereum_addresses_at_later_indices():
    eth = next(a for a in ABANDON["accounts"] if a["chain"] == "ethereum")
    assert eth["more_indexes"]
    for entry in eth["more_indexes"]:
        index = int(entry["path"].rsplit("/", 1)[1])
        assert native.derive_address(PHRASE, "ethereum", index) == entry["address"]


@pytest.mark.parametrize(
    ("kwargs", "error", "text"),
    [
        (
            {"mnemonic": None, "chain": "ethereum"},
            TypeError,
            "derive_address() argument 'mnemonic' must be str, not NoneType",
        ),
        (
            {"mnemonic": PHRASE.encode(), "chain": "ethereum"},
            TypeError,
            "derive_address() argument 'mnemonic' must be str, not bytes",
        ),
        (
            {"mnemonic": PHRASE, "chain": 1},
            TypeError,
            "derive_address() argument 'chain' must be str, not int",
        ),
        (
            {"mnemonic": PHRASE, "chain": "ethereum", "index": -1},
            OverflowError,
            "out of range integral type conversion attempted",
        ),
        (
            {"mnemonic": PHRASE, "chain": "ethereum", "index": 2**32},
            OverflowError,
            "out of range integral type conversion attempted",
        ),
        (
            {"mnemonic": PHRASE, "chain": "ethereum", "index": 1.0},
            TypeError,
            "derive_address() argument 'index' must be int, not float",
        ),
        (
            {"mnemonic": PHRASE},
            TypeError,
            "derive_address() missing required argument 'chain' (pos 2)",
        ),
        (
            {"mnemonic": 5, "chain": "nope"},
            TypeError,
            "derive_address() argument 'mnemonic' must be str, not int",
        ),
        (
            {"mnemonic": "\ud800", "chain": "ethereum"},
            TypeError,
            (
                "derive_address() argument 'mnemonic' must be str encodable as UTF-8 "
                "(it holds a lone surrogate)"
            ),
        ),
    ],
)
def test_argument_kinds(kwargs, error, text):
    with pytest.raises(error) as info:
        native.derive_address(**kwargs)
    assert type(info.value) is error
    assert str(info.value) == text
