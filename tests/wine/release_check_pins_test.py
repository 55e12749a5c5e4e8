#!/usr/bin/env python3
"""The release check with a vendor's own pins, under Wine against the server
simulator: a key made on a SoftHSM2 token (through its PKCS #11 module) and an
encrypted key file are the vendor's; tools/release-check --pins builds the
check trusting those two. A release signed with the tests' key is refused,
one signed by either vendor key passes; the tests' own build still passes
the tests' key and says loudly that it trusts public keys. The vendor's
package passes the shipping check, the tests' package is refused.

    release_check_pins_test.py BUILD    (the win64 tree; run under with-server)"""

import os
import shutil
import subprocess
import sys
import tempfile
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOLS = os.path.join(ROOT, "tools")
KEYS = os.path.join(ROOT, "sim", "server", "release-keys")
MODULE = "/usr/lib/softhsm/libsofthsm2.so"
TOKEN_PIN, PASSPHRASE = "246810", "a vendor's passphrase"
LIST = "Products/kuvana/pcrw/driver/netinstaller/en/url_list.txt"
FILES = {  # server path: program in the build's bin folder, or a response file's text
    "Products/kuvana/pcrw/driver/kps/kps_setup.iss": b"[InstallShield Silent]\r\n",
    "Products/kuvana/pcrw/driver/kps/kps_setup.exe": "fake_kps.exe",
    "Products/kuvana/pcrw/driver/netinstaller/KuvanaNetInstaller.exe": "fake_installer.exe",
}
failures = []


def check(name, condition, detail=""):
    print("%s: %s" % ("ok" if condition else "FAILED", name))
    if not condition:
        failures.append(name)
        print(detail)


def run(command, secret=None, env=None):
    """Runs a command; a secret goes to it on file descriptor 3's place (its
    number replaces FD in the command)."""
    fds = ()
    if secret is not None:
        read, write = os.pipe()
        os.write(write, secret.encode() + b"\n")
        os.close(write)
        fds = (read,)
        command = [str(read) if part == "FD" else part for part in command]
    try:
        done = subprocess.run(command, capture_output=True, text=True, pass_fds=fds, env=env,
                              stdin=subprocess.DEVNULL)
    finally:
        for fd in fds:
            os.close(fd)
    return done.returncode, done.stdout + done.stderr


def pin_in(output):
    return [line.split()[1] for line in output.splitlines() if line.startswith("pin: ")][-1]


def serve_release(work, bin_dir, signing, secret):
    """A release as a vendor makes it, signed with release-sign, put on the server."""
    release = os.path.join(work, "release")
    shutil.rmtree(release, ignore_errors=True)
    for path, content in FILES.items():
        os.makedirs(os.path.dirname(os.path.join(release, path)), exist_ok=True)
        if isinstance(content, str):
            shutil.copy(os.path.join(bin_dir, content), os.path.join(release, path))
        else:
            with open(os.path.join(release, path), "wb") as f:
                f.write(content)
    os.makedirs(os.path.dirname(os.path.join(release, LIST)))
    with open(os.path.join(release, LIST), "wb") as f:
        f.write(b"KPS_ISS,../../kps/kps_setup.iss\r\nKPS_EXE,../../kps/kps_setup.exe\r\n")
    status, out = run([os.path.join(TOOLS, "release-sign"), release] + signing, secret)
    if status:
        return out
    server = os.environ["KUVANA_SERVER_URL"]
    urllib.request.urlopen(server + "/_control/reset", timeout=10).read()
    for path in list(FILES) + [LIST, LIST + ".p7"]:
        with open(os.path.join(release, path), "rb") as f:
            urllib.request.urlopen(urllib.request.Request(server + "/_control/file/" + path, data=f.read()),
                                   timeout=10).read()
    return None


def release_check(program):
    env = dict(os.environ, http_proxy=os.environ["KUVANA_SERVER_URL"])
    return run([os.path.join(ROOT, "tests", "wine", "wine-run"), program, "--language", "en"], env=env)


