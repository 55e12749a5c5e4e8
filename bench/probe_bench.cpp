// Cost of the finish-install decisions (SelectPackages + NeedWizardPages)
// against the floor: a bare loop making the same device opens and control
// requests on the same simulated readers, with paths known in advance. Then
// the time one reader that never answers a request adds to the pair.
#include <windows.h>
#include <setupapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "probe/decision.h"
#include "probe/driver_files.h"
#include "probe/reader_rules.h"
#include "probe/readers.h"
#include "support/readers_scenario.h"

namespace {

bool Request(HANDLE handle, DWORD code, const void* input, DWORD inputSize, void* reply, DWORD replySize)
{
    DWORD returned = 0;
    return DeviceIoControl(handle, code, const_cast<void*>(input), inputSize, reply, replySize, &returned, nullptr) !=
           FALSE;
}

HANDLE Open(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

// What one decision asks of the readers: two enumeration walks (count, then
// fill) and one identification per reader.
bool DeviceWork(const std::vector<std::string>& paths)
{
    bool ok = true;
    for (int walk = 0; walk < 2; ++walk) {
        for (const std::string& path : paths) {
            HANDLE control = Open(path + ControlSuffix(kindZrvemb));
            DWORD unit = 0, identity = 0;
            WORD word = 0;
            ok = control != INVALID_HANDLE_VALUE && Request(control, ioctlUnitEmb, nullptr, 0, &unit, 4) &&
                 Request(control, ioctlWordEmb, nullptr, 0, &word, 2) &&
                 Request(control, ioctlIdentityEmb, nullptr, 0, &identity, 4) && ok;
            CloseHandle(control);
        }
    }
    for (size_t i = 0; i < paths.size(); ++i) {
        HANDLE unit = Open(paths[0] + UnitSuffix(kindZrvemb, int(i)));
        const DWORD timeout = 2000, language = 0x04110000;
        char name[128];
        ok = unit != INVALID_HANDLE_VALUE && Request(unit, ioctlPrepare1Emb, nullptr, 0, nullptr, 0) &&
             Request(unit, ioctlPrepare2Emb, &timeout, 4, nullptr, 0) &&
             Request(unit, ioctlPrepare3Emb, nullptr, 0, nullptr, 0) &&
             Request(unit, ioctlModelName, &language, 4, name, sizeof name) && ok;
        CloseHandle(unit);
    }
    return ok;
}

// Wine's framework calls a device's co-installers for every device of every
// device set destroyed, so each interface set the probes build would call
// kuvana_coinst.dll once a reader. Windows calls co-installers only for a set
// it is installing through, so the readers lose the registration here to
// measure the decisions as Windows runs them.
bool DropCoInstallerRegistration()
{
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, "ROOT\\ZRVSIM", nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    SP_DEVINFO_DATA device = {sizeof device};
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_SET_VALUE);
        if (key == INVALID_HANDLE_VALUE) {
            ok = false;
            continue;
        }
        LONG status = RegDeleteValueA(key, "CoInstallers32");
        ok = (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) && ok;
        RegCloseKey(key);
    }
    SetupDiDestroyDeviceInfoList(set);
    return ok;
}

}  // namespace

