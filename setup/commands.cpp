#include "setup/commands.h"

#include <vector>

#include "reader_class.h"
#include "setup/coinstaller_list.h"
#include "setup/driver_install.h"
#include "setup/machine.h"
#include "setup/report.h"
#include "setup/system_file.h"

#ifndef KUVANA_COINST_FILE
#error "KUVANA_COINST_FILE must name the versioned file of the class installer"
#endif

namespace setup {

namespace {

const wchar_t kCoinstFile[] = L"" KUVANA_COINST_FILE;
const wchar_t kEntry[] = L"" KUVANA_COINST_FILE ",ClassInstaller";

std::string Joined(const std::vector<std::wstring>& entries)
{
    std::string text;
    for (const std::wstring& entry : entries)
        text += (text.empty() ? "\"" : ", \"") + Utf8(entry) + "\"";
    return text.empty() ? "nothing (no value)" : text;
}

std::string ValueName()
{
    return "HKLM\\" + Utf8(kCoDeviceInstallersKey) + "\\" + Utf8(kReaderClassGuidText);
}

}  // namespace

int Install(const DriverPackage& package, const std::wstring& folder)
{
    std::string error;
    const std::vector<std::wstring> devices = DeviceCoInstallerRegistrations();
    if (!devices.empty()) {
        for (const std::wstring& device : devices)
            Detail("driver key " + Utf8(device));
        return Stop(kDeviceCoInstaller,
                    "a reader's driver already registers the class installer as its device co-installer (the "
                    "legacy package); registered for the class too, it would be called twice for every code. "
                    "Nothing was changed");
    }

    const std::wstring system = SystemFolder();
    if (system.empty())
        return Stop(kFiles, "cannot tell the system folder. Nothing was changed");
    const std::wstring target = system + L"\\" + kCoinstFile;
    Step(1, 3, "Checking the signature of " + Utf8(folder + L"\\" + kCoinstFile) + " and copying it to " +
                   Utf8(target));
    std::string what;
    const Copy copy = CopySignedFile(folder + L"\\" + kCoinstFile, target, &what);
    if (copy == Copy::Refused || copy == Copy::Failed)
        return Stop(kFiles, what);
    Detail(what);

    Step(2, 3, "Registering \"" + Utf8(kEntry) + "\" as co-installer of the class " + Utf8(kReaderClassName) +
                   " under " + ValueName());
    std::vector<std::wstring> entries;
    bool exists = false;
    if (!ReadClassCoInstallers(&entries, &exists, &error))
        return Stop(kRegistry, error);
    Detail("the value held " + Joined(entries));
    const std::vector<std::wstring> wanted = WithEntry(entries, kEntry);
    if (wanted == entries) {
        Detail("already registered");
    } else if (!WriteClassCoInstallers(wanted, &error)) {
        return Stop(kRegistry, error);
    } else {
        Detail("the value now holds " + Joined(wanted));
    }
    std::vector<std::wstring> written;
    if (!AddClassKeyValues(&written, &error))
        return Stop(kRegistry, error);
    Detail("class key: \"" + Utf8(kReaderClassTitle) + "\", class " + Utf8(kReaderClassName) + ", icon " +
           Utf8(kReaderClassIcon) + (written.empty() ? "; its values were there and are kept" : "; wrote " + Joined(written)));

    Step(3, 3, "Installing the driver package " + Utf8(package.inf) + " for the readers present");
    bool restart = false;
    std::vector<std::string> lines;
    DriverResult result = InstallDriver(package, &restart, &lines);
    for (const std::string& line : lines)
        Detail(line);
    switch (result) {
    case DriverResult::Failed:
        return Stop(kDriverFailed, "the class installer is registered, but the driver was not installed");
    case DriverResult::NoReader:
        return Stop(kNoReader, "registered; a reader plugged in later gets the driver and the class installer's "
                               "pages (from Windows 8 on through the \"Finish installing device software\" item)");
    case DriverResult::NewerKept:
        return Stop(kNewerDriverKept, "registered; the readers present keep their newer driver");
    default:
        break;
    }
    if (restart)
        return Stop(kRestart, "registered and installed; Windows must restart to finish the driver");
    return Stop(kDone, "registered and installed");
}

int Remove()
{
    std::string error;
    Step(1, 3, "Removing \"" + Utf8(kEntry) + "\" from " + ValueName());
    std::vector<std::wstring> entries;
    bool exists = false;
    if (!ReadClassCoInstallers(&entries, &exists, &error))
        return Stop(kRegistry, error);
    Detail("the value held " + Joined(entries));
    const std::vector<std::wstring> kept = WithoutEntry(entries, kEntry);
    if (kept == entries) {
        Detail("not registered");
    } else if (!WriteClassCoInstallers(kept, &error)) {
        return Stop(kRegistry, error);
    } else {
        Detail(kept.empty() ? std::string("nothing else was there: the value is deleted")
                            : "the value now holds " + Joined(kept));
    }

    Step(2, 3, "Taking out of the class key what install wrote there");
    std::vector<std::wstring> removed;
    if (!RemoveClassKeyValues(&removed, &error))
        return Stop(kRegistry, error);
    Detail(removed.empty() ? std::string("nothing") : "removed " + Joined(removed));

    const std::wstring system = SystemFolder();
    const std::wstring target = system + L"\\" + kCoinstFile;
    Step(3, 3, "Removing " + Utf8(target));
    DWORD code = 0;
    switch (system.empty() ? Removal::Failed : RemoveFile(target, &code)) {
    case Removal::Removed:
        Detail("removed");
        break;
    case Removal::Missing:
        Detail("not there");
        break;
    case Removal::AtRestart:
        Detail("in use by a running device installation: it goes when Windows restarts");
        return Stop(kRestart, "unregistered; the file goes at the next restart");
    case Removal::Failed:
        return Stop(kFiles, "unregistered, but the file could not be removed (error " + std::to_string(code) + ")");
    }
    return Stop(kDone, "unregistered and removed; the readers keep their driver");
}

}  // namespace setup
