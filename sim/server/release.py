"""The server's release mode (see README.md here): a URL list served without
release lines gets them, computed from what the server serves at that moment,
and its signature is made with a release key.  Release holds the settings
that /_control/release/<options> changes."""

import copy
import datetime
import hashlib
import re

FILE_KEYS = ("KPS_ISS", "KPS_EXE", "KL_ISS", "KL_EXE", "PCSC_B_ISS", "PCSC_B_EXE")
NET_INSTALLER = "/Products/kuvana/pcrw/driver/netinstaller/KuvanaNetInstaller.exe"
LIST_NAME = "url_list.txt"
VALIDITY = datetime.timedelta(days=90)
EMPTY_SHA256 = hashlib.sha256(b"").hexdigest()
SIGNERS = ("release", "next", "maker")


def is_list(path):
    return path.endswith(LIST_NAME)


def timestamp(moment):
    return moment.strftime("%Y-%m-%dT%H:%M:%SZ")


def now():
    return datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)


def entries(data):
    """(key, value) of each entry of a list's bytes, in order: runs without
    white space, split at their first comma."""
    for entry in data.split():
        key, comma, value = entry.partition(b",")
        if comma:
            yield key.decode("latin-1"), value.decode("latin-1")


class Release:
    """How the server serves a release. Options, comma-separated:
      lines=on|off      append release lines to lists that have none (default on)
      serial=N          RELEASE_SERIAL (default 1)
      expires=T         RELEASE_EXPIRES: YYYY-MM-DDThh:mm:ssZ, or +S/-S seconds from now
                        (default: 90 days after the reset)
      language=L        RELEASE_LANGUAGE (default en)
      key=K             the list's signer: release, next or maker (the Authenticode key)
      signers=2         a second signer: the other release key
      content=OID       the signature's eContentType instead of id-data
      md=NAME           the signature's digest instead of sha256
      omit=KEY          leave the line KEY out
      line=KEY:VALUE    KEY's value instead of the computed one (added when not computed)
      extra=KEY:VALUE   one more line after the others
      net=PATH          the server path NET_EXE is computed from
    Settings add up until the server's reset."""

    def __init__(self):
        self.lines = True
        self.serial = "1"
        self.expires = timestamp(now() + VALIDITY)
        self.language = "en"
        self.key = "release"
        self.signers = 1
        self.content = None
        self.digest = "sha256"
        self.omit = set()
        self.values = {}
        self.extra = []
        self.net = NET_INSTALLER

    def changed(self, text):
        """A copy with the options in text applied; ValueError names a bad one."""
        new = copy.deepcopy(self)
        for item in filter(None, text.split(",")):
            name, _, value = item.partition("=")
            key, colon, keyed = value.partition(":")
            if name == "lines" and value in ("on", "off"):
                new.lines = value == "on"
            elif name == "serial" and value.isdigit():
                new.serial = value
            elif name == "expires" and re.fullmatch(r"[+-]\d+", value):
                new.expires = timestamp(now() + datetime.timedelta(seconds=int(value)))
            elif name == "expires" and re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", value):
                new.expires = value
            elif name == "language" and re.fullmatch(r"[A-Za-z-]+", value):
                new.language = value
            elif name == "key" and value in SIGNERS:
                new.key = value
            elif name == "signers" and value in ("1", "2"):
                new.signers = int(value)
            elif name == "content" and re.fullmatch(r"[\w.]+", value):
                new.content = value
            elif name == "md" and re.fullmatch(r"[\w-]+", value):
                new.digest = value
            elif name == "omit" and re.fullmatch(r"\w+", value):
                new.omit.add(value)
            elif name in ("line", "extra") and colon and re.fullmatch(r"\w+", key) and not re.search(r"\s", keyed):
                if name == "line":
                    new.values[key] = keyed
                else:
                    new.extra.append((key, keyed))
            elif name == "net" and value.startswith("/") and not re.search(r"\s", value):
                new.net = value
            else:
                raise ValueError(item)
        return new

    def signer_names(self):
        """The keys the list's signature is made with, first the chosen one."""
        names = [self.key]
        if self.signers == 2:
            names.append("next" if self.key != "next" else "release")
        return names

    def cms_options(self):
        options = ["-md", self.digest, "-nosmimecap"]
        if self.content:
            options += ["-econtent_type", self.content]
        return options

    def apply(self, data, measure):
        """data with the release lines appended, unless it has a RELEASE_SERIAL
        entry already (a signed release served as it stands) or lines are off.
        measure(address) gives (size, sha256 hex) of what the address, as the
        list writes it, serves now."""
        if not self.lines:
            return data
        named = {}
        for key, value in entries(data):
            if key == "RELEASE_SERIAL":
                return data
            named.setdefault(key, value)
        lines = [("RELEASE_SERIAL", self.serial), ("RELEASE_EXPIRES", self.expires),
                 ("RELEASE_LANGUAGE", self.language)]
        files = [(key, named[key]) for key in FILE_KEYS if key in named] + [("NET_EXE", self.net)]
        for key, address in files:
            size, sha256 = measure(address)
            lines += [(key + "_SHA256", sha256), (key + "_SIZE", str(size))]
        lines = [(key, self.values.get(key, value)) for key, value in lines if key not in self.omit]
        computed = {key for key, _ in lines}
        lines += [(key, value) for key, value in self.values.items() if key not in computed]
        lines += self.extra
        text = "".join("%s,%s\r\n" % line for line in lines).encode("latin-1")
        if data and not data[-1:].isspace():
            text = b"\r\n" + text
        return data + text
