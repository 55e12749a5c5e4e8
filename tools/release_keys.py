"""Where tools/release-key and tools/release-sign find a release key: a key
file (PEM, PKCS #8 encrypted with a passphrase or not) or a key on a token or
HSM named by an RFC 7512 pkcs11: URI, used through OpenSSL's PKCS #11 engine
(libengine-pkcs11-openssl) so that it never leaves the token. Every openssl
call gets the key's arguments from a KeySource; a passphrase or PIN goes to
openssl through a pipe, never on a command line or in the environment."""

import getpass
import hashlib
import os
import subprocess
import tempfile
import urllib.parse


class KeyProblem(Exception):
    pass


def read_secret_fd(fd):
    """A passphrase or PIN from an open file descriptor, up to its first line end."""
    try:
        with os.fdopen(fd, "rb", closefd=True) as f:
            data = f.read(4096)
    except OSError as e:
        raise KeyProblem("cannot read a passphrase from file descriptor %d: %s" % (fd, e.strerror))
    return data.split(b"\n", 1)[0].rstrip(b"\r").decode("utf-8")


def ask_secret(prompt, twice=False):
    """A passphrase typed at the terminal (never echoed)."""
    try:
        with open("/dev/tty", "r"):
            pass
    except OSError:
        raise KeyProblem("no terminal to ask for %s: give it with --passphrase-fd N" % prompt)
    first = getpass.getpass("%s: " % prompt)
    if twice and getpass.getpass("%s again: " % prompt) != first:
        raise KeyProblem("the two entries differ" % prompt)
    return first


def parse_pkcs11(uri):
    """(URI for the engine, module path or None). The engine does not take
    RFC 7512's module-path attribute; it loads that module instead of its
    default (p11-kit's proxy, which reaches every module p11-kit knows)."""
    if not uri.startswith("pkcs11:"):
        raise KeyProblem("--pkcs11 takes a pkcs11: URI (RFC 7512), e.g. "
                        "\"pkcs11:token=release;object=release-key;type=private\"")
    path, question, query = uri.partition("?")
    kept, module = [], None
    for attribute in query.split("&") if question else []:
        name, _, value = attribute.partition("=")
        if name == "module-path":
            module = urllib.parse.unquote(value)
        elif name == "module-name":
            raise KeyProblem("module-name is not supported: name the module's file with module-path=")
        elif attribute:
            kept.append(attribute)
    if module is not None and not os.path.isfile(module):
        raise KeyProblem("module-path %s is not a file" % module)
    return path + ("?" + "&".join(kept) if kept else ""), module


def with_type(uri, kind):
    """The same object of another type (the public key beside a private one)."""
    path, question, query = uri.partition("?")
    parts = [p for p in path[len("pkcs11:"):].split(";") if p and not p.startswith("type=")]
    return "pkcs11:" + ";".join(parts + ["type=" + kind]) + question + query


class KeySource:
    """A release key: `path` of a key file, or `uri` of a token's key."""

    def __init__(self, path=None, uri=None, passphrase_fd=None):
        self.path, self._config = path, None
        self.uri, self.module = parse_pkcs11(uri) if uri is not None else (None, None)
        self.secret = read_secret_fd(passphrase_fd) if passphrase_fd is not None else None

    def encrypted(self):
        with open(self.path, "rb") as f:
            return b"ENCRYPTED" in f.read(256)

    def unlock(self):
        """Asks once for what the key needs: a file key's passphrase when it is
        encrypted, a token's PIN unless the URI carries one."""
        if self.secret is not None:
            return
        if self.uri is not None:
            query = self.uri.partition("?")[2]
            if not any(a.startswith(("pin-value=", "pin-source=")) for a in query.split("&")):
                self.secret = ask_secret("the token's PIN")
        elif self.encrypted():
            self.secret = ask_secret("the passphrase of %s" % self.path)

    def _environment(self):
        env = dict(os.environ)
        if self.module is not None:
            if self._config is None:
                config = tempfile.NamedTemporaryFile("w", suffix=".cnf", delete=False)
                config.write("openssl_conf = conf\n[conf]\nengines = engines\n[engines]\npkcs11 = pkcs11\n"
                             "[pkcs11]\nengine_id = pkcs11\nMODULE_PATH = %s\n" % self.module)
                config.close()
                self._config = config.name
            env["OPENSSL_CONF"] = self._config
        return env

    def close(self):
        if self._config is not None:
            os.remove(self._config)
            self._config = None

    def openssl(self, args, key_option="-inkey", stdin=b"", public=False):
        """Runs openssl ARGS with the key after key_option; returns the
        CompletedProcess (stdout and stderr captured)."""
        command = ["openssl"] + list(args)
        if self.uri is not None:
            command[2:2] = ["-engine", "pkcs11"]
            command += [key_option, with_type(self.uri, "public") if public else self.uri,
                        "-inform" if public else "-keyform", "engine"]
        else:
            command += [key_option, self.path]
        return run_openssl(command, None if public else self.secret, stdin=stdin, env=self._environment())

    def public_pin(self):
        """The pin of the token's public key object (a key file's pin comes
        from its certificate)."""
        run = self.openssl(["pkey", "-pubin", "-pubout", "-outform", "DER"], key_option="-in", public=True)
        if run.returncode or not run.stdout:
            raise KeyProblem("the token has no public key for %s: %s" % (self.uri, failure(run)))
        return hashlib.sha256(run.stdout).hexdigest()


def run_openssl(command, secret=None, option="-passin", stdin=b"", env=None):
    """Runs an openssl command; a secret goes after `option` as fd:N, the
    read end of a pipe that holds it."""
    fds = ()
    if secret is not None:
        read, write = os.pipe()
        os.write(write, secret.encode("utf-8") + b"\n")
        os.close(write)
        fds = (read,)
        command = command + [option, "fd:%d" % read]
    try:
        return subprocess.run(command, input=stdin, capture_output=True, pass_fds=fds, env=env)
    finally:
        for fd in fds:
            os.close(fd)


def failure(run):
    """openssl's complaint, without the engine's chatter."""
    lines = [line for line in run.stderr.decode(errors="replace").splitlines() if not line.startswith("Engine ")]
    return " ".join(lines).strip() or "openssl exited with %d" % run.returncode


def certificate_pin(cert):
    """SHA-256 of the certificate's DER SubjectPublicKeyInfo."""
    pem = subprocess.run(["openssl", "x509", "-in", cert, "-pubkey", "-noout"], capture_output=True)
    spki = subprocess.run(["openssl", "pkey", "-pubin", "-outform", "DER"], input=pem.stdout, capture_output=True)
    if pem.returncode or spki.returncode or not spki.stdout:
        raise KeyProblem("%s is not a PEM certificate" % cert)
    return hashlib.sha256(spki.stdout).hexdigest()
