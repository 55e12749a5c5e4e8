#!/usr/bin/env python3
"""The maker's download server, as the tests need it: a directory of files
served over HTTP (and HTTPS) on 127.0.0.1, with faults scripted per path, and a
log of every request head.  Standard library only.  See README.md here."""

import argparse
import json
import os
import select
import socket
import socketserver
import hashlib
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler

import release

CONTROL = "/_control/"
FAULT = "/_fault/"
TEMPLATE_LIMIT = 64 * 1024
SIGNATURE = ".p7"
STALL_LIMIT = 300.0
HERE = os.path.dirname(os.path.abspath(__file__))


class Fault:
    """Options of one scripted response, parsed from "opt,opt=value,...".
    Unknown options raise ValueError so a typo fails loudly (400)."""

    FLAGS = ("chunked", "nolength", "empty", "drop", "close", "challenge")
    INTS = ("status", "fail", "length", "short", "stall", "extra", "delay", "redirect", "slowhead")
    PAIRS = ("trickle", "pause")

    def __init__(self, text=""):
        self.text = text
        self.flags = set()
        self.values = {}
        self.trickle = None
        self.pause = None
        for item in filter(None, text.split(",")):
            name, _, value = item.partition("=")
            if name in self.FLAGS and not value:
                self.flags.add(name)
            elif name in self.INTS and value.lstrip("-").isdigit():
                self.values[name] = int(value)
            elif name == "redirect" and not value:
                self.values[name] = 302
            elif name in self.PAIRS:
                size, _, pause = value.partition(":")
                if not (size.isdigit() and pause.isdigit() and (int(size) > 0 or name == "pause")):
                    raise ValueError(item)
                setattr(self, name, (int(size), int(pause) / 1000.0))
            else:
                raise ValueError(item)

    def get(self, name, default=None):
        return self.values.get(name, default)

    def has(self, name):
        return name in self.flags or name in self.values or bool(getattr(self, name, None))

    def only_counts(self):
        """fail=N alone: the first N requests get a 500."""
        return set(self.values) == {"fail"} and not self.flags and not self.trickle and not self.pause


