// kuvana_setup: registers the reader software's class installer as the
// co-installer of the readers' setup class and installs the declarative
// driver package, so that the package itself needs no co-installer.
//   kuvana_setup install [INF]   (default: driver\kuvana_reader.inf beside it)
//   kuvana_setup remove [INF]
// It prints each step and ends with one exit code per outcome (setup/report.h).
//
// It runs elevated from a folder its user's other programs can write, so it
// takes nothing from there on trust: no DLL is looked up there (see
// system_libraries.h), the class installer it copies must carry the maker's
// signature, and the setup class is compiled in rather than read from the INF.
#include <windows.h>

#include <cwchar>
#include <string>

#include "reader_class.h"
#include "setup/commands.h"
#include "setup/driver_package.h"
#include "setup/machine.h"
#include "setup/report.h"
#include "setup/system_file.h"
#include "setup/system_libraries.h"

using namespace setup;

int wmain(int argc, wchar_t** argv)
{
    RestrictDllSearch();
    std::string error;
    if (!LoadSystemLibraries(&error))
        return Stop(kFiles, error + ". Nothing was changed");
    const bool install = argc >= 2 && std::wcscmp(argv[1], L"install") == 0;
    const bool remove = argc >= 2 && std::wcscmp(argv[1], L"remove") == 0;
    if ((!install && !remove) || argc > 3) {
        Line("usage: kuvana_setup install|remove [INF]");
        return kUsage;
    }
    std::wstring folder;
    if (!OwnFolder(&folder, &error))
        return Stop(kFiles, error);
    const std::wstring inf = argc == 3 ? argv[2] : folder + L"\\driver\\kuvana_reader.inf";
    Line("kuvana_setup " + Utf8(argv[1]) + ": " KUVANA_COINST_FILE ", driver package " + Utf8(inf));
    if (!RunsElevated())
        return Stop(kNotElevated, "administrator rights are needed: run it again as administrator. Nothing was "
                                  "changed");
    DriverPackage package;
    if (!ReadDriverPackage(inf, &package, &error))
        return Stop(kFiles, error);
    std::string ids;
    for (const std::wstring& id : package.hardwareIds)
        ids += (ids.empty() ? "" : ", ") + Utf8(id);
    Line("Reader class " + Utf8(kReaderClassName) + " " + Utf8(kReaderClassGuidText) + ", driver " +
         Utf8(package.driverVersion) + ", hardware id(s) " + ids);
    return install ? Install(package, folder) : Remove();
}
