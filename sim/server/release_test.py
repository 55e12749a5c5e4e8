#!/usr/bin/env python3
"""The server's release mode as a client sees it, checked with openssl:
    with-server --sign CERTDIR -- release_test.py CERTDIR
Exits non-zero on a failure."""

import hashlib
import os
import re
import subprocess
import sys
import tempfile
import urllib.error
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
URL = os.environ["KUVANA_SERVER_URL"]
LIST = "/Products/kuvana/pcrw/driver/netinstaller/en/url_list.txt"
NET = "/Products/kuvana/pcrw/driver/netinstaller/KuvanaNetInstaller.exe"
failures = []


def call(path, body=None, proxy_host=None):
    handlers = []
    if proxy_host:
        handlers.append(urllib.request.ProxyHandler({"http": URL}))
        path = "http://%s%s" % (proxy_host, path)
    else:
        path = URL + path
        handlers.append(urllib.request.ProxyHandler({}))
    request = urllib.request.Request(path, data=body, method="POST" if body is not None else "GET")
    try:
        with urllib.request.build_opener(*handlers).open(request, timeout=20) as response:
            return response.status, response.read()
    except urllib.error.HTTPError as e:
        return e.code, e.read()


def put(path, data):
    assert call("/_control/file" + path, data)[0] == 200


def lines(data):
    return dict(entry.split(b",", 1) for entry in data.split() if b"," in entry)


def pins():
    with open(os.path.join(HERE, "release-keys", "README.md")) as f:
        return dict(re.findall(r"\| `([\w-]+)` \| `([0-9a-f]{64})` \|", f.read()))


def signers(data, signature):
    """(pins of the signers' keys, eContentType) when the detached signature
    verifies over data, else None."""
    with tempfile.TemporaryDirectory() as tmp:
        for name, content in (("data", data), ("p7", signature)):
            with open(os.path.join(tmp, name), "wb") as f:
                f.write(content)
        certs = os.path.join(tmp, "signers.pem")
        if subprocess.run(["openssl", "cms", "-verify", "-binary", "-inform", "DER", "-in", tmp + "/p7", "-content",
                           tmp + "/data", "-noverify", "-purpose", "any", "-signer", certs, "-out", os.devnull],
                          capture_output=True).returncode:
            return None
        found = []
        for pem in re.findall(rb"-----BEGIN CERTIFICATE-----.*?-----END CERTIFICATE-----", open(certs, "rb").read(),
                              re.S):
            key = subprocess.run(["openssl", "x509", "-pubkey", "-noout"], input=pem, capture_output=True).stdout
            der = subprocess.run(["openssl", "pkey", "-pubin", "-outform", "DER"], input=key, capture_output=True).stdout
            found.append(hashlib.sha256(der).hexdigest())
        printed = subprocess.run(["openssl", "cms", "-cmsout", "-print", "-inform", "DER", "-in", tmp + "/p7"],
                                 capture_output=True, text=True).stdout
        return found, re.search(r"eContentType: .*\((.*)\)", printed).group(1)


def check(name, condition, detail=""):
    if not condition:
        failures.append("%s %s" % (name, detail))


