#!/usr/bin/env python3
"""tdl fetch against a scripted HTTP server on 127.0.0.1: request bytes, status test,
the three body forms, cut-short bodies, long heads and the time-outs.

Usage: test_tdl_fetch.py TDL [RUNNER]. With a runner (the Wine wrapper) the program is a
Windows build: the file argument is given in Wine's Z: form. Output goes to files, never
to a pipe.
"""
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

TDL = ""
RUNNER = []
WINDOWS = False
VERSION_PATH = "Orvane/files/soft/tdl/version.def"


class ScriptedServer:
    """Serves one connection: reads the request head, then plays `script`, a list of byte
    strings to send and numbers of seconds to pause. Afterwards it closes at once, or with
    `hold` > 0 keeps the connection open that long and notes when the client closes it."""

    def __init__(self, script, hold=0.0, port=0):
        self.script = script
        self.hold = hold
        self.request = b""
        self.last_sent = None
        self.client_closed = None
        self.sent = 0
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        # Little held in buffers, so that what was sent tells what the client read.
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 64 * 1024)
        self.listener.bind(("127.0.0.1", port))
        self.listener.listen(1)
        self.listener.settimeout(60)
        self.port = self.listener.getsockname()[1]
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        try:
            conn, _ = self.listener.accept()
        except OSError:
            return
        with conn:
            conn.settimeout(10)
            try:
                while b"\r\n\r\n" not in self.request:
                    piece = conn.recv(4096)
                    if not piece:
                        return
                    self.request += piece
                for step in self.script:
                    if isinstance(step, (int, float)):
                        time.sleep(step)
                    else:
                        conn.sendall(step)
                        self.sent += len(step)
                        self.last_sent = time.monotonic()
                if self.hold:
                    conn.settimeout(self.hold)
                    while conn.recv(4096):
                        pass
                    self.client_closed = time.monotonic()
            except OSError:
                pass
        self.listener.close()

    def join(self):
        self.thread.join(timeout=70)
        if self.thread.is_alive():
            raise AssertionError("the scripted server is still serving")


def head(*lines, status=b"HTTP/1.1 200 OK"):
    return b"\r\n".join((status,) + lines) + b"\r\n\r\n"


class TdlFetchTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="tdl-fetch-")
        self.out = os.path.join(self.folder, "out.bin")

    def tearDown(self):
        for name in os.listdir(self.folder):
            os.remove(os.path.join(self.folder, name))
        os.rmdir(self.folder)

    def fetch(self, url, *options):
        target = self.out
        if os.path.exists(target):
            os.remove(target)
        if WINDOWS:
            target = "Z:" + target.replace("/", "\\")
        log = os.path.join(self.folder, "tdl.log")
        with open(log, "wb") as sink:
            rc = subprocess.run(RUNNER + [TDL, "fetch", *options, url, target], stdout=sink,
                                stderr=subprocess.STDOUT, timeout=60).returncode
        os.remove(log)
        return rc

    # Times are taken on the server's side, from its last byte to the client's close, so
    # that the start of the program (seconds under Wine) does not count.
    def serve_and_fetch(self, script, hold=0.0, path="f", options=()):
        server = ScriptedServer(script, hold)
        rc = self.fetch("http://127.0.0.1:%d/%s" % (server.port, path), *options)
        server.join()
        return rc, server

    def body(self):
        with open(self.out, "rb") as f:
            return f.read()

    def assertNoFile(self):
        self.assertFalse(os.path.exists(self.out), "a failed download left a file")

    def test_request_bytes(self):
        with socket.socket() as listener:
            listener.bind(("127.0.0.1", 0))
            listener.listen(1)
            listener.settimeout(0.2)
            rc = self.fetch("http://127.0.0.1:%d/a b" % listener.getsockname()[1])
            self.assertEqual(rc, 1)
            with self.assertRaises(socket.timeout, msg="a space in the path must not be sent"):
                listener.accept()

        server = ScriptedServer([head(b"Content-Length: 2") + b"ok"])
        rc = self.fetch("http://user@127.0.0.1:%d/%s?a=%%20" % (server.port, VERSION_PATH))
        server.join()
        self.assertEqual(rc, 0)
        self.assertEqual(server.request,
                         b"GET /" + VERSION_PATH.encode() + b"?a=%20 HTTP/1.1\r\nAccept: */*\r\n"
                         b"Host: 127.0.0.1:" + str(server.port).encode() +
                         b"\r\nConnection: close\r\n\r\n")
        self.assertEqual(self.body(), b"ok")

    def test_request_bytes_on_port_80(self):
        try:
            server = ScriptedServer([head(b"Content-Length: 0")], port=80)
        except OSError as error:
            self.skipTest("port 80 cannot be bound here: %s" % error)
        rc = self.fetch("http://127.0.0.1/" + VERSION_PATH)
        server.join()
        self.assertEqual(rc, 0)
        self.assertEqual(server.request,
                         b"GET /" + VERSION_PATH.encode() + b" HTTP/1.1\r\nAccept: */*\r\n"
                         b"Host: 127.0.0.1\r\nConnection: close\r\n\r\n")
        self.assertEqual(self.body(), b"")

    def test_status_is_read_from_the_status_line(self):
        rc, _ = self.serve_and_fetch([head(b"Content-Length: 3", status=b"HTTP/1.1 404 Not Found")
                                         + b"404"])
        self.assertEqual(rc, 1)
        self.assertNoFile()
        # "200" elsewhere in the status line or in a header is not a status of 200.
        rc, _ = self.serve_and_fetch([head(b"X-Code: 200", b"Content-Length: 1",
                                              status=b"HTTP/1.1 500 Error 200") + b"x"])
        self.assertEqual(rc, 1)
        self.assertNoFile()
        html = b"<html><body>Moved <a href=\"/x\">here</a></body></html>"
        rc, _ = self.serve_and_fetch([head(b"Location: /x", b"Content-Length: %d" % len(html),
                                              status=b"HTTP/1.1 302 Found") + html])
        self.assertEqual(rc, 0)
        self.assertEqual(self.body(), html)

    def test_content_length_in_pieces(self):
        rc, _ = self.serve_and_fetch([head(b"Content-Length: 10") + b"0123", 0.4, b"456789",
                                         b"ignored"])
        self.assertEqual(rc, 0)
        self.assertEqual(self.body(), b"0123456789")

    def test_body_cut_short_fails_after_the_time_out(self):
        # Timed from the server's side: the client gives up 10 s after the last byte.
        rc, server = self.serve_and_fetch([head(b"Content-Length: 10") + b"0123", 0.3, b"456"],
                                             hold=20)
        self.assertEqual(rc, 1)
        self.assertNoFile()
        self.assertIsNotNone(server.client_closed)
        self.assertGreater(server.client_closed - server.last_sent, 9.5)
        self.assertLess(server.client_closed - server.last_sent, 11)
        # A chunked body without its zero-size chunk is cut short too.
        rc, _ = self.serve_and_fetch([head(b"Transfer-Encoding: chunked") + b"5\r\nhello\r\n"])
        self.assertEqual(rc, 1)
        self.assertNoFile()

    def test_chunked_in_one_block(self):
        body = head(b"Transfer-Encoding: chunked") + b"5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n"
        rc, server = self.serve_and_fetch([body], hold=15)
        self.assertEqual(rc, 0)
        self.assertEqual(self.body(), b"hello world")
        # The zero-size chunk ends the body; no wait for a further chunk header.
        self.assertLess(server.client_closed - server.last_sent, 5)

    def test_chunked_across_blocks(self):
        data = bytes(range(256)) * 12
        sizes = [1500, 700, 3, 868, 1]
        encoded = head(b"Transfer-Encoding: Chunked")
        at = 0
        for i, size in enumerate(sizes):
            ext = b";name=value" if i == 1 else b""
            encoded += b"%X%s\r\n" % (size, ext) + data[at:at + size] + b"\r\n"
            at += size
        encoded += b"0\r\nTrailer: x\r\n\r\n"
        # Cuts inside a size line, between CR and LF, inside data, right after the head.
        cuts = sorted({len(encoded) - 2200 - 1, len(encoded) - 2200 + 3, 1600, 2300,
                       encoded.index(b"\r\n\r\n") + 4, len(encoded) - 10, len(encoded) - 4})
        pieces, last = [], 0
        for cut in cuts:
            pieces += [encoded[last:cut], 0.25]
            last = cut
        pieces.append(encoded[last:])
        rc, _ = self.serve_and_fetch(pieces)
        self.assertEqual(rc, 0)
        self.assertEqual(self.body(), data[:sum(sizes)])

    def test_identity_and_read_until_close(self):
        raw = b"5\r\nhello\r\n0\r\n\r\n"
        rc, _ = self.serve_and_fetch([head(b"Transfer-Encoding: identity") + raw[:6], 0.3,
                                         raw[6:]])
        self.assertEqual(rc, 0)
        self.assertEqual(self.body(), raw)
        # Without a length the download ends about a second after the last byte, even when
        # the server keeps the connection open; a shorter pause does not end it.
        rc, server = self.serve_and_fetch([head() + b"x" * 3000, 0.6, b"y" * 5], hold=8)
        self.assertEqual(rc, 0)
        self.assertEqual(self.body(), b"x" * 3000 + b"y" * 5)
        self.assertIsNotNone(server.client_closed)
        self.assertLess(server.client_closed - server.last_sent, 1.6)

    def test_long_heads(self):
        cookies = tuple(b"Set-Cookie: c%d=%s" % (i, b"v" * 180) for i in range(40))
        whole = head(*cookies, b"Content-Length: 7") + b"payload"
        rc, _ = self.serve_and_fetch([whole[:900], 0.25, whole[900:5000], 0.25, whole[5000:]])
        self.assertEqual(rc, 0)
        self.assertEqual(self.body(), b"payload")
        too_long = head(*(cookies * 3), b"Content-Length: 7") + b"payload"
        self.assertGreater(len(too_long), 16 * 1024)
        rc, _ = self.serve_and_fetch([too_long])
        self.assertEqual(rc, 1)
        self.assertNoFile()

    def test_a_slow_server_meets_the_deadline(self):
        # One byte every quarter second would keep a client busy for 15 s.
        script = [head(b"Content-Length: 100")]
        for _ in range(60):
            script += [b"x", 0.25]
        rc, server = self.serve_and_fetch(script, options=("--seconds", "2"))
        self.assertEqual(rc, 1)
        self.assertNoFile()
        self.assertLess(server.sent - len(script[0]), 30, "the client read on past its deadline")

    def test_every_body_byte_counts_toward_the_limit(self):
        # A chunk-size line that never ends: up to 64 MiB of extension.
        endless = [head(b"Transfer-Encoding: chunked") + b"1;"] + [b"x" * 65536] * 1024
        rc, server = self.serve_and_fetch(endless, options=("--max-bytes", "65536"))
        self.assertEqual(rc, 1)
        self.assertNoFile()
        self.assertLess(server.sent, 16 << 20, "the client read on past its limit")
        # Bodies without a length, or with one, above the limit; and one just at it.
        rc, _ = self.serve_and_fetch([head() + b"v" * 70000], options=("--max-bytes", "65536"))
        self.assertEqual(rc, 1)
        self.assertNoFile()
        rc, _ = self.serve_and_fetch([head(b"Content-Length: 65537") + b"v" * 65537],
                                     options=("--max-bytes", "65536"))
        self.assertEqual(rc, 1)
        self.assertNoFile()
        rc, _ = self.serve_and_fetch([head(b"Content-Length: 65536") + b"v" * 65536],
                                     options=("--max-bytes", "65536"))
        self.assertEqual(rc, 0)
        self.assertEqual(len(self.body()), 65536)

    def test_unreachable_and_usage(self):
        spare = socket.socket()
        spare.bind(("127.0.0.1", 0))
        port = spare.getsockname()[1]
        spare.close()
        rc = self.fetch("http://127.0.0.1:%d/f" % port)
        self.assertEqual(rc, 1)
        self.assertNoFile()
        rc = self.fetch("no-scheme/f")
        self.assertEqual(rc, 1)
        log = os.path.join(self.folder, "usage.log")
        with open(log, "wb") as sink:
            rc = subprocess.run(RUNNER + [TDL, "fetch", "http://127.0.0.1/"], stdout=sink,
                                stderr=subprocess.STDOUT, timeout=60).returncode
        os.remove(log)
        self.assertEqual(rc, 2)


if __name__ == "__main__":
    TDL = sys.argv[1]
    RUNNER = sys.argv[2:]
    WINDOWS = bool(RUNNER)
    unittest.main(argv=sys.argv[:1], verbosity=2)
