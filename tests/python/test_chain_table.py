"""The chain table as oxa._ext reports it, checked against what the wallet
operations actually do with each chain and family."""

import oxa
import oxa._ext as ext
import oxa._native as native
from conftest import ABANDON_PHRASE


def test_families_describe_the_accounts_of_a_wallet(shared_vault):
    accounts = native.get_wallet("main", shared_vault)["accounts"]
    assert [f["chain_id"] for f in ext.families()] == [a["chain_id"] for a in accounts]
    assert [f["derivation_path"] for f in ext.families()] == [
        a["derivation_path"] for a in accounts
    ]


def test_every_chain_resolves_by_name_and_id_to_its_familys_account(shared_vault):
    address_of = {
        f["family"]: a["address"]
        for f, a in zip(
            ext.families(), native.get_wallet("main", shared_vault)["accounts"], strict=True
        )
    }
    for chain in ext.chains():
        by_name = native.derive_address(ABANDON_PHRASE, chain["name"])
        assert by_name == native.derive_address(ABANDON_PHRASE, chain["chain_id"])
        assert by_name == address_of[chain["family"]], chain["name"]


def test_package_reexports_the_table_functions():
    assert oxa.chains is ext.chains
    assert oxa.families is ext.families
    assert ext.InternalAbort is native.InternalAbort
