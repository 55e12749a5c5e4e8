// Simulated readers for Wine tests: installs readers served by the simulated
// reader driver (sim/readers) into the test prefix, plus the reader drivers'
// files and registry values the probes read. See sim/readers/scenario.md.
//
// Tests that install readers change the whole prefix: declare them with the
// CTest property RESOURCE_LOCK readers so that they never run side by side.
#ifndef KUVANA_TESTS_SUPPORT_READERS_SCENARIO_H
#define KUVANA_TESTS_SUPPORT_READERS_SCENARIO_H

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace readers {

// Language codes of the model-name query.
const uint32_t english = 0x04090000;
const uint32_t japanese = 0x04110000;
const uint32_t chinese = 0x08040000;

// One simulated reader = one root device with one interface.
struct Reader {
    int kind = 1;               // 0 zrvport, 1 zrvemb, 2 zrvpccard
    uint32_t unit = 0;          // reply to the unit request (its low byte names the unit path)
    uint16_t word = 0;          // reply to the word request
    uint32_t identity = 0;      // reply to the identity request
    std::map<uint32_t, std::string> names;  // model-name reply per language code (raw, up to 128 bytes)
    // Win32 error per event: "Open" (control path), "Unit" (unit path), or a
    // request code in upper-case hex ("2221FC").
    std::map<std::string, DWORD> failures;
    // Request codes (upper-case hex, as above) that never complete until the
    // caller cancels them: a reader that does not answer.
    std::vector<std::string> stalls;
    bool stallsIgnoreCancel = false;  // the stalled requests end only when their handle closes
    std::string driverVersion = "1.0.0.0";  // DriverVersion of the device's driver key
    bool refuseOtherUnits = true;  // other readers' unit paths fail with ERROR_INVALID_PARAMETER
};

// A kind-1 reader in group 1 that reports name in every language.
Reader NamedReader(const std::string& name, uint32_t unit);

// The identity reply that puts a kind-1 reader in a group (1, 2 or 8) with a
// series s (bits 4 to 6) and number n (low four bits).
uint32_t EmbIdentity(int group, uint32_t s, uint32_t n, bool bit14 = true);

// Removes every simulated reader, then installs these (in this order) and
// waits until their interfaces are present. False with a message on failure.
// The driver is installed from zrvsim.inf by Wine's framework in a child
// process, bin/wizard/wizard_host.exe --update-driver, so the class installer
// it registers as co-installer finds the simulated setupapi. `inf` names the
// INF beside this program: zrvsim.inf registers the class installer as the
// device's co-installer, zrvsim_declarative.inf installs the driver only.
bool Install(const std::vector<Reader>& readers, std::string* error = nullptr, const char* inf = "zrvsim.inf");

// The wizard host's report of the last Install's driver installation: one
// "framework code=0x.. name=DIF_... result=0|1 error=0x..." line per code
// Wine's newdev sent, then "update-driver result=...". Empty before any.
std::string LastInstallReport();

// Removes every simulated reader and every fake interface entry.
bool RemoveAll(std::string* error = nullptr);

// An extra interface entry of the first interface class whose DevicePath has
// no "{", attached to the already installed reader at index; it sorts before
// the real interfaces. Removed by RemoveAll.
bool AddInterfaceWithoutBrace(size_t index, std::string* error = nullptr);

// Opens and requests the reader at index has received since Install returned
// (the co-installer's own probe during the installation is not counted).
struct Counters {
    DWORD opens = 0;
    DWORD requests = 0;
};
Counters ReadCounters(size_t index);
// Sum over the installed readers.
Counters TotalCounters();
// The DevicePath of the reader at index (empty if not present).
std::string DevicePath(size_t index);

// One translation of a driver file's version resource.
struct Translation {
    WORD language = 0x0409;
    WORD codePage = 1200;
    std::string productVersion;  // empty: the table has no ProductVersion string
};

// Writes "<system>\drivers\<zrvport|zrvemb|zrvpccard>.sys": a copy of the
// simulated driver with this version resource.
bool InstallDriverFile(int kind, const std::vector<Translation>& translations, std::string* error = nullptr);
inline bool InstallDriverFile(int kind, const std::string& productVersion, std::string* error = nullptr)
{
    Translation t;
    t.productVersion = productVersion;
    return InstallDriverFile(kind, std::vector<Translation>(1, t), error);
}
bool RemoveDriverFile(int kind);
void RemoveDriverFiles();

// Registry values under HKEY_LOCAL_MACHINE (the 64-bit view, literal paths).
bool SetValue(const std::string& key, const std::string& name, DWORD type, const void* data, DWORD size);
bool SetString(const std::string& key, const std::string& name, const std::string& value, DWORD type = REG_SZ);
bool SetDword(const std::string& key, const std::string& name, DWORD value);
void DeleteValue(const std::string& key, const std::string& name);
void DeleteKey(const std::string& key);

// The driver's Parameters key and its flag value for kind.
std::string ParametersKey(int kind);
std::string ParametersValue(int kind);

// Reader software registration the decisions read.
extern const char softwareKey[];       // "Kind"
extern const char uninstallKey[];      // "DisplayVersion"
extern const char driverSoftwareKey[]; // "DriverVersion"

// A typical machine for the wizard: the given readers with their names,
// the zrvemb driver file present (ProductVersion 1.0.0.0), nothing else.
bool InstallNamedReaders(const std::vector<std::string>& names, std::string* error = nullptr,
                         const char* inf = "zrvsim.inf");

// Runs this program once more with the prefix reporting version ("winxp64",
// "vista", "win7", "win10"; Wine's names for this program's AppDefaults key) and the
// environment variable resultVariable naming a file, which the child writes;
// returns that file's content ("" if none). The program reports the prefix's
// own version again afterwards.
std::string RunSelfWithWindowsVersion(const char* version, const char* resultVariable);

}  // namespace readers

#endif