class State:
    def __init__(self, root, log_path):
        self.root = os.path.abspath(root) if root else None
        self.log_path = log_path
        self.lock = threading.Lock()
        self.ports = {}
        self.ca_der = b""
        self.signer = None
        # Release mode (with --sign): key name -> (certificate, key).
        self.release_keys = {}
        self.signatures = {}
        self.measured = {}
        self.reset()
        if log_path:
            open(log_path, "wb").close()

    def reset(self):
        with getattr(self, "lock", threading.Lock()):
            self.scripts = {}
            self.counts = {}
            self.files = {}
            self.log = []
            self.aborts = []
            self.release = release.Release()
        if getattr(self, "log_path", None):
            open(self.log_path, "wb").close()

    def record(self, head):
        with self.lock:
            self.log.append(head)
            if self.log_path:
                with open(self.log_path, "ab") as f:
                    f.write(head + b"\r\n")

    def record_abort(self, path):
        """A response the client cut short by closing the connection."""
        with self.lock:
            self.aborts.append(path)

    def count(self, path):
        with self.lock:
            n = self.counts.get(path, 0) + 1
            self.counts[path] = n
            return n

    def substitute(self, data):
        for token, key in ((b"@SERVER@", "http"), (b"@TLS_SERVER@", "https"),
                           (b"@BADTLS_SERVER@", "badtls")):
            if token in data and key in self.ports:
                data = data.replace(token, ("127.0.0.1:%d" % self.ports[key]).encode())
        return data


    def sign(self, data, signers=None, options=("-md", "sha256")):
        """A detached signature over data (openssl cms, DER, no content): by
        default the maker's, as beside a response file."""
        command = ["openssl", "cms", "-sign", "-binary", "-outform", "DER"] + list(options)
        for pem, key in signers or [self.signer]:
            command += ["-signer", pem, "-inkey", key]
        cached = (hashlib.sha256(data).digest(), tuple(command))
        with self.lock:
            signature = self.signatures.get(cached)
        if signature is None:
            signature = subprocess.run(command, input=data, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                       check=True).stdout
            with self.lock:
                self.signatures[cached] = signature
        return signature

    def releasing(self):
        return bool(self.release_keys)

    def stored(self, target):
        """What is stored at target: (bytes, None) for a put file or a small
        file under the root (substitutions made), (None, path) for a larger
        file, (None, None) for none."""
        with self.lock:
            data = self.files.get(target)
        if data is not None:
            return self.substitute(data), None
        if not self.root:
            return None, None
        full = os.path.realpath(os.path.join(self.root, target.lstrip("/")))
        if not (full == self.root or full.startswith(self.root + os.sep)) or not os.path.isfile(full):
            return None, None
        if os.path.getsize(full) <= TEMPLATE_LIMIT:
            with open(full, "rb") as f:
                return self.substitute(f.read()), None
        return None, full

    def served(self, target, base):
        """What GET target serves (before faults), base being the request's
        scheme://host: a list gets its release lines in release mode."""
        data, path = self.stored(target)
        if data is not None and self.releasing() and release.is_list(target):
            with self.lock:
                settings = self.release
            data = settings.apply(data, lambda address: self.measure(base + target, address))
        return data, path

    def measure(self, list_url, address):
        """(size, SHA-256) of what address, relative to list_url, serves on
        this server now; an address elsewhere or without a file counts as no
        bytes."""
        url = urllib.parse.urlsplit(urllib.parse.urljoin(list_url, address))

        def origin(parts):
            # WinINet names the default port through a proxy ("host:80"), a list does not.
            return (parts.scheme, (parts.hostname or "").lower(),
                    parts.port or {"http": 80, "https": 443}.get(parts.scheme))

        try:
            ours = url.scheme in ("http", "https") and (
                origin(url) == origin(urllib.parse.urlsplit(list_url)) or
                (url.hostname in ("127.0.0.1", "localhost") and url.port in self.ports.values()))
        except ValueError:
            ours = False
        target = urllib.parse.unquote(url.path)
        if target.startswith(FAULT):
            target = "/" + target[len(FAULT):].partition("/")[2]
        data, path = self.stored(target) if ours else (None, None)
        if data is not None:
            return len(data), hashlib.sha256(data).hexdigest()
        if path is None:
            return 0, release.EMPTY_SHA256
        stat = os.stat(path)
        known = (path, stat.st_size, stat.st_mtime_ns)
        with self.lock:
            digest = self.measured.get(known)
        if digest is None:
            sha = hashlib.sha256()
            with open(path, "rb") as f:
                for block in iter(lambda: f.read(1 << 20), b""):
                    sha.update(block)
            digest = sha.hexdigest()
            with self.lock:
                self.measured[known] = digest
        return stat.st_size, digest

    def signature(self, target, base):
        """The signature served as target + ".p7" when nobody put one: over
        what target serves now, a list's with the release key in release
        mode, anything else's with the maker's. None without a file."""
        data, _ = self.served(target, base)
        if data is None:
            return None
        if self.releasing() and release.is_list(target):
            with self.lock:
                settings = self.release
            return self.sign(data, [self.release_keys[name] for name in settings.signer_names()],
                             settings.cms_options())
        return self.sign(data)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "KuvanaSim/1"

    def version_string(self):
        return self.server_version

    def log_message(self, *args):
        pass

    # -- plumbing ---------------------------------------------------------
    def handle_one_request(self):
        try:
            super().handle_one_request()
        except (ConnectionError, ssl.SSLError, socket.timeout, OSError):
            self.close_connection = True

    def do_GET(self):
        self.respond(send_body=True)

    def do_HEAD(self):
        self.respond(send_body=False)

    def do_POST(self):
        self.respond(send_body=True)

    def state(self):
        return self.server.kuvana

    def simple(self, status, body=b"", ctype="text/plain", close=False):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        if close:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def request_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        data = b""
        while len(data) < length:
            chunk = self.rfile.read(length - len(data))
            if not chunk:
                break
            data += chunk
        return data

    # -- dispatch ---------------------------------------------------------
    def respond(self, send_body):
        path = urllib.parse.urlsplit(self.path).path
        if path.startswith(CONTROL):
            return self.control(path[len(CONTROL):])
        head = self.raw_requestline + bytes(self.headers)
        self.state().record(head.rstrip(b"\r\n") + b"\r\n")
        if self.command == "POST":
            self.request_body()
        fault = None
        target = urllib.parse.unquote(path)
        try:
            if target.startswith(FAULT):
                options, _, rest = target[len(FAULT):].partition("/")
                fault = Fault(options)
                target = "/" + rest
            else:
                with self.state().lock:
                    scripted = self.state().scripts.get(target)
                fault = Fault(scripted) if scripted else None
        except ValueError as e:
            return self.simple(400, ("bad fault option %s\n" % e).encode())
        if fault is not None and fault.has("fail"):
            if self.state().count(urllib.parse.unquote(path)) > fault.get("fail"):
                fault = None
            elif fault.only_counts():
                return self.simple(500, b"scripted failure\n")
        self.serve(target, fault or Fault(), send_body)

    def control(self, command):
        st = self.state()
        name, _, rest = command.partition("/")
        if name == "reset":
            st.reset()
            return self.simple(200, b"ok\n")
        if name == "log":
            with st.lock:
                data = b"".join(h + b"\r\n" for h in st.log)
            return self.simple(200, data)
        if name == "aborts":
            with st.lock:
                data = b"".join(p.encode() + b"\n" for p in st.aborts)
            return self.simple(200, data)
        if name == "ca":
            return self.simple(200 if st.ca_der else 404, st.ca_der, "application/pkix-cert")
        if name == "ports":
            return self.simple(200, json.dumps(st.ports).encode(), "application/json")
        if name == "file" and self.command == "POST":
            data = self.request_body()
            with st.lock:
                st.files["/" + urllib.parse.unquote(rest)] = data
            return self.simple(200, b"ok\n")
        if name == "signature" and st.signer:
            # The signature over what /<path> serves now.
            signature = st.signature("/" + urllib.parse.unquote(rest), self.base())
            if signature is None:
                return self.simple(404, b"no such file\n")
            return self.simple(200, signature, "application/pkcs7-signature")
        if name == "pin" and st.signer:
            # Keeps what /<path> serves now with its signature: a list with
            # its release lines, so later changes of the files it names, or
            # of the file itself, no longer fit.
            target = "/" + urllib.parse.unquote(rest)
            data, _ = st.served(target, self.base())
            signature = st.signature(target, self.base())
            if signature is None:
                return self.simple(404, b"no such file\n")
            with st.lock:
                if release.is_list(target) and st.releasing():
                    st.files[target] = data
                st.files[target + SIGNATURE] = signature
            return self.simple(200, b"ok\n")
        if name == "release" and st.releasing():
            try:
                with st.lock:
                    st.release = st.release.changed(urllib.parse.unquote(rest))
            except ValueError as e:
                return self.simple(400, ("bad release option %s\n" % e).encode())
            return self.simple(200, b"ok\n")
        if name == "script":
            options, _, target = urllib.parse.unquote(rest).partition("/")
            try:
                Fault("" if options == "none" else options)
            except ValueError as e:
                return self.simple(400, ("bad fault option %s\n" % e).encode())
            with st.lock:
                if options == "none":
                    st.scripts.pop("/" + target, None)
                else:
                    st.scripts["/" + target] = options
                st.counts.pop("/" + target, None)
            return self.simple(200, b"ok\n")
        return self.simple(404, b"unknown control\n")

    def base(self):
        """scheme://host of this request: a proxy request's own, else this listener's."""
        parts = urllib.parse.urlsplit(self.path)
        if parts.scheme and parts.netloc:
            return "%s://%s" % (parts.scheme, parts.netloc)
        scheme = "https" if isinstance(self.connection, ssl.SSLSocket) else "http"
        return "%s://%s" % (scheme, self.headers.get("Host") or "127.0.0.1:%d" % self.server.server_address[1])

    def content(self, target):
        st = self.state()
        data, path = st.served(target, self.base())
        if data is None and path is None and st.signer and target.endswith(SIGNATURE):
            # A signature nobody put, over what the file serves now.
            signature = st.signature(target[:-len(SIGNATURE)], self.base())
            if signature is not None:
                return signature, None
        return data, path

    # -- one response, with its faults -------------------------------------
    def serve(self, target, fault, send_body):
        if fault.get("delay"):
            time.sleep(fault.get("delay") / 1000.0)
        if "drop" in fault.flags:
            self.close_connection = True
            return
        if fault.has("redirect"):
            port = self.server.server_address[1]
            scheme = "https" if isinstance(self.connection, ssl.SSLSocket) else "http"
            self.send_response(fault.get("redirect"))
            self.send_header("Location", "%s://127.0.0.1:%d%s" % (scheme, port, target))
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if "challenge" in fault.flags:
            # What makes a client log on with the account's own credentials.
            body = b"log on\n"
            self.send_response(401)
            self.send_header("WWW-Authenticate", "NTLM")
            self.send_header("WWW-Authenticate", "Negotiate")
            self.send_header("WWW-Authenticate", 'Basic realm="kuvana"')
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if send_body:
                self.wfile.write(body)
            return
        status = fault.get("status")
        if status is not None and status >= 400:
            body = ("status %d\n" % status).encode()
            return self.simple(status, body)
        if "empty" in fault.flags:
            data, path = b"", None
        else:
            data, path = self.content(target)
            if data is None and path is None:
                return self.simple(404, b"not found\n")
        size = len(data) if path is None else os.path.getsize(path)
        total = size + fault.get("extra", 0)
        self.send_response(status or 200)
        self.send_header("Content-Type", "application/octet-stream")
        if "chunked" in fault.flags:
            self.send_header("Transfer-Encoding", "chunked")
        if "length" in fault.values:
            self.send_header("Content-Length", str(fault.get("length")))
        elif "chunked" not in fault.flags and "nolength" not in fault.flags:
            self.send_header("Content-Length", str(total))
        closes = (bool({"nolength", "close"} & fault.flags) or "length" in fault.values
                  or fault.has("short") or fault.has("extra") or fault.has("slowhead"))
        if closes:
            self.send_header("Connection", "close")
            self.close_connection = True
        if fault.has("slowhead"):
            if not self.send_head_slowly(fault.get("slowhead") / 1000.0):
                self.state().record_abort(target)
                return
        else:
            self.end_headers()
        if not send_body:
            return
        limit = total
        if fault.has("short"):
            limit = min(limit, fault.get("short"))
        if fault.has("stall"):
            limit = min(limit, fault.get("stall"))
        plain = (path is not None and "chunked" not in fault.flags and not fault.trickle and not fault.pause
                 and limit == size and not isinstance(self.connection, ssl.SSLSocket))
        try:
            if plain:
                with open(path, "rb") as f:
                    self.connection.sendfile(f)
            else:
                self.send_body(data, path, limit, fault)
        except (ConnectionError, ssl.SSLError, OSError):
            self.state().record_abort(target)
            raise
        if fault.has("stall") and self.stall():
            self.state().record_abort(target)
        elif "chunked" in fault.flags and not fault.has("short"):
            self.wfile.write(b"0\r\n\r\n")

    def pieces(self, data, path, limit, fault):
        """Yields the body bytes up to limit, padding with 'x' past the file
        (extra=N)."""
        step = fault.trickle[0] if fault.trickle else 256 * 1024
        sent = 0
        f = open(path, "rb") if path else None
        try:
            while sent < limit:
                n = min(step, limit - sent)
                if fault.pause and sent < fault.pause[0]:
                    n = min(n, fault.pause[0] - sent)
                if f:
                    piece = f.read(n)
                else:
                    piece = data[sent:sent + n]
                if len(piece) < n:
                    piece += b"x" * (n - len(piece))
                yield piece
                sent += n
        finally:
            if f:
                f.close()

    def send_body(self, data, path, limit, fault):
        chunked = "chunked" in fault.flags
        first = True
        sent = 0
        for piece in self.pieces(data, path, limit, fault):
            if fault.trickle and not first:
                time.sleep(fault.trickle[1])
            if fault.pause and sent == fault.pause[0]:
                time.sleep(fault.pause[1])
            first = False
            sent += len(piece)
            if chunked:
                self.wfile.write(b"%x\r\n" % len(piece) + piece + b"\r\n")
            else:
                self.wfile.write(piece)
            self.wfile.flush()

    def send_head_slowly(self, pause):
        """Sends the status line and headers one byte at a time, pause seconds
        apart; false when the client went away meanwhile."""
        head = b"".join(self._headers_buffer) + b"\r\n"
        self._headers_buffer = []
        try:
            for i in range(len(head)):
                if i:
                    time.sleep(pause)
                self.wfile.write(head[i:i + 1])
                self.wfile.flush()
        except (ConnectionError, ssl.SSLError, OSError):
            return False
        return True

    def stall(self):
        """Keeps the connection open and silent until the client goes away;
        true when it did."""
        self.close_connection = True
        end = time.monotonic() + STALL_LIMIT
        sock = self.connection
        while time.monotonic() < end:
            ready, _, _ = select.select([sock], [], [], 0.5)
            if ready:
                try:
                    if not sock.recv(4096):
                        return True
                except (OSError, ssl.SSLError):
                    return True
        return False


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, state, port, context=None):
        self.kuvana = state
        self.context = context
        super().__init__(("127.0.0.1", port), Handler)

    def get_request(self):
        sock, addr = super().get_request()
        if self.context is not None:
            sock.settimeout(10)
            try:
                sock = self.context.wrap_socket(sock, server_side=True)
            except (ssl.SSLError, OSError):
                sock.close()
                raise OSError("handshake failed")
            sock.settimeout(None)
        return sock, addr

    def handle_error(self, request, client_address):
        pass


