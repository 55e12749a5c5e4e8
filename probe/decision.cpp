#include "probe/decision.h"

#include <string>

#include "common/win_handles.h"
#include "probe/inventory.h"
#include "probe/reader_rules.h"
#include "probe/software_probes.h"
#include "probe/versions.h"

int needKpsPackage = 1;
int needKlPackage = 0;
int needPcscBPackage = 0;

namespace {

const char driverSoftwareKey[] = "SOFTWARE\\Wow6432Node\\Zorvik Corporation\\Kuvana Port 2.0 Driver Software";

}  // namespace

DWORD SelectPackages()
{
    needKpsPackage = 1;
    needKlPackage = 0;
    needPcscBPackage = 0;
    if (GetSystemDefaultLangID() != 0x0411)
        return 0;
    DeviceInventory inventory;
    if (inventory.LoadDrivers() != 0 || inventory.LoadReaders() != 0)
        return 0;
    PackageChoice choice = {false, false};
    for (const ReaderEntry& entry : inventory.group2)
        ApplyModelName(choice, entry.modelName);
    for (const ReaderEntry& entry : inventory.group1)
        ApplyModelName(choice, entry.modelName);
    needKlPackage = choice.kl ? 1 : 0;
    needPcscBPackage = choice.pcscB ? 1 : 0;
    return 0;
}

DWORD NeedWizardPages()
{
    char displayVersion[32] = {};
    if (!ReadDisplayVersion(displayVersion, sizeof displayVersion))
        return 1;

    char driverVersion[128 + 1] = {};  // one spare byte keeps a full-size value terminated
    {
        RegKey key;
        if (!key.Open(HKEY_LOCAL_MACHINE, driverSoftwareKey))
            return 1;
        DWORD size = 128;
        if (RegQueryValueExA(key.Get(), "DriverVersion", nullptr, nullptr, reinterpret_cast<BYTE*>(driverVersion),
                             &size) != ERROR_SUCCESS)
            return 1;
    }

    DeviceInventory inventory;
    if (inventory.LoadDrivers() != 0 || inventory.LoadReaders() != 0)
        return 1;
    // A zrvemb reader whose own driver is newer than the registered driver
    // software needs the software installed or replaced. The texts are
    // compared whole: build numbers above 255 are common.
    for (const ReaderEntry& entry : inventory.group1) {
        if (entry.device.kind != kindZrvemb)
            continue;
        if (CompareVersion(entry.driverVersionText, std::string(driverVersion)) == -1)
            return 1;
    }
    return 0;
}
