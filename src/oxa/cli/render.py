"""What a command prints: one JSON document with --json, readable text otherwise."""

import json
from collections.abc import Sequence

from oxa.results import DerivedAddressDict, SignatureDict, WalletDict


def emit(as_json: bool, document: object, text: str) -> None:
    print(json.dumps(document, indent=2) if as_json else text)


def table(rows: Sequence[Sequence[str]]) -> str:
    """Columns padded to their widest cell; the last column is left ragged."""
    widths = [max(len(row[column]) for row in rows) for column in range(len(rows[0]) - 1)]
    return "\n".join(
        "  ".join(
            [*(cell.ljust(width) for cell, width in zip(row[:-1], widths, strict=True)), row[-1]]
        ).rstrip()
        for row in rows
    )


def wallet_text(wallet: WalletDict) -> str:
    head = table(
        [["name", wallet["name"]], ["id", wallet["id"]], ["created", wallet["created_at"]]]
    )
    accounts = [["CHAIN", "ADDRESS", "PATH"]]
    accounts += [
        [a["chain_id"], a["address"], a["derivation_path"] or "-"] for a in wallet["accounts"]
    ]
    return f"{head}\n\n{table(accounts)}"


def wallet_list_text(wallets: Sequence[WalletDict]) -> str:
    if not wallets:
        return "no wallets"
    rows = [["NAME", "ID", "CREATED"]]
    rows += [[w["name"], w["id"], w["created_at"]] for w in wallets]
    return table(rows)


def signature_text(signature: SignatureDict) -> str:
    recovery_id = signature["recovery_id"]
    return table(
        [
            ["signature", signature["signature"]],
            ["recovery_id", "-" if recovery_id is None else str(recovery_id)],
        ]
    )


def derived_addresses_text(addresses: Sequence[DerivedAddressDict]) -> str:
    rows = [["INDEX", "ADDRESS", "PATH"]]
    rows += [[str(a["index"]), a["address"], a["derivation_path"]] for a in addresses]
    return table(rows)
