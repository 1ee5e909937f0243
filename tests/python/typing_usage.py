"""Checked by mypy --strict only, never run: every function of oxa used as its
stub says, and misuses that the stub must refuse (each `type: ignore` has to be
needed, or --strict reports it as unused)."""

from typing import assert_type

import oxa
from oxa import AccountDict, BroadcastDict, DerivedAddressDict, SignatureDict, WalletDict


def usage(vault: str) -> None:
    phrase = oxa.generate_mnemonic()
    assert_type(oxa.generate_mnemonic(words=24), str)
    assert_type(oxa.derive_address(phrase, "ethereum", index=None), str)

    wallet = oxa.create_wallet("main", passphrase="pw", words=12, vault_path_opt=vault)
    assert_type(wallet, WalletDict)
    assert_type(wallet["accounts"][0], AccountDict)
    assert_type(wallet["accounts"][0]["derivation_path"], str)
    assert_type(oxa.import_wallet_mnemonic("m", phrase, None, 3, vault), WalletDict)
    assert_type(
        oxa.import_wallet_private_key("k", "", secp256k1_key="11" * 32, ed25519_key="22" * 32),
        WalletDict,
    )
    assert_type(oxa.list_wallets(vault), list[WalletDict])
    assert_type(oxa.get_wallet("main", vault_path_opt=vault), WalletDict)
    assert_type(oxa.rename_wallet("main", "savings", vault), None)
    assert_type(oxa.export_wallet("savings", passphrase="pw", vault_path_opt=vault), str)

    signature = oxa.sign_message(
        "savings", "solana", "hi", "pw", encoding="utf8", index=0, vault_path_opt=vault
    )
    assert_type(signature, SignatureDict)
    assert_type(signature["recovery_id"], int | None)
    assert_type(oxa.sign_transaction("savings", "ethereum", "02c0", "pw", 0, vault), SignatureDict)
    sent = oxa.sign_and_send("savings", "ethereum", "02c0", "pw", 0, "http://127.0.0.1:8545", vault)
    assert_type(sent, BroadcastDict)
    assert_type(sent["tx_hash"], str)
    assert_type(oxa.delete_wallet("savings", vault), None)
    assert_type(oxa.__version__, str)

    assert_type(oxa.change_passphrase("main", "pw", "new", 17, vault), None)
    assert_type(oxa.export_keystore("main", "new", keystore_passphrase="k", index=1), str)
    assert_type(
        oxa.import_keystore("ks", "{}", "k", passphrase="pw", vault_path_opt=vault), WalletDict
    )
    assert_type(oxa.export_solana_keypair("main", "new", 0, vault), str)
    assert_type(oxa.import_solana_keypair("sol", "[]", None, vault), WalletDict)
    derived = oxa.derive_addresses(phrase, "ethereum", start=2, count=10, bip39_passphrase="x")
    assert_type(derived, list[DerivedAddressDict])
    assert_type(derived[0]["index"], int)

    try:
        oxa.get_wallet("main")
    except oxa.InternalAbort as abort:
        assert_type(abort, oxa.InternalAbort)

    assert_type(oxa.verify_message("ethereum", "hi", "00", "0x00", encoding=None), bool)
    assert_type(oxa.recover_address("bitcoin", "6869", "00", "hex"), str)
    standard = oxa.sign_message_standard(
        "main", "bitcoin", "hi", "bip322-simple", "pw", 0, "utf8", vault_path_opt=vault
    )
    assert_type(standard, SignatureDict)
    assert_type(oxa.verify_message_standard("cosmos", "hi", "AA==", "cosmos1", "adr036"), bool)
    typed_data = '{"types": {}, "primaryType": "T", "domain": {}, "message": {}}'
    assert_type(oxa.hash_typed_data(typed_data), str)
    assert_type(oxa.sign_typed_data("main", typed_data, "pw", 0, vault), SignatureDict)
    assert_type(oxa.verify_typed_data(typed_data, "00" * 65, "0x" + "00" * 20), bool)


def misuse(vault: str) -> None:
    oxa.generate_mnemonic(words=None)  # type: ignore[arg-type]
    oxa.derive_address(b"phrase", "evm")  # type: ignore[arg-type]
    oxa.create_wallet("main", vault=vault)  # type: ignore[call-arg]
    oxa.get_wallet()  # type: ignore[call-arg]
    oxa.list_wallets(vault_path_opt=1)  # type: ignore[arg-type]
    oxa.sign_message("w", "evm", "hi", index="0")  # type: ignore[arg-type]
    oxa.get_wallet("main")["secret"]  # type: ignore[typeddict-item]
    oxa.sign_and_send("w", "evm", "02")["hash"]  # type: ignore[typeddict-item]
    oxa.verify_message("evm", "hi", "00")  # type: ignore[call-arg]
    oxa.sign_message_standard("w", "bitcoin", "hi", standard=None)  # type: ignore[arg-type]
    oxa.sign_typed_data("w", {"types": {}})  # type: ignore[arg-type]
    oxa.verify_typed_data("{}", "00")  # type: ignore[call-arg]
    oxa.export_keystore("main", "pw", "k")  # type: ignore[call-arg]
    oxa.export_keystore("main", "pw")  # type: ignore[call-arg]
    oxa.derive_addresses("phrase", "evm", count=None)  # type: ignore[arg-type]
