"""A wheel installed into a fresh environment, checked from outside the
repository: every library its modules load comes from the system's base set
or from the wheel itself, and each bundled library does its part of oxa's
work (published vectors; for ICU, Python's own normalization) next to the
interpreter's own OpenSSL."""

import hashlib
import importlib.metadata
import json
import pathlib
import re
import ssl
import subprocess
import sys
import tempfile
import unicodedata

import oxa

REPOSITORY = pathlib.Path(__file__).resolve().parents[2]
DATA = REPOSITORY / "tests" / "data"
PACKAGE = pathlib.Path(oxa.__file__).resolve().parent
# What every Linux has: the C library's parts, the C++ runtime, the loader.
BASE_LIBRARIES = re.compile(
    r"linux-vdso\.so\.1|ld-linux[-\w]*\.so\.\d|lib(c|m|dl|rt|pthread)\.so\.\d"
    r"|libstdc\+\+\.so\.6|libgcc_s\.so\.1"
)
# Where a wheel repaired by grafting keeps the libraries it carries.
BUNDLED = (PACKAGE, PACKAGE.with_name("oxa.libs"))
# One line of ldd: "name => path (address)", "path (address)" or "name => not found".
LDD_LINE = re.compile(r"\s*(\S+)(?: => (.+?))?(?: \(0x[0-9a-f]+\))?")


def foreign_libraries(module: pathlib.Path) -> list[str]:
    """ldd's lines for the libraries of `module` that come neither from the
    base set nor from the wheel, or that do not resolve."""
    report = subprocess.run(["ldd", module], capture_output=True, text=True, check=True).stdout
    foreign = []
    for line in report.strip().splitlines():
        name, target = LDD_LINE.fullmatch(line).groups()
        path = pathlib.Path(target or name)
        resolved = target != "not found"
        from_base = BASE_LIBRARIES.fullmatch(pathlib.Path(name).name)
        from_wheel = any(path.resolve().is_relative_to(folder) for folder in BUNDLED)
        if not (resolved and (from_base or from_wheel)):
            foreign.append(line.strip())
    return foreign


def check_contents() -> None:
    """Installed in this environment, typed, with the license texts of all it bundles."""
    assert PACKAGE.is_relative_to(sys.prefix), f"oxa imported from {PACKAGE}"
    assert all((PACKAGE / name).is_file() for name in ("py.typed", "_native.pyi", "_ext.pyi"))
    carried = {file.name for file in importlib.metadata.files("oxa") if "licenses" in file.parts}
    bundled = {file.name for file in (REPOSITORY / "LICENSES").iterdir()}
    assert carried == bundled, f"license texts {carried}, expected {bundled}"


def check_libraries() -> None:
    modules = sorted(PACKAGE.glob("*.so"))
    assert {"_native", "_ext"} <= {m.name.split(".")[0] for m in modules}, modules
    for module in modules:
        foreign = foreign_libraries(module)
        assert not foreign, f"{module.name} loads {foreign}"


def check_vectors(vault: str) -> None:
    abandon = json.loads((DATA / "addresses-abandon.json").read_text())
    published = {a["chain"]: a["address"] for a in abandon["accounts"]}
    published["cosmos"] = published.pop("cosmos_hub")
    published["ton"] = abandon["ton_wallet_v5r1"]["abandon_computed"]["address_non_bounceable"]
    for chain in ("ethereum", "solana", "bitcoin", "cosmos", "tron", "ton"):
        assert oxa.derive_address(abandon["mnemonic"], chain) == published[chain], chain

    evm = json.loads((DATA / "eip1559.json").read_text())["eip191_personal_sign"][0]
    ed25519 = json.loads((DATA / "rfc8032-ed25519.json").read_text())["vectors"][1]
    oxa.import_wallet_private_key(
        "smoke",
        "",
        passphrase="smoke",
        secp256k1_key=evm["private_key"],
        ed25519_key=ed25519["secret_key"],
        vault_path_opt=vault,
    )
    signed = oxa.sign_message(
        "smoke", "ethereum", evm["message_utf8"], passphrase="smoke", vault_path_opt=vault
    )
    assert signed["signature"] == evm["signature"].removeprefix("0x"), signed
    signed = oxa.sign_message(
        "smoke", "solana", ed25519["message"], "smoke", encoding="hex", vault_path_opt=vault
    )
    assert signed["signature"] == ed25519["signature"], signed
    secret = json.loads(oxa.export_wallet("smoke", passphrase="smoke", vault_path_opt=vault))
    assert secret == {"ed25519": ed25519["secret_key"], "secp256k1": evm["private_key"]}
    assert len(oxa.families()) == 6

    # A BIP-39 passphrase counts in NFKD, whatever form it is given in.
    composed = "\u00c5ngstr\u00f6m \ufb01"
    derived = [
        oxa.derive_addresses(abandon["mnemonic"], "ethereum", bip39_passphrase=form)
        for form in (composed, unicodedata.normalize("NFKD", composed))
    ]
    assert derived[0] == derived[1] != oxa.derive_addresses(abandon["mnemonic"], "ethereum")


def main() -> None:
    # The interpreter's own OpenSSL is loaded first, so a clash would show.
    assert hashlib.sha256(b"").hexdigest().startswith("e3b0c442")
    ssl.create_default_context()
    check_contents()
    check_libraries()
    with tempfile.TemporaryDirectory() as vault:
        check_vectors(vault)
    print(f"smoke: {PACKAGE.parent} passes")


if __name__ == "__main__":
    main()
