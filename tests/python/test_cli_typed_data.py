"""`oxa sign typed-data`: the request from a file or standard input, signed as
the module signs it, and refused before a passphrase is asked."""

import json

import pytest

import oxa
from conftest import DATA
from test_cli import home, run, run_json  # noqa: F401 (home: no command reaches ~/.oxa)

MAIL = (DATA / "eip712.json").read_text()
MAIL_TEXT = json.dumps(json.loads(MAIL)["vectors"][0]["typed_data"], indent=2)


@pytest.fixture
def passphrase_env(monkeypatch) -> list[str]:
    monkeypatch.setenv("OXA_PW", "pw")
    return ["--passphrase-env", "OXA_PW"]


def test_signs_a_file_or_standard_input_as_the_module_does(shared_vault, tmp_path, passphrase_env):
    request = tmp_path / "mail.json"
    request.write_text(MAIL_TEXT)
    expected = oxa.sign_typed_data("main", MAIL_TEXT, "pw", index=2, vault_path_opt=shared_vault)
    options = ["--index", "2", "--vault", shared_vault, *passphrase_env]
    assert run_json("sign", "typed-data", "main", str(request), *options) == expected
    assert run_json("sign", "typed-data", "main", "-", *options, stdin=MAIL_TEXT) == expected
    text = run("sign", "typed-data", "main", str(request), *options).stdout
    assert text == (
        f"signature    {expected['signature']}\nrecovery_id  {expected['recovery_id']}\n"
    )


def test_refusals_come_before_the_passphrase(shared_vault, tmp_path):
    broken = tmp_path / "broken.json"
    broken.write_text(MAIL_TEXT.replace('"primaryType"', '"primary"'))
    not_utf8 = tmp_path / "latin1.json"
    not_utf8.write_bytes(b'{"types": "\xe9"}')
    with pytest.raises(RuntimeError) as refused:
        oxa.hash_typed_data(broken.read_text())
    cases = [
        ([str(broken)], "", f"oxa: {refused.value}"),
        (
            [str(tmp_path / "absent.json")],
            "",
            f"oxa: cannot read {tmp_path}/absent.json: No such file or directory",
        ),
        ([str(not_utf8)], "", f"oxa: {not_utf8} is not valid UTF-8"),
        (
            ["-", "--passphrase-stdin"],
            MAIL_TEXT,
            (
                "oxa: standard input cannot carry both the typed data and the passphrase; "
                "use --passphrase-env NAME"
            ),
        ),
    ]
    for args, stdin, error in cases:
        # No passphrase option and no terminal: reaching the prompt would fail otherwise.
        result = run("sign", "typed-data", "main", *args, "--vault", shared_vault, stdin=stdin)
        assert (result.returncode, result.stdout, result.stderr) == (1, "", error + "\n")
