"""derive_addresses: every account of a phrase, with and without a BIP-39
passphrase, checked against bip-utils for all six families."""

import random
import unicodedata

import pytest
from bip_utils import (
    Bip39MnemonicGenerator,
    Bip39SeedGenerator,
    Bip44,
    Bip44Changes,
    Bip44Coins,
    Bip84,
    Bip84Coins,
    TonAddrEncoder,
    TonAddrVersions,
)

import oxa
import oxa._ext as ext
import oxa._native as native
from conftest import ABANDON_PHRASE

RNG = random.Random(15)
PHRASES = [ABANDON_PHRASE, *(str(Bip39MnemonicGenerator().FromWordsNumber(w)) for w in (12, 24))]
PASSPHRASES = [None, "TREZOR", "correct horse battery staple", "\u00e9t\u00e9 \ufb01n \u2460"]


def _external(account):
    return account.Change(Bip44Changes.CHAIN_EXT)


def oracle(phrase: str, chain: str, index: int, passphrase: str | None) -> str:
    """The address bip-utils derives for the family's path at `index`."""
    seed = Bip39SeedGenerator(phrase).Generate(passphrase or "")

    def bip44(coin):
        return Bip44.FromSeed(seed, coin).Purpose().Coin()

    match chain:
        case "ethereum" | "cosmos" | "tron":
            coin = {
                "ethereum": Bip44Coins.ETHEREUM,
                "cosmos": Bip44Coins.COSMOS,
                "tron": Bip44Coins.TRON,
            }[chain]
            return _external(bip44(coin).Account(0)).AddressIndex(index).PublicKey().ToAddress()
        case "bitcoin":
            account = Bip84.FromSeed(seed, Bip84Coins.BITCOIN).Purpose().Coin().Account(0)
            return _external(account).AddressIndex(index).PublicKey().ToAddress()
        case "solana":
            return _external(bip44(Bip44Coins.SOLANA).Account(index)).PublicKey().ToAddress()
        case "ton":
            key = bip44(Bip44Coins.TON).Account(index).PublicKey().Bip32Key().KeyObject()
            return TonAddrEncoder.EncodeKey(key, version=TonAddrVersions.V5R1)
    raise AssertionError(chain)


CHAINS = ["ethereum", "solana", "bitcoin", "cosmos", "tron", "ton"]


@pytest.mark.parametrize("chain", CHAINS)
@pytest.mark.parametrize("passphrase", PASSPHRASES, ids=["none", "trezor", "words", "unicode"])
def test_every_family_matches_bip_utils(chain, passphrase):
    phrase = RNG.choice(PHRASES)
    start = RNG.choice([0, 7, 2**31 - 3])
    derived = ext.derive_addresses(phrase, chain, start, 3, passphrase)
    assert [d["address"] for d in derived] == [
        oracle(phrase, chain, i, passphrase) for i in range(start, start + 3)
    ]


def test_without_a_passphrase_each_account_is_derive_address():
    derived = ext.derive_addresses(ABANDON_PHRASE, "solana", count=5)
    assert derived == [
        {
            "index": i,
            "address": native.derive_address(ABANDON_PHRASE, "solana", i),
            "derivation_path": f"m/44'/501'/{i}'/0'",
        }
        for i in range(5)
    ]
    assert list(derived[0]) == ["index", "address", "derivation_path"]
    # An empty BIP-39 passphrase is no passphrase.
    assert ext.derive_addresses(ABANDON_PHRASE, "ethereum", bip39_passphrase="") == [
        {
            "index": 0,
            "address": native.derive_address(ABANDON_PHRASE, "ethereum"),
            "derivation_path": "m/44'/60'/0'/0/0",
        }
    ]


def test_a_passphrase_is_taken_in_nfkd_whatever_its_form():
    composed = "\u00c5ngstr\u00f6m \u2126"
    forms = {unicodedata.normalize(form, composed) for form in ("NFC", "NFD", "NFKC", "NFKD")}
    assert len(forms) > 1
    results = {
        ext.derive_addresses(ABANDON_PHRASE, "ethereum", 0, 2, f)[1]["address"] for f in forms
    }
    assert results == {oracle(ABANDON_PHRASE, "ethereum", 1, composed)}
    assert results != {native.derive_address(ABANDON_PHRASE, "ethereum", 1)}


def test_a_thousand_accounts_in_one_call():
    derived = ext.derive_addresses(ABANDON_PHRASE, "ethereum", 2**31 - 1000, 1000)
    assert [d["index"] for d in derived] == list(range(2**31 - 1000, 2**31))
    assert len({d["address"] for d in derived}) == 1000
    assert derived[-1]["address"] == native.derive_address(ABANDON_PHRASE, "ethereum", 2**31 - 1)


@pytest.mark.parametrize(
    ("args", "error"),
    [
        ((ABANDON_PHRASE, "ethereum", 0, 0), "invalid input: count must be from 1 to 1000, got 0"),
        (
            (ABANDON_PHRASE, "ethereum", 0, 1001),
            "invalid input: count must be from 1 to 1000, got 1001",
        ),
        (
            (ABANDON_PHRASE, "ethereum", 2**31 - 1, 2),
            (
                "invalid input: the last index start + count - 1 must be at most 2147483647, "
                "got 2147483648"
            ),
        ),
        (
            (ABANDON_PHRASE, "ethereum", 2**32 - 1, 1000),
            (
                "invalid input: the last index start + count - 1 must be at most 2147483647, "
                "got 4294968294"
            ),
        ),
        (("not a phrase", "nope", 0, 0), "invalid input: unknown chain: 'nope'"),
        (("not a phrase", "ethereum"), "invalid mnemonic phrase: "),
    ],
)
def test_refusals(args, error):
    with pytest.raises(RuntimeError) as info:
        ext.derive_addresses(*args)
    assert str(info.value).startswith(error)


@pytest.mark.parametrize(
    ("kwargs", "error", "text"),
    [
        (
            {"start": None},
            TypeError,
            "derive_addresses() argument 'start' must be int, not NoneType",
        ),
        ({"count": -1}, OverflowError, "out of range integral type conversion attempted"),
        (
            {"bip39_passphrase": b"x"},
            TypeError,
            "derive_addresses() argument 'bip39_passphrase' must be str, not bytes",
        ),
    ],
)
def test_argument_kinds(kwargs, error, text):
    with pytest.raises(error) as info:
        ext.derive_addresses(ABANDON_PHRASE, "ethereum", **kwargs)
    assert str(info.value) == text


def test_package_reexports_the_key_functions():
    for name in (
        "change_passphrase",
        "export_keystore",
        "import_keystore",
        "export_solana_keypair",
        "import_solana_keypair",
        "derive_addresses",
    ):
        assert getattr(oxa, name) is getattr(ext, name)
        assert name in oxa.__all__