def main():
    build = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix="release-check-pins-")
    try:
        # The vendor's keys: one made on a token (never leaving it), one an encrypted file.
        os.makedirs(os.path.join(work, "tokens"))
        with open(os.path.join(work, "softhsm2.conf"), "w") as f:
            f.write("directories.tokendir = %s\nobjectstore.backend = file\n" % os.path.join(work, "tokens"))
        os.environ["SOFTHSM2_CONF"] = os.path.join(work, "softhsm2.conf")
        for command in (["softhsm2-util", "--init-token", "--free", "--label", "vendor-release", "--pin", TOKEN_PIN,
                         "--so-pin", "13579135"],
                        ["pkcs11-tool", "--module", MODULE, "--login", "--pin", TOKEN_PIN, "--keypairgen",
                         "--key-type", "rsa:3072", "--id", "01", "--label", "release-key"]):
            status, out = run(command)
            check(command[0], status == 0, out)
        uri = "pkcs11:token=vendor-release;object=release-key;type=private?module-path=" + MODULE
        token_cert, file_dir = os.path.join(work, "token", "release.pem"), os.path.join(work, "file")
        status, out = run([os.path.join(TOOLS, "release-key"), "new", os.path.dirname(token_cert), "--pkcs11", uri,
                           "--passphrase-fd", "FD"], TOKEN_PIN)
        check("release-key --pkcs11", status == 0, out)
        token_pin = pin_in(out)
        status, out = run([os.path.join(TOOLS, "release-key"), "new", file_dir, "--encrypt", "--passphrase-fd", "FD"],
                          PASSPHRASE)
        check("release-key --encrypt", status == 0, out)
        file_pin = pin_in(out)
        pins = "%s,%s" % (token_pin, file_pin)

        certs = "%s,%s" % (token_cert, os.path.join(file_dir, "release.pem"))
        status, out = run([os.path.join(TOOLS, "release-check"), "--pins", pins, "--keys", certs, "--build-only"])
        check("release-check --pins builds", status == 0, out)
        vendor = os.path.join(ROOT, out.strip().splitlines()[-1])
        status, out = run([os.path.join(TOOLS, "release-check"), "--pins", token_pin[:63], "--keys", certs])
        check("release-check refuses a malformed pin", status == 2 and "64 lowercase hex" in out, out)

        test_key = ["--key", os.path.join(KEYS, "test-release.key"), "--cert", os.path.join(KEYS, "test-release.pem")]
        token = ["--pkcs11", uri, "--cert", token_cert, "--passphrase-fd", "FD"]
        encrypted = ["--key", os.path.join(file_dir, "release.key"), "--cert", os.path.join(file_dir, "release.pem"),
                     "--passphrase-fd", "FD"]
        loud = "THIS BUILD TRUSTS THE TESTS' PUBLIC RELEASE KEYS"
        # (case, program, release-sign's key, its secret, exit status, what the output must say)
        cases = [
            ("vendor pins, the tests' key", vendor, test_key, None, 1, "signature"),
            ("vendor pins, the token's key", vendor, token, TOKEN_PIN, 0, "every package would install"),
            ("vendor pins, the encrypted key file", vendor, encrypted, PASSPHRASE, 0, "every package would install"),
            ("the tests' build, the tests' key", os.path.join(build, "bin", "release_check.exe"), test_key, None, 0,
             loud),
        ]
        for name, program, signing, secret, expected, says in cases:
            problem = serve_release(work, os.path.join(build, "bin"), signing, secret)
            if problem:
                check(name, False, "release-sign: " + problem)
                continue
            status, out = release_check(program)
            first = out.splitlines()[0] if out else ""
            check(name, status == expected and says in out and
                  first.endswith(pins if program == vendor else "") and (loud in out) == (program != vendor),
                  "exit %d\n%s" % (status, out))

        # The shipping check: the vendor's package may ship, the tests' is refused.
        tree = os.path.dirname(os.path.dirname(vendor))
        status, out = run(["cmake", "--build", tree, "--target", "kuvana_package"])
        check("the vendor's package builds", status == 0, out[-2000:])
        for name, folder, given, expected in (
                ("the vendor's package", os.path.join(tree, "package"), pins, 0),
                ("the vendor's package, other pins named", os.path.join(tree, "package"), file_pin, 1),
                ("the tests' package", os.path.join(build, "package"), None, 1)):
            status, out = run([os.path.join(TOOLS, "release-check"), "--package", folder] +
                              (["--pins", given] if given else []))
            check(name, status == expected, out)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
