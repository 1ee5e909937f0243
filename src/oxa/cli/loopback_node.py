"""A stand-in EVM node for the demo: answers one eth_sendRawTransaction on
127.0.0.1, then exits (or after a minute without a request).

It runs as a process of its own because oxa holds the interpreter lock while
curl waits for the answer. It prints the port it listens on as its first line,
then the raw transaction it received.
"""

import hashlib
import http.server
import json

IDLE_TIMEOUT_S = 60


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self) -> None:
        request = json.loads(self.rfile.read(int(self.headers["Content-Length"])))
        raw: str = request["params"][0]
        print(raw, flush=True)
        # A real node answers the Keccak-256 of the transaction; SHA-256 stands in.
        tx_hash = "0x" + hashlib.sha256(bytes.fromhex(raw.removeprefix("0x"))).hexdigest()
        body = json.dumps({"jsonrpc": "2.0", "id": request["id"], "result": tx_hash}).encode()
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, format: str, *args: object) -> None:
        pass


def serve_one_request() -> None:
    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    server.timeout = IDLE_TIMEOUT_S
    print(server.server_address[1], flush=True)
    server.handle_request()
    server.server_close()


if __name__ == "__main__":
    serve_one_request()