int main()
{
    if (GetSystemDefaultLangID() != 0x0411)
        std::printf("note: not a Japanese system, SelectPackages builds no inventory\n");

    std::string error;
    readers::RemoveDriverFiles();
    if (!readers::InstallDriverFile(1, "1.0.0.0", &error) ||
        !readers::SetString(readers::uninstallKey, "DisplayVersion", "2.4.0") ||
        !readers::SetString(readers::driverSoftwareKey, "DriverVersion", "9.0.0.0")) {
        std::printf("setup failed: %s\n", error.c_str());
        return 1;
    }

    std::printf("%-8s %14s %14s %8s\n", "readers", "decisions ms", "floor ms", "ratio");
    int status = 0;
    for (int count : {1, 4, 16}) {
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i)
            names.push_back("TQ-460");
        std::vector<readers::Reader> list;
        for (int i = 0; i < count; ++i)
            list.push_back(readers::NamedReader("TQ-460", uint32_t(i)));
        if (!readers::Install(list, &error) || !DropCoInstallerRegistration()) {
            std::printf("install failed: %s\n", error.c_str());
            return 1;
        }
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i)
            paths.push_back(readers::DevicePath(size_t(i)));

        const int rounds = count == 16 ? 3 : 10;
        SelectPackages();  // warm up both sides once
        NeedWizardPages();
        DeviceWork(paths);
        DeviceWork(paths);

        double decisions = 0, floor = 0;
        bool ok = true;
        for (int r = 0; r < rounds; ++r) {
            double t0 = Now();
            SelectPackages();
            DWORD pages = NeedWizardPages();
            double t1 = Now();
            ok = DeviceWork(paths) && ok;  // one per decision
            ok = DeviceWork(paths) && ok;
            double t2 = Now();
            decisions += t1 - t0;
            floor += t2 - t1;
            ok = ok && pages == 0 && needKlPackage == (GetSystemDefaultLangID() == 0x0411 ? 1 : 0);
        }
        decisions = decisions * 1000.0 / rounds;
        floor = floor * 1000.0 / rounds;
        std::printf("%-8d %14.2f %14.2f %8.2f%s\n", count, decisions, floor, decisions / floor, ok ? "" : "  (unexpected result)");

        // Where the difference goes: the probes the decisions add to the device work.
        double t0 = Now();
        for (int r = 0; r < rounds; ++r) {
            DriverRecord records[3];
            uint16_t n = 3;
            ProbeDriverFiles(&n, records);
        }
        double t1 = Now();
        for (int r = 0; r < rounds; ++r) {
            uint16_t n = 0;
            EnumerateReaders(&n, nullptr);
        }
        double t2 = Now();
        for (int r = 0; r < rounds; ++r) {
            HANDLE handle = nullptr;
            if (OpenReaderUnit(kindZrvemb, count - 1, &handle) == 0)
                CloseHandle(handle);
        }
        double t3 = Now();
        for (int r = 0; r < rounds; ++r) {
            HDEVINFO set = SetupDiGetClassDevsA(&readerInterfaceClass, nullptr, nullptr,
                                                DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
            SetupDiDestroyDeviceInfoList(set);
        }
        double t4 = Now();
        std::printf("         driver files %.2f ms, one enumeration %.2f ms, one unit search %.2f ms,"
                    " one interface set %.2f ms\n",
                    (t1 - t0) * 1000 / rounds, (t2 - t1) * 1000 / rounds, (t3 - t2) * 1000 / rounds,
                    (t4 - t3) * 1000 / rounds);
        if (!ok)
            status = 1;
    }
    // What a reader that never answers one request adds to a finish-install
    // call, against the same reader failing that request at once.
    std::printf("\n%-22s %14s %14s %10s\n", "unanswered request", "stalled ms", "failing ms", "added ms");
    const struct {
        const char* name;
        const char* code;
    } requests[] = {{"identity (walk)", "2221E4"}, {"model name (identify)", "222804"}};
    for (const auto& request : requests) {
        double elapsed[2] = {0, 0};
        for (int stalled = 1; stalled >= 0; --stalled) {
            readers::Reader reader = readers::NamedReader("TQ-460", 0);
            if (stalled)
                reader.stalls.push_back(request.code);
            else
                reader.failures[request.code] = ERROR_IO_DEVICE;
            if (!readers::Install({reader}, &error) || !DropCoInstallerRegistration()) {
                std::printf("install failed: %s\n", error.c_str());
                return 1;
            }
            double t0 = Now();
            SelectPackages();
            NeedWizardPages();
            elapsed[stalled] = (Now() - t0) * 1000.0;
        }
        std::printf("%-22s %14.2f %14.2f %10.2f\n", request.name, elapsed[1], elapsed[0], elapsed[1] - elapsed[0]);
    }

    readers::RemoveAll();
    readers::RemoveDriverFiles();
    readers::DeleteKey(readers::uninstallKey);
    readers::DeleteKey(readers::driverSoftwareKey);
    return status;
}
