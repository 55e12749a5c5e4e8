"""The vendor's setup program (kuvana_setup.exe) in the main job's scenarios:
the declarative route registers the class installer as the readers' class
co-installer through it, and setup-remove shows that it takes out only its own
entry.

The program runs from a folder of its own beside the scenario's work, as a
vendor ships it (with the class installer under its versioned name, signed
with the tests' maker certificate as the installers are: bin/setup/), plus the
simulated setupapi.dll: Wine's framework calls the class co-installer while
the program installs the driver, and the class installer's calls need the
simulator there as in the wizard host.
"""

import glob
import os
import shutil
import subprocess

SIM_CLASS = "{6B1C1D20-4D3B-4BD1-9A51-6F2E11527301}"  # the readers' class (package/kuvana_reader.inx, sim/readers/zrvsim.inx)
CO_DEVICE_INSTALLERS = r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\CoDeviceInstallers"
DECLARATIVE_INF = "zrvsim_declarative.inf"
LEGACY_INF = "zrvsim.inf"

# kuvana_setup.exe's exit codes (setup/setup_main.cpp).
EXITS = {0: "done", 1: "bad usage", 2: "refused: no administrator rights", 3: "refused: legacy package present",
         4: "files", 5: "registry", 6: "driver not installed", 7: "registered, no reader present yet",
         8: "registered, newer driver kept", 9: "done at the next restart"}


def versioned_dll(build):
    """The class installer's versioned file name in the build's package folder."""
    names = sorted(os.path.basename(p) for p in glob.glob(os.path.join(build, "package", "kuvana_coinst_*.dll")))
    if not names:
        raise RuntimeError("no kuvana_coinst_<version>.dll in %s/package: build kuvana_setup" % build)
    return names[-1]


def vendor_folder(build, work):
    """The shipped folder the program runs from (see the module's note)."""
    folder = os.path.join(work, "vendor")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    package = os.path.join(build, "package")
    wizard = os.path.join(build, "bin", "wizard")
    signed = os.path.join(build, "bin", "setup", versioned_dll(build))
    for source in (os.path.join(package, "kuvana_setup.exe"), signed,
                   os.path.join(wizard, "setupapi.dll"), os.path.join(wizard, "setupapi_wine.dll")):
        shutil.copy(source, folder)
    return folder


def bounded(env, seconds):
    """env for tests/wine/wine-run that ends the program after `seconds`."""
    return dict(env, KUVANA_TIMEOUT=str(seconds))


def run_setup(wine_run, env, folder, command, inf, say, indent=1):
    """Runs `kuvana_setup command inf`, prints its lines; returns its exit code.
    Installing a present reader's driver takes the longest of its steps."""
    result = subprocess.run([wine_run, os.path.join(folder, "kuvana_setup.exe"), command, inf], env=bounded(env, 120),
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        say(line.rstrip("\r"), indent)
    say("kuvana_setup %s exits %d (%s)" % (command, result.returncode, EXITS.get(result.returncode, "?")), indent)
    return result.returncode


def export_key(wine_run, env, key, path):
    """The key as `reg export` writes it (UTF-16 .reg text), or None when there
    is no such key. reg never asks: regedit may answer a missing key with a
    message box that waits for a click."""
    if os.path.exists(path):
        os.remove(path)
    subprocess.run([wine_run, "reg", "export", key, "Z:" + os.path.abspath(path).replace("/", "\\"), "/y"],
                   env=bounded(env, 30), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        raw = f.read()
    return raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("latin-1")


def class_value(wine_run, env, work):
    """The readers' class value under CoDeviceInstallers: a list, or None when
    there is no value."""
    text = export_key(wine_run, env, CO_DEVICE_INSTALLERS, os.path.join(work, "codeviceinstallers.reg"))
    if text is None:
        return None
    text = text.replace("\\\r\n", "").replace("\\\n", "")
    for line in text.splitlines():
        line = line.strip()
        if line.lower().startswith('"%s"=hex(7):' % SIM_CLASS.lower()):
            data = bytes(int(b, 16) for b in line.split(":", 1)[1].replace(" ", "").split(",") if b)
            entries = data.decode("utf-16-le").split("\0")
            return [e for e in entries[:entries.index("") if "" in entries else len(entries)]]
    return None


def registry_lines(entries):
    """.reg lines (for reg import) that set the class value to `entries`, or delete it for None."""
    lines = ["[%s]" % CO_DEVICE_INSTALLERS]
    if entries is None:
        lines.append('"%s"=-' % SIM_CLASS)
    else:
        data = "".join(e + "\0" for e in entries) + "\0"
        lines.append('"%s"=hex(7):%s' % (SIM_CLASS, ",".join("%02x" % b for b in data.encode("utf-16-le"))))
    return lines + [""]
