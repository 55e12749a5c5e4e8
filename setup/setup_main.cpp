// kuvana_setup: registers the reader software's class installer as the
// co-installer of the readers' setup class and installs the declarative
// driver package, so that the package itself needs no co-installer.
//   kuvana_setup install [INF]   (default: driver\kuvana_reader.inf beside it)
//   kuvana_setup remove [INF]
// It prints each step and ends with one exit code per outcome (see Exit).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "setup/coinstaller_list.h"
#include "setup/driver_package.h"
#include "setup/machine.h"

#ifndef KUVANA_COINST_FILE
#error "KUVANA_COINST_FILE must name the versioned file of the class installer"
#endif

namespace {

enum Exit {
    kDone = 0,               // install: registered, readers present updated; remove: all gone
    kUsage = 1,
    kNotElevated = 2,        // refused, nothing changed
    kDeviceCoInstaller = 3,  // refused: a driver key already lists the DLL; nothing changed
    kFiles = 4,              // the INF or the DLL is missing, or cannot be copied or removed
    kRegistry = 5,
    kDriverFailed = 6,
    kNoReader = 7,           // registered; the package waits in the driver store for a reader
    kNewerDriverKept = 8,    // registered; the readers keep a newer driver
    kRestart = 9,            // done once Windows restarts
};

const char kEntry[] = KUVANA_COINST_FILE ",ClassInstaller";

void Step(int number, int count, const std::string& text)
{
    std::printf("[%d/%d] %s\n", number, count, text.c_str());
    std::fflush(stdout);
}

void Detail(const std::string& text)
{
    std::printf("      %s\n", text.c_str());
    std::fflush(stdout);
}

// Outcomes from kNoReader on are done too, as far as this machine allows now.
int Stop(int code, const std::string& text)
{
    std::printf("%s: %s (exit %d)\n", code == kDone || code >= kNoReader ? "Done" : "Stopped", text.c_str(), code);
    return code;
}

std::string Joined(const std::vector<std::string>& entries)
{
    std::string text;
    for (const std::string& entry : entries)
        text += (text.empty() ? "\"" : ", \"") + entry + "\"";
    return text.empty() ? "nothing (no value)" : text;
}

std::string OwnFolder()
{
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path, length < MAX_PATH ? length : 0);
    return text.substr(0, text.find_last_of('\\'));
}

int Install(const setup::DriverPackage& package)
{
    std::string error;
    const std::string value = std::string("HKLM\\") + setup::kCoDeviceInstallersKey + "\\" + package.classGuidText;
    const std::vector<std::string> devices = setup::DeviceCoInstallerRegistrations(package.classGuidText);
    if (!devices.empty()) {
        for (const std::string& device : devices)
            Detail("driver key " + device);
        return Stop(kDeviceCoInstaller,
                    "a reader's driver already registers the class installer as its device co-installer (the "
                    "legacy package); registered for the class too, it would be called twice for every code. "
                    "Nothing was changed");
    }

    const std::string target = setup::SystemFolder() + "\\" + KUVANA_COINST_FILE;
    Step(1, 3, std::string("Copying ") + KUVANA_COINST_FILE + " to " + target);
    std::string what;
    if (!setup::CopyIfDifferent(OwnFolder() + "\\" + KUVANA_COINST_FILE, target, &what, &error))
        return Stop(kFiles, error);
    Detail(what);

    Step(2, 3, "Registering \"" + std::string(kEntry) + "\" as co-installer of the class " + package.className +
                   " under " + value);
    std::vector<std::string> entries;
    bool exists = false;
    if (!setup::ReadClassCoInstallers(package.classGuidText, &entries, &exists, &error))
        return Stop(kRegistry, error);
    Detail("the value held " + Joined(entries));
    const std::vector<std::string> wanted = setup::WithEntry(entries, kEntry);
    if (wanted == entries) {
        Detail("already registered");
    } else if (!setup::WriteClassCoInstallers(package.classGuidText, wanted, &error)) {
        return Stop(kRegistry, error);
    } else {
        Detail("the value now holds " + Joined(wanted));
    }
    if (!setup::WriteClassKey(package, &error))
        return Stop(kRegistry, error);
    Detail("class key: \"" + package.classTitle + "\", class " + package.className + ", icon -20");

    Step(3, 3, "Installing the driver package " + package.inf + " for the readers present");
    bool restart = false;
    std::vector<std::string> lines;
    setup::DriverResult result = setup::InstallDriver(package, &restart, &lines);
    for (const std::string& line : lines)
        Detail(line);
    switch (result) {
    case setup::DriverResult::Failed:
        return Stop(kDriverFailed, "the class installer is registered, but the driver was not installed");
    case setup::DriverResult::NoReader:
        return Stop(kNoReader, "registered; a reader plugged in later gets the driver and the class installer's "
                               "pages (from Windows 8 on through the \"Finish installing device software\" item)");
    case setup::DriverResult::NewerKept:
        return Stop(kNewerDriverKept, "registered; the readers present keep their newer driver");
    default:
        break;
    }
    if (restart)
        return Stop(kRestart, "registered and installed; Windows must restart to finish the driver");
    return Stop(kDone, "registered and installed");
}

