"""The simulated reader installations the main job can show.

Each scenario names the machine (system language, readers, registry state),
the server's behaviour and what the person at the wizard does; run-scenario
turns it into a wizard-host script and shows what happens.

Reader model names decide the packages on a Japanese system: a name with
"410/P" or "470" selects KL and PCSC_B, one with "460" selects KL only; KPS is
always selected.
"""

# Package files as the maker's server offers them (paths on the server).
PACKAGES = {
    "KPS": ("/Products/kuvana/pcrw/driver/kps/kps_setup.iss", "/Products/kuvana/pcrw/driver/kps/kps_setup.exe"),
    "KL": ("/Products/kuvana/pcrw/driver/kl/kl_setup.iss", "/Products/kuvana/pcrw/driver/kl/kl_setup.exe"),
    "PCSC_B": ("/Products/kuvana/pcrw/driver/pcscb/pcscb_setup.iss",
               "/Products/kuvana/pcrw/driver/pcscb/pcscb_setup.exe"),
}
# Each package's installer on the server: a copy of the fake installer signed
# by the maker that carries the package's name, so the three differ in bytes.
PACKAGE_PROGRAMS = {"KPS": "fake_kps.exe", "KL": "fake_kl.exe", "PCSC_B": "fake_pcsc_b.exe"}
LIST_PATHS = {
    "en": "/Products/kuvana/pcrw/driver/netinstaller/en/url_list.txt",
    "ja": "/Products/kuvana/pcrw/driver/netinstaller/ja/url_list.txt",
}
NET_INSTALLER_PATH = "/Products/kuvana/pcrw/driver/netinstaller/KuvanaNetInstaller.exe"

DEFAULT = "default"
# An earlier run that installs as usual, whatever the scenario's own run expects.
QUIET_RUN = {"answers": [], "faults": {}, "message": None, "list_refused": False}

