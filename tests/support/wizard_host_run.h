// Runs the wizard host (sim/wizard_host) with a script and reads its report.
#ifndef KUVANA_TESTS_WIZARD_HOST_RUN_H
#define KUVANA_TESTS_WIZARD_HOST_RUN_H

#include <map>
#include <string>
#include <vector>

#include "install/settings.h"  // kNetInstallerKey: the net installer's settings

// One report line: its event name and its key=value fields (texts unquoted).
struct HostEvent {
    std::string kind;
    std::map<std::string, std::string> fields;
    std::string raw;

    std::string operator[](const std::string& key) const;
    bool Has(const std::string& key) const { return fields.count(key) != 0; }
};

struct HostRun {
    int exitCode = -1;
    std::vector<HostEvent> events;
    std::string report;  // the whole report, for failure messages

    // Events of one kind, in order.
    std::vector<HostEvent> All(const std::string& kind) const;
    // The first event of `kind` whose fields include all of `match`; an event
    // with an empty kind when there is none.
    HostEvent First(const std::string& kind, const std::map<std::string, std::string>& match = {}) const;
    // Index of that event in `events`, or -1.
    int IndexOf(const std::string& kind, const std::map<std::string, std::string>& match = {}) const;
    // Templates of the pages in the order they were activated ("201", "108", ...).
    std::vector<std::string> PageTemplates() const;
};

HostEvent ParseHostEvent(const std::string& line);
// A whole report (exitCode stays -1).
HostRun ParseReport(const std::string& report);

// Windows path (Z:\...) of a Unix path of the build tree.
std::string WindowsPath(const std::string& unixPath);
// Creates the folder (and its parent) when missing; returns it.
std::string EnsureFolder(const std::string& windowsPath);

struct HostOptions {
    std::string program = "wizard_host.exe";  // or wizard_host_xp.exe
#ifdef KUVANA_BINARY_DIR
    std::string folder = WindowsPath(KUVANA_BINARY_DIR "/bin/wizard");
#else
    std::string folder;
#endif
    std::string shots;                         // Windows path of the capture folder
    std::string device;                        // instance id: drive this device through the framework
    unsigned timeoutMs = 60000;
    // The same administrator unelevated (a standard start, as an admin's
    // Device Manager under UAC is not): a copy of the host whose manifest asks
    // for no elevation, started with the account's limited token.
    bool standard = false;
};

// Writes `script` to a temporary file and runs the host on it from the wizard
// folder of the build tree; the child inherits this process's environment.
HostRun RunWizardHost(const std::string& script, const HostOptions& options = HostOptions());

#ifdef KUVANA_BINARY_DIR
// Folder for screenshots of the pages under the build tree, created on demand.
inline std::string ScreenshotFolder()
{
    return EnsureFolder(WindowsPath(KUVANA_BINARY_DIR "/test-artifacts/screenshots"));
}
#endif

// HKLM values the pages and the install decision read, set for one test and
// put back as they were afterwards.
class RegistryValue {
public:
    RegistryValue(const std::string& subKey, const std::string& name);
    ~RegistryValue();
    RegistryValue(const RegistryValue&) = delete;
    RegistryValue& operator=(const RegistryValue&) = delete;
    bool Set(const std::string& text);
    bool Remove();

private:
    std::string subKey, name;
    bool existed = false;
    unsigned long type = 0;
    std::vector<unsigned char> saved;
};

extern const char kUninstallKey[];        // the reader software's uninstall entry
extern const char kDriverSoftwareKey[];   // the driver software's registration
extern const char kNetInstallerSettingsKey[];  // the same key as the product's kNetInstallerKey

#endif