def tls_context(certdir, name):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(certdir, name + ".pem"), os.path.join(certdir, name + ".key"))
    return context


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--root", help="directory of files to serve")
    parser.add_argument("--port", type=int, default=0, help="HTTP port (0: a free one)")
    parser.add_argument("--tls", metavar="CERTDIR", help="also serve HTTPS (server.pem/key, other.pem/key, ca.der)")
    parser.add_argument("--sign", metavar="CERTDIR",
                        help="serve <path>.p7, when nobody put one, signed with maker.pem/key over <path>")
    parser.add_argument("--release-keys", metavar="DIR", default=os.path.join(HERE, "release-keys"),
                        help="with --sign: sign lists with test-release.pem/key here (release mode)")
    parser.add_argument("--log", help="append every request head to this file")
    parser.add_argument("--ready", help="write the ports as JSON here once listening")
    parser.add_argument("--forever", action="store_true",
                        help="run until killed (default: until stdin closes)")
    args = parser.parse_args()

    state = State(args.root, args.log)
    if args.sign:
        state.signer = (os.path.join(args.sign, "maker.pem"), os.path.join(args.sign, "maker.key"))
        keys = args.release_keys
        state.release_keys = {"release": (os.path.join(keys, "test-release.pem"), os.path.join(keys, "test-release.key")),
                              "next": (os.path.join(keys, "test-release-next.pem"),
                                       os.path.join(keys, "test-release-next.key")),
                              "maker": state.signer}
    servers = {"http": Server(state, args.port)}
    if args.tls:
        servers["https"] = Server(state, 0, tls_context(args.tls, "server"))
        servers["badtls"] = Server(state, 0, tls_context(args.tls, "other"))
        with open(os.path.join(args.tls, "ca.der"), "rb") as f:
            state.ca_der = f.read()
    state.ports = {k: s.server_address[1] for k, s in servers.items()}
    for s in servers.values():
        threading.Thread(target=s.serve_forever, daemon=True).start()
    info = json.dumps(state.ports)
    if args.ready:
        tmp = args.ready + ".tmp"
        with open(tmp, "w") as f:
            f.write(info)
        os.replace(tmp, args.ready)
    else:
        print(info, flush=True)
    try:
        if args.forever:
            threading.Event().wait()
        else:
            # The starter holds the other end: the server never outlives it.
            sys.stdin.buffer.read()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
