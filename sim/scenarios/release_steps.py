"""A scenario's release signed as a vendor signs it (tools/release-sign with
the tests' release key), as it was signed some days ago when the scenario
serves an older one, and the machine's stored release serial, which every
scenario leaves as it found it."""

import datetime
import os
import re
import subprocess

import vendor_setup

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
KEYS = os.path.join(ROOT, "sim", "server", "release-keys")
KEY, CERT = os.path.join(KEYS, "test-release.key"), os.path.join(KEYS, "test-release.pem")
VALIDITY_DAYS = 90
STAMP = "%Y-%m-%dT%H:%M:%SZ"
SERIAL_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\Zorvik Corporation\Kuvana Class Installer"
SERIAL_VALUE = "Release Serial"


def list_lines(path):
    """The entries of a list file, the first of each key."""
    found = {}
    with open(path, "rb") as f:
        for entry in f.read().split():
            key, comma, value = entry.decode("latin-1").partition(",")
            if comma:
                found.setdefault(key, value)
    return found


def sign(folder, age_days=0):
    """Signs every list under folder for 90 days with tools/release-sign. A
    release age_days old gets the serial and expiry it was signed with then;
    once its expiry is past (release-sign writes none in the past) that line
    is written as it was and the list signed again with the same key.
    Returns release-sign's summary line."""
    signed_at = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0) - \
        datetime.timedelta(days=age_days)
    left = VALIDITY_DAYS - age_days
    command = [os.path.join(ROOT, "tools", "release-sign"), folder, "--key", KEY, "--cert", CERT,
               "--valid-days", str(max(left, 1))]
    if age_days:
        command += ["--serial", signed_at.strftime("%Y%m%d%H%M%S")]
    signed = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if signed.returncode != 0:
        raise RuntimeError("release-sign failed: %s" % signed.stdout.decode(errors="replace"))
    if left < 1:
        expires = (signed_at + datetime.timedelta(days=VALIDITY_DAYS)).strftime(STAMP)
        for path in lists(folder):
            with open(path, "rb") as f:
                text = f.read()
            with open(path, "wb") as f:
                f.write(re.sub(rb"RELEASE_EXPIRES,\S+", b"RELEASE_EXPIRES," + expires.encode(), text))
            subprocess.run(["openssl", "cms", "-sign", "-binary", "-outform", "DER", "-md", "sha256", "-nosmimecap",
                            "-signer", CERT, "-inkey", KEY, "-in", path, "-out", path + ".p7"], check=True)
    return signed.stdout.decode().strip().splitlines()[-1].split(": ", 1)[-1]


def lists(folder):
    return sorted(os.path.join(top, name) for top, _, names in os.walk(folder) for name in names
                  if name == "url_list.txt")


def describe(lines):
    return "serial %s, expires %s, language %s" % (lines.get("RELEASE_SERIAL"), lines.get("RELEASE_EXPIRES"),
                                                   lines.get("RELEASE_LANGUAGE"))


# ------------------------------------------------- the stored serial --------

def _wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def save_serial(wine_run, env, work):
    """The stored serial's line as reg exports it ('"Release Serial"=hex(b):...'),
    or None when there is none."""
    text = vendor_setup.export_key(wine_run, env, SERIAL_KEY, os.path.join(work, "stored-serial.reg"))
    if text is None:
        return None
    # A value's data may run over several lines, each ending in a backslash.
    match = re.search(r'^"%s"=.*?(?<!\\)$' % SERIAL_VALUE, text.replace("\r\n", "\n"), re.M | re.S)
    return match.group(0) if match else None


def serial_of(line):
    """The number in a saved line, or None."""
    match = re.match(r'"%s"=hex\(b\):([0-9a-f,\\\s]+)$' % SERIAL_VALUE, line or "")
    if not match:
        return None
    data = bytes(int(b, 16) for b in re.findall(r"[0-9a-f]{2}", match.group(1)))
    return int.from_bytes(data, "little") if len(data) == 8 else None


def restore_serial(wine, env, work, line):
    """Writes the saved line back, or deletes the value when there was none."""
    path = os.path.join(work, "restore-serial.reg")
    text = "Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n%s\r\n" % (
        SERIAL_KEY, line.replace("\n", "\r\n") if line else '"%s"=-' % SERIAL_VALUE)
    with open(path, "wb") as f:
        f.write(text.encode("utf-16"))
    wine(env, "reg", "import", _wine_path(path), check=False)