int Remove(const setup::DriverPackage& package)
{
    std::string error;
    const std::string value = std::string("HKLM\\") + setup::kCoDeviceInstallersKey + "\\" + package.classGuidText;
    Step(1, 2, "Removing \"" + std::string(kEntry) + "\" from " + value);
    std::vector<std::string> entries;
    bool exists = false;
    if (!setup::ReadClassCoInstallers(package.classGuidText, &entries, &exists, &error))
        return Stop(kRegistry, error);
    Detail("the value held " + Joined(entries));
    const std::vector<std::string> kept = setup::WithoutEntry(entries, kEntry);
    if (kept == entries) {
        Detail("not registered");
    } else if (!setup::WriteClassCoInstallers(package.classGuidText, kept, &error)) {
        return Stop(kRegistry, error);
    } else {
        Detail(kept.empty() ? std::string("nothing else was there: the value is deleted")
                            : "the value now holds " + Joined(kept));
    }

    const std::string target = setup::SystemFolder() + "\\" + KUVANA_COINST_FILE;
    Step(2, 2, "Removing " + target);
    DWORD code = 0;
    switch (setup::RemoveFile(target, &code)) {
    case setup::Removal::Removed:
        Detail("removed");
        break;
    case setup::Removal::Missing:
        Detail("not there");
        break;
    case setup::Removal::AtRestart:
        Detail("in use by a running device installation: it goes when Windows restarts");
        return Stop(kRestart, "unregistered; the file goes at the next restart");
    case setup::Removal::Failed:
        return Stop(kFiles, "unregistered, but the file could not be removed (error " + std::to_string(code) + ")");
    }
    return Stop(kDone, "unregistered and removed; the readers keep their driver");
}

}  // namespace

int main(int argc, char** argv)
{
    const bool install = argc >= 2 && std::strcmp(argv[1], "install") == 0;
    const bool remove = argc >= 2 && std::strcmp(argv[1], "remove") == 0;
    if ((!install && !remove) || argc > 3) {
        std::fprintf(stderr, "usage: kuvana_setup install|remove [INF]\n");
        return kUsage;
    }
    const std::string inf = argc == 3 ? argv[2] : OwnFolder() + "\\driver\\kuvana_reader.inf";
    std::printf("kuvana_setup %s: %s, driver package %s\n", argv[1], KUVANA_COINST_FILE, inf.c_str());
    if (!setup::RunsElevated())
        return Stop(kNotElevated, "administrator rights are needed: run it again as administrator. Nothing was "
                                  "changed");
    setup::DriverPackage package;
    std::string error;
    if (!setup::ReadDriverPackage(inf, &package, &error))
        return Stop(kFiles, error);
    std::printf("Reader class %s %s, driver %s, hardware id(s) %s\n", package.className.c_str(),
                package.classGuidText.c_str(), package.driverVersion.c_str(), [&] {
                    std::string ids;
                    for (const std::string& id : package.hardwareIds)
                        ids += (ids.empty() ? "" : ", ") + id;
                    return ids;
                }().c_str());
    return install ? Install(package) : Remove(package);
}
