"""Base58 with the Bitcoin alphabet, as Solana writes keys and signatures; for
tests and the stand-in node, independent of the module under test."""

B58 = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz"


def b58encode(data: bytes) -> str:
    number = int.from_bytes(data, "big")
    text = ""
    while number:
        number, digit = divmod(number, 58)
        text = B58[digit] + text
    return "1" * (len(data) - len(data.lstrip(b"\0"))) + text


def b58decode(text: str) -> bytes:
    """Raises ValueError on a character outside the alphabet."""
    number = 0
    for char in text:
        number = number * 58 + B58.index(char)
    body = number.to_bytes((number.bit_length() + 7) // 8, "big")
    return b"\0" * (len(text) - len(text.lstrip("1"))) + body
