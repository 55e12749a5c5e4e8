#include "setup/driver_package.h"

#include <windows.h>
#include <setupapi.h>

#include <cwchar>

#include "reader_class.h"
#include "setup/report.h"

namespace setup {

namespace {

class InfFile {
public:
    explicit InfFile(const std::wstring& path)
        : handle_(SetupOpenInfFileW(path.c_str(), nullptr, INF_STYLE_WIN4, nullptr))
    {
    }
    ~InfFile()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            SetupCloseInfFile(handle_);
    }
    InfFile(const InfFile&) = delete;
    InfFile& operator=(const InfFile&) = delete;
    HINF Get() const { return handle_; }

private:
    HINF handle_;
};

std::wstring Field(INFCONTEXT* line, DWORD index)
{
    wchar_t text[512] = {};
    return SetupGetStringFieldW(line, index, text, sizeof text / sizeof text[0], nullptr) ? std::wstring(text)
                                                                                           : std::wstring();
}

std::wstring Value(HINF inf, const wchar_t* section, const wchar_t* key, DWORD index)
{
    INFCONTEXT line;
    return SetupFindFirstLineW(inf, section, key, &line) ? Field(&line, index) : std::wstring();
}

void AddIds(HINF inf, const std::wstring& models, std::vector<std::wstring>* ids)
{
    INFCONTEXT line;
    for (BOOL more = SetupFindFirstLineW(inf, models.c_str(), nullptr, &line); more;
         more = SetupFindNextLine(&line, &line)) {
        for (DWORD i = 2; i <= SetupGetFieldCount(&line); ++i) {
            std::wstring id = Field(&line, i);
            bool known = id.empty();
            for (const std::wstring& seen : *ids)
                known = known || _wcsicmp(seen.c_str(), id.c_str()) == 0;
            if (!known)
                ids->push_back(id);
        }
    }
}

std::wstring GuidText(const GUID& g)
{
    wchar_t text[40];
    swprintf(text, sizeof text / sizeof text[0], L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
             g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

}  // namespace

bool ReadDriverPackage(const std::wstring& path, DriverPackage* package, std::string* error)
{
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(path.c_str(), DWORD(full.size()), &full[0], nullptr);
    if (length >= full.size()) {
        full.assign(length, L'\0');
        length = GetFullPathNameW(path.c_str(), DWORD(full.size()), &full[0], nullptr);
    }
    full.resize(length < full.size() ? length : 0);
    if (full.empty() || GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES) {
        *error = "the driver package's INF " + Utf8(path) + " is missing";
        return false;
    }
    if (!FitsMaxPath(full, error))
        return false;
    package->inf = full;
    InfFile inf(full);
    if (inf.Get() == INVALID_HANDLE_VALUE) {
        *error = "cannot read " + Utf8(full) + " as an INF (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    GUID classGuid = GUID_NULL;
    wchar_t className[64] = {};  // MAX_CLASS_NAME_LEN
    if (!SetupDiGetINFClassW(full.c_str(), &classGuid, className, sizeof className / sizeof className[0], nullptr) ||
        classGuid == GUID_NULL) {
        *error = Utf8(full) + " names no setup class (ClassGuid)";
        return false;
    }
    // Registered for another class, the class installer would run for every
    // device of it, and that class's key would be rewritten.
    if (classGuid != kReaderClassGuid || _wcsicmp(className, kReaderClassName) != 0) {
        *error = Utf8(full) + " names the setup class " + Utf8(className) + " " + Utf8(GuidText(classGuid)) +
                 ", not the readers' class " + Utf8(kReaderClassName) + " " + Utf8(kReaderClassGuidText) +
                 ": refused, nothing was changed";
        return false;
    }
    package->driverVersion = Value(inf.Get(), L"Version", L"DriverVer", 2);

    // [Manufacturer] names each models section with its decorations; this
    // program is 64-bit, so the NTamd64 models (or undecorated ones) apply.
    INFCONTEXT line;
    for (BOOL more = SetupFindFirstLineW(inf.Get(), L"Manufacturer", nullptr, &line); more;
         more = SetupFindNextLine(&line, &line)) {
        const std::wstring models = Field(&line, 1);
        bool decorated = false;
        for (DWORD i = 2; i <= SetupGetFieldCount(&line); ++i) {
            const std::wstring decoration = Field(&line, i);
            if (_wcsnicmp(decoration.c_str(), L"NTamd64", 7) == 0) {
                AddIds(inf.Get(), models + L"." + decoration, &package->hardwareIds);
                decorated = true;
            }
        }
        if (!decorated && SetupGetFieldCount(&line) < 2)
            AddIds(inf.Get(), models, &package->hardwareIds);
    }
    if (package->hardwareIds.empty()) {
        *error = Utf8(full) + " names no hardware id for 64-bit Windows";
        return false;
    }
    return true;
}

}  // namespace setup
