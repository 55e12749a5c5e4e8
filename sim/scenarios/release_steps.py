"""A scenario's release signed as a vendor signs it (tools/release-sign with
one of the tests' release keys), as it was signed some days ago when the
scenario serves an older one, and the machine's stored release state (each
key's serial), which every scenario leaves as it found it."""

import datetime
import os
import re
import subprocess

import vendor_setup

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
KEYS = os.path.join(ROOT, "sim", "server", "release-keys")
# The release key, and the next key a vendor moves to when the first leaks.
SIGNERS = {"release": "test-release", "next": "test-release-next"}
PINS = {"release": "7655f83b8a7cb06e2b70ac6b83469f5c146229f915764a7a91244d5ee4c41b5a",
        "next": "3cb6b357b459088ce36c430642461a0829ed97d1810fcc8597e6c3b547bf1585"}
VALIDITY_DAYS = 90
STAMP = "%Y-%m-%dT%H:%M:%SZ"
SERIAL_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\Zorvik Corporation\Kuvana Class Installer"
SERIAL_VALUE = "Release Serial"  # and "Release Serial <pin>", each key's own


def list_lines(path):
    """The entries of a list file, the first of each key."""
    found = {}
    with open(path, "rb") as f:
        for entry in f.read().split():
            key, comma, value = entry.decode("latin-1").partition(",")
            if comma:
                found.setdefault(key, value)
    return found


def sign(folder, age_days=0, signer="release", serial=None, retire=None):
    """Signs every list under folder for 90 days with tools/release-sign and
    the key `signer` ("release" or "next"), with `serial` if given, retiring
    the key `retire` if given. A release age_days old gets the serial and
    expiry it was signed with then; once its expiry is past (release-sign
    writes none in the past) that line is written as it was and the list
    signed again with the same key. Returns release-sign's summary line."""
    signed_at = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0) - \
        datetime.timedelta(days=age_days)
    left = VALIDITY_DAYS - age_days
    KEY, CERT = (os.path.join(KEYS, SIGNERS[signer] + suffix) for suffix in (".key", ".pem"))
    command = [os.path.join(ROOT, "tools", "release-sign"), folder, "--key", KEY, "--cert", CERT,
               "--valid-days", str(max(left, 1))]
    if age_days or serial:
        command += ["--serial", serial or signed_at.strftime("%Y%m%d%H%M%S")]
    if retire:
        command += ["--retire", PINS[retire]]
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


# ------------------------------------------------- the stored state ---------

def _wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def save_serial(wine_run, env, work):
    """The store's key as reg exports it (its values' lines), or None when
    there is none."""
    text = vendor_setup.export_key(wine_run, env, SERIAL_KEY, os.path.join(work, "stored-serial.reg"))
    if text is None:
        return None
    text = text.replace("\r\n", "\n")
    return text[text.index("["):] if "[" in text else None


def serials_of(saved):
    """{value name: number} of the REG_QWORD values in a saved key."""
    found = {}
    # A value's data may run over several lines, each ending in a backslash.
    for name, data in re.findall(r'^"(%s[^"]*)"=hex\(b\):((?:[0-9a-f,]|\\\n\s*)+)$' % SERIAL_VALUE,
                                 saved or "", re.M):
        value = bytes(int(b, 16) for b in re.findall(r"[0-9a-f]{2}", data))
        if len(value) == 8:
            found[name] = int.from_bytes(value, "little")
    return found


def describe_serials(saved):
    """The stored state in words: each key's serial, or that it is retired."""
    serials = serials_of(saved)
    names = {SERIAL_VALUE + " " + pin: signer for signer, pin in PINS.items()}
    words = ["%s key %s" % (names.get(name, name), "retired" if value == (1 << 64) - 1 else value)
             for name, value in sorted(serials.items()) if name in names]
    if SERIAL_VALUE in serials:
        words.append("earlier versions' %d" % serials[SERIAL_VALUE])
    return ", ".join(words) or "none"


def restore_serial(wine, env, work, saved):
    """Puts the saved key back as it was, or deletes it when there was none."""
    path = os.path.join(work, "restore-serial.reg")
    text = "Windows Registry Editor Version 5.00\r\n\r\n[-%s]\r\n\r\n%s" % (
        SERIAL_KEY, (saved or "").replace("\n", "\r\n"))
    with open(path, "wb") as f:
        f.write(text.encode("utf-16"))
    wine(env, "reg", "import", _wine_path(path), check=False)
