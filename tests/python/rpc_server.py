"""A JSON-RPC/REST stand-in on 127.0.0.1 that records every request.

It runs in its own process: the module holds the interpreter lock while curl
runs, so a server thread inside the test process could never answer.
"""

import base64
import http.server
import json
import pathlib
import subprocess
import sys
import time
from dataclasses import dataclass

from b58 import b58decode, b58encode


@dataclass
class Request:
    method: str
    path: str
    headers: dict[str, str]
    body: bytes

    def json(self):
        return json.loads(self.body)


class RecordingServer:
    def __init__(self, workdir: pathlib.Path):
        self._dir = workdir
        self._log = workdir / "requests.jsonl"
        self._reply = workdir / "reply.json"
        self._port = workdir / "port"
        self.respond(200, b'{"jsonrpc":"2.0","id":1,"result":"0xfeed"}')

    def respond(self, status: int, body: bytes) -> None:
        self._reply.write_text(
            json.dumps({"status": status, "body": base64.b64encode(body).decode()})
        )

    def respond_as_solana_node(self) -> None:
        """Answer sendTransaction the way a validator does (see solana_node_reply)."""
        self._reply.write_text(json.dumps({"solana_node": True}))

    def start(self) -> "RecordingServer":
        self._process = subprocess.Popen([sys.executable, __file__, str(self._dir)])
        deadline = time.monotonic() + 10
        while not self._port.exists() or not self._port.read_text():
            if time.monotonic() > deadline:
                raise RuntimeError("test server did not start")
            time.sleep(0.01)
        self.url = f"http://127.0.0.1:{self._port.read_text()}"
        return self

    @property
    def requests(self) -> list[Request]:
        if not self._log.exists():
            return []
        records = [json.loads(line) for line in self._log.read_text().splitlines()]
        return [
            Request(r["method"], r["path"], r["headers"], base64.b64decode(r["body"]))
            for r in records
        ]

    def stop(self) -> None:
        self._process.terminate()
        self._process.wait()


def solana_node_reply(request: dict) -> dict:
    """A validator's answer to sendTransaction: the transaction is Base58 unless
    the options (second parameter) name another encoding; the transaction's id
    is its first signature in Base58."""
    params = request["params"]
    options = params[1] if len(params) > 1 else {}
    encoding = options.get("encoding", "base58")
    try:
        if encoding == "base64":
            tx = base64.b64decode(params[0], validate=True)
        elif encoding == "base58":
            tx = b58decode(params[0])
        else:
            raise ValueError(f"unsupported encoding {encoding}")
        if not tx or tx[0] == 0 or len(tx) < 1 + 64 * tx[0] + 3:
            raise ValueError("too short for its signatures and message header")
    except ValueError as error:
        failure = {"code": -32602, "message": f"invalid {encoding} encoding: {error}"}
        return {"jsonrpc": "2.0", "id": request["id"], "error": failure}
    return {"jsonrpc": "2.0", "id": request["id"], "result": b58encode(tx[1:65])}


def serve(workdir: pathlib.Path) -> None:
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            length = int(self.headers.get("Content-Length", 0))
            record = {
                "method": "POST",
                "path": self.path,
                "headers": {k.lower(): v for k, v in self.headers.items()},
                "body": base64.b64encode(self.rfile.read(length)).decode(),
            }
            with open(workdir / "requests.jsonl", "a") as log:
                log.write(json.dumps(record) + "\n")
            reply = json.loads((workdir / "reply.json").read_text())
            if reply.get("solana_node"):
                answer = solana_node_reply(json.loads(base64.b64decode(record["body"])))
                reply = {"status": 200, "body": base64.b64encode(json.dumps(answer).encode())}
            body = base64.b64decode(reply["body"])
            self.send_response(reply["status"])
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    (workdir / "port.tmp").write_text(str(server.server_address[1]))
    (workdir / "port.tmp").rename(workdir / "port")
    server.serve_forever()


if __name__ == "__main__":
    serve(pathlib.Path(sys.argv[1]))
