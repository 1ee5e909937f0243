"""A short walk through oxa, safe to run anywhere."""

import oxa

# Each family's account 0: (family, derivation path, curve).
FAMILIES = [
    ("evm", "m/44'/60'/0'/0/0", "secp256k1"),
    ("solana", "m/44'/501'/0'/0'", "ed25519"),
    ("bitcoin", "m/84'/0'/0'/0/0", "secp256k1"),
    ("cosmos", "m/44'/118'/0'/0/0", "secp256k1"),
    ("tron", "m/44'/195'/0'/0/0", "secp256k1"),
    ("ton", "m/44'/607'/0'", "ed25519"),
]


def run_demo() -> int:
    phrase = oxa.generate_mnemonic()
    print("A fresh 12-word mnemonic (never reuse a demo phrase for real funds):")
    print(f"  {phrase}\n")
    print(f"{'family':<9} {'path':<20} curve")
    for family, path, curve in FAMILIES:
        print(f"{family:<9} {path:<20} {curve}")
    return 0