def main():
    pin = pins()
    maker = hashlib.sha256(subprocess.run(
        ["openssl", "pkey", "-pubin", "-outform", "DER"], capture_output=True, input=subprocess.run(
            ["openssl", "x509", "-pubkey", "-noout", "-in", os.path.join(sys.argv[1], "maker.pem")],
            capture_output=True).stdout).stdout).hexdigest()
    iss, exe, net = b"[InstallShield Silent]\r\n", os.urandom(70000), b"net installer"
    listing = ("KPS_ISS,../../kps/kps_setup.iss\r\nKPS_EXE,%s/_fault/fail=1/kps/kps_setup.exe\r\n"
               "KL_ISS,/missing.iss\r\nKL_EXE,http://elsewhere.invalid/kl.exe\r\n"
               "PCSC_B_EXE,http://download.zorvik.co.jp/kps/kps_setup.exe" % URL).encode()
    files = {"KPS_ISS": iss, "KPS_EXE": exe, "KL_ISS": b"", "KL_EXE": b"", "NET_EXE": net}
    # case: (name, release options, proxied host or None, expected lines, pin name, content type)
    cases = [
        ("default", "", None, {b"RELEASE_SERIAL": b"1", b"RELEASE_LANGUAGE": b"en", b"PCSC_B_EXE_SIZE": b"0"},
         "test-release", "1.2.840.113549.1.7.1"),
        ("proxied: the list's own host is this server", "", "download.zorvik.co.jp",
         {b"PCSC_B_EXE_SIZE": b"70000"}, "test-release", "1.2.840.113549.1.7.1"),
        ("settings", "serial=123456789012345678,language=ja,expires=2020-01-02T03:04:05Z,key=next", None,
         {b"RELEASE_SERIAL": b"123456789012345678", b"RELEASE_LANGUAGE": b"ja",
          b"RELEASE_EXPIRES": b"2020-01-02T03:04:05Z"}, "test-release-next", "1.2.840.113549.1.7.1"),
        ("faults in lines", "omit=KPS_ISS_SIZE,line=KPS_EXE_SIZE:12a,extra=RELEASE_SERIAL:2", None,
         {b"KPS_ISS_SIZE": None, b"KPS_EXE_SIZE": b"12a"}, "test-release", "1.2.840.113549.1.7.1"),
        ("Authenticode key", "key=maker", None, {}, "maker", "1.2.840.113549.1.7.1"),
        ("two signers, other content", "signers=2,content=1.2.840.113549.1.7.2", None, {},
         "test-release+test-release-next", "1.2.840.113549.1.7.2"),
    ]
    pin["maker"] = maker
    for name, options, host, expected, signer, content in cases:
        assert call("/_control/reset")[0] == 200
        check(name, call("/_control/release/" + options)[0] == 200, "options refused")
        put(LIST, listing)
        put("/Products/kuvana/pcrw/driver/kps/kps_setup.iss", iss)
        put("/kps/kps_setup.exe", exe)
        put(NET, net)
        status, data = call(LIST, proxy_host=host)
        _, signature = call(LIST + ".p7", proxy_host=host)
        found = lines(data)
        check(name, data.startswith(listing + b"\r\n"), "list not kept in front")
        for key, content_bytes in files.items():
            for line, value in ((key + "_SIZE", str(len(content_bytes))),
                                (key + "_SHA256", hashlib.sha256(content_bytes).hexdigest())):
                line = line.encode()
                check(name, line in expected or found.get(line) == value.encode(), line)
        for key, value in expected.items():
            check(name, found.get(key) == value, "%s is %s" % (key, found.get(key)))
        check(name, b"PCSC_B_ISS_SIZE" not in found, "a line for a key the list does not name")
        check(name, "expires" in options or re.fullmatch(rb"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ",
                                                         found.get(b"RELEASE_EXPIRES", b"")), "expiry")
        verified = signers(data, signature)
        check(name, verified == ([pin[s] for s in signer.split("+")], content), "signature %s" % (verified,))
    # Served as it stands: a list with its own serial, and a pinned one.
    assert call("/_control/reset")[0] == 200
    put(LIST, b"RELEASE_SERIAL,9 KPS_EXE,../../kps/kps_setup.exe")
    check("signed release", call(LIST)[1] == b"RELEASE_SERIAL,9 KPS_EXE,../../kps/kps_setup.exe")
    put(LIST, b"KPS_EXE,/kps/kps_setup.exe")
    put("/kps/kps_setup.exe", exe)
    check("pin", call("/_control/pin" + LIST)[0] == 200)
    put("/kps/kps_setup.exe", b"swapped")
    data, signature = call(LIST)[1], call(LIST + ".p7")[1]
    check("pin", lines(data)[b"KPS_EXE_SHA256"] == hashlib.sha256(exe).hexdigest().encode(), "lines moved")
    check("pin", signers(data, signature) is not None, "signature")
    check("response file", signers(exe, call("/kps/kps_setup.exe.p7")[1]) is None and
          signers(b"swapped", call("/kps/kps_setup.exe.p7")[1]) == ([maker], "1.2.840.113549.1.7.1"), "maker's")
    check("bad option", call("/_control/release/serial=12x")[0] == 400)
    for failure in failures:
        print("FAILED:", failure)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