# Fields (all optional but "title"):
#   language      "en" or "ja" (the system and user language of the Wine processes)
#   readers       model names of the attached readers (one simulated reader each)
#   basic_version "CurrentVersion" of an older basic reader software
#   installed     the reader software's DisplayVersion (registered as installed)
#   faults        {server path: fault options} (see sim/server/README.md)
#   offered       {package: program in the build's bin folder the server offers as
#                 its installer} (default the package's own, PACKAGE_PROGRAMS)
#   changed       server paths whose first byte is changed after the release was signed
#   swapped       {package: other package} whose signed installer the server serves
#                 in its place after the release was signed
#   release_age_days  the release is served as signed that many days ago for 90 days
#                 (its serial that day's time; past 90 days it has expired)
#   first         fields of a first run on the same machine (with the release then
#                 served) before this one, e.g. a newer release the machine accepts
#   before        a list of such runs, in order, when there are several
#   signer        the release key that signs: "release" (default) or "next"
#   serial        the release's serial (default the signing time)
#   retire        the key the release retires (RELEASE_RETIRES): "release" or "next"
#   message       the message every message box must show (e.g. 122)
#   list_refused  the class installer must fetch nothing beyond the list and its signature
#   refused       packages whose installer must be refused (message 124, not run)
#   listed        {URL-list key: server path} the list names instead of the
#                 package's own file (the server serves the fake installer there)
#   license       "accept" or "decline"
#   answers       message-box answers, in order, queued before the wizard reaches them
#   mode          "wizard" (default), "properties" or "release-check"
#   broken        release-check: changes to the release for its broken run
#                 ("what", "changed", "offered", "listed", as above)
#   click_link    properties: activate the net-installer link
#   windows       the machine's Windows: "11", "10" (the default), "7", "vista" or
#                 "xp" (XP x64, a system older than 6.0: a restart prompt). 10 and 11
#                 take the declarative driver package with the setup program,
#                 7, Vista and XP the legacy package with the device co-installer
#   setup         declarative route: "before-reader" (the default: kuvana_setup
#                 install, then the reader is plugged in) or "after-driver" (the
#                 reader's driver first, no pages; then kuvana_setup install)
#   class_value   entries the readers' class value under CoDeviceInstallers
#                 holds before the run (mode "setup-remove")
SCENARIOS = {
    "default": {
        "title": "English system, one reader: the basic package is downloaded and installed",
        "language": "en",
        "readers": ["ZRW-380"],
        "license": "accept",
    },
    "japanese": {
        "title": "Japanese system, one ZRW-410/P reader: all three packages, (1/3) to (3/3)",
        "language": "ja",
        "readers": ["ZRW-410/P"],
        "license": "accept",
    },
    "several-readers": {
        "title": "Japanese system, three readers: ZRW-380, ZRW-460 and ZRW-300 select KPS and KL",
        "language": "ja",
        "readers": ["ZRW-380", "ZRW-460", "ZRW-300"],
        "license": "accept",
    },
    "older-software": {
        "title": "Japanese system with an older basic reader software (1.0): message 125, nothing installed",
        "language": "ja",
        "readers": ["ZRW-410/P"],
        "basic_version": "1.0",
        "license": "accept",
        "answers": ["ok"],
    },
    "server-recovering": {
        "title": "The server fails twice on the installer, the person retries, then it works",
        "language": "en",
        "readers": ["ZRW-380"],
        "faults": {PACKAGES["KPS"][1]: "fail=2"},
        "license": "accept",
        "answers": ["retry", "retry"],
    },
    "decline-license": {
        "title": "The person declines the license and confirms: the wizard ends without installing",
        "language": "en",
        "readers": ["ZRW-380"],
        "license": "decline",
        "answers": ["yes"],
    },
    "cancel-download": {
        "title": "A package cannot be downloaded and the person cancels: nothing is installed",
        "language": "en",
        "readers": ["ZRW-380"],
        "faults": {PACKAGES["KPS"][1]: "status=503"},
        "license": "accept",
        "answers": ["cancel"],
    },
    "not-the-makers": {
        "title": "The server offers an installer another publisher signed: refused with message 124, nothing runs",
        "language": "en",
        "readers": ["ZRW-380"],
        "offered": {"KPS": "fake_stranger.exe"},
        "refused": ["KPS"],
        "license": "accept",
        "answers": ["ok"],
    },
    "changed-response-file": {
        "title": "One byte of the signed kps_setup.iss is changed on the server: message 124, nothing runs",
        "language": "en",
        "readers": ["ZRW-380"],
        "changed": [PACKAGES["KPS"][0]],
        "refused": ["KPS"],
        "license": "accept",
        "answers": ["ok"],
    },
    "rollback": {
        "title": "The machine accepts a release, then the server serves an older signed one: message 122, "
                 "nothing runs",
        "language": "en",
        "readers": ["ZRW-380"],
        "first": {"title": "today's release is accepted and KPS installed", "answers": [], "faults": {},
                  "release_age_days": 0, "message": None, "list_refused": False},
        "release_age_days": 30,
        # The list comes slowly enough for the progress page to be seen.
        "faults": {LIST_PATHS["en"]: "delay=1500"},
        "license": "accept",
        "answers": ["cancel"],
        "message": 122,
        "list_refused": True,
    },
    "leaked-key": {
        "title": "The release key leaks and its thief signs the highest serial: the next key's release still "
                 "passes and retires the leaked key, whose list then gives message 122, nothing fetched after it",
        "language": "en",
        "readers": ["ZRW-380"],
        "before": [
            {"title": "the leaked key signs serial 999999999999999999: accepted, KPS installed",
             "signer": "release", "serial": "999999999999999999", "retire": None, **QUIET_RUN},
            {"title": "the next key's release with a normal serial: accepted too, KPS installed",
             "signer": "next", "serial": None, "retire": None, **QUIET_RUN},
            {"title": "the next key's release retiring the leaked key: accepted, KPS installed",
             "signer": "next", "serial": None, "retire": "release", **QUIET_RUN},
        ],
        "signer": "release",
        "serial": "999999999999999999",
        "faults": {LIST_PATHS["en"]: "delay=1500"},
        "license": "accept",
        "answers": ["cancel"],
        "message": 122,
        "list_refused": True,
    },
    "swapped-installer": {
        "title": "KL's signed installer is served as KPS's: its hash is not the list's, message 124, nothing runs",
        "language": "en",
        "readers": ["ZRW-380"],
        "swapped": {"KPS": "KL"},
        "refused": ["KPS"],
        "license": "accept",
        "answers": ["ok"],
        "message": 124,
    },
    "expired-release": {
        "title": "The server serves a release signed 91 days ago for 90 days: expired, message 122, nothing runs",
        "language": "en",
        "readers": ["ZRW-380"],
        "release_age_days": 91,
        "faults": {LIST_PATHS["en"]: "delay=1500"},
        "license": "accept",
        "answers": ["cancel"],
        "message": 122,
        "list_refused": True,
    },
    "windows-11": {
        "title": "Windows 11, Japanese system, one ZRW-410/P reader: all three packages, as on Windows 10",
        "language": "ja",
        "readers": ["ZRW-410/P"],
        "license": "accept",
        "windows": "11",
    },
    "windows-7": {
        "title": "Windows 7: the same installation as on Windows 10, no restart prompt",
        "language": "en",
        "readers": ["ZRW-380"],
        "license": "accept",
        "windows": "7",
    },
    "windows-vista": {
        "title": "Windows Vista, Japanese system, one ZRW-410/P reader: all three packages, no restart prompt",
        "language": "ja",
        "readers": ["ZRW-410/P"],
        "license": "accept",
        "windows": "vista",
    },
    "planted-dll": {
        "title": "The list names version.dll as KPS_ISS: the entry counts as missing, message 122, nothing planted",
        "language": "en",
        "readers": ["ZRW-380"],
        "listed": {"KPS_ISS": "/Products/kuvana/pcrw/driver/kps/version.dll"},
        # The list comes slowly enough for the progress page to be seen.
        "faults": {LIST_PATHS["en"]: "delay=1500"},
        "license": "accept",
        "answers": ["cancel"],
    },
    "windows-xp": {
        "title": "A system older than Windows 6.0: a restart prompt after the installation",
        "language": "en",
        "readers": ["ZRW-380"],
        "license": "accept",
        "windows": "xp",
    },
    "setup-after-driver": {
        "title": "The reader's driver is installed first, so no pages appear; kuvana_setup install brings them",
        "language": "en",
        "readers": ["ZRW-380"],
        "license": "accept",
        "setup": "after-driver",
    },
    "setup-remove": {
        "title": "kuvana_setup install, then remove: the class's value holds only what was there before",
        "mode": "setup-remove",
        "class_value": ["zrvsim_other.dll,OtherCoInstaller"],
    },
    "release-check": {
        "title": "The vendor's release check on a good release (exit 0) and a broken one (exit 1)",
        "mode": "release-check",
        "broken": {
            "what": "kps_setup.iss changed after signing, KL offered by another publisher, "
                    "PCSC_B_ISS named pcscb_setup.txt, KPS's installer missing (404) and PCSC_B's "
                    "unreadable to the web server (403)",
            "changed": [PACKAGES["KPS"][0]],
            "faults": {PACKAGES["KPS"][1]: "status=404", PACKAGES["PCSC_B"][1]: "status=403"},
            # What the check must say of them, with each address.
            "plainly": ["404 Not Found for http://download.zorvik.co.jp" + PACKAGES["KPS"][1],
                        "403 Forbidden for http://download.zorvik.co.jp" + PACKAGES["PCSC_B"][1]],
            "offered": {"KL": "fake_stranger.exe"},
            "listed": {"PCSC_B_ISS": "/Products/kuvana/pcrw/driver/pcscb/pcscb_setup.txt"},
        },
    },
    "properties-installed": {
        "title": "Property sheet of a reader with the reader software installed",
        "language": "en",
        "readers": ["ZRW-380"],
        "installed": "2.1.0.0",
        "mode": "properties",
    },
    "properties-missing": {
        "title": "Property sheet without the reader software: the link fetches and starts the net installer",
        "language": "en",
        "readers": ["ZRW-380"],
        "mode": "properties",
        "click_link": True,
    },
}
