#include "setup/driver_package.h"

#include <setupapi.h>

#include <cstdio>

namespace setup {

namespace {

class InfFile {
public:
    explicit InfFile(const std::string& path) : handle_(SetupOpenInfFileA(path.c_str(), nullptr, INF_STYLE_WIN4, nullptr)) {}
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

std::string Field(INFCONTEXT* line, DWORD index)
{
    char text[512] = {};
    return SetupGetStringFieldA(line, index, text, sizeof text, nullptr) ? std::string(text) : std::string();
}

std::string Value(HINF inf, const char* section, const char* key, DWORD index)
{
    INFCONTEXT line;
    return SetupFindFirstLineA(inf, section, key, &line) ? Field(&line, index) : std::string();
}

void AddIds(HINF inf, const std::string& models, std::vector<std::string>* ids)
{
    INFCONTEXT line;
    for (BOOL more = SetupFindFirstLineA(inf, models.c_str(), nullptr, &line); more; more = SetupFindNextLine(&line, &line)) {
        for (DWORD i = 2; i <= SetupGetFieldCount(&line); ++i) {
            std::string id = Field(&line, i);
            bool known = id.empty();
            for (const std::string& seen : *ids)
                known = known || _stricmp(seen.c_str(), id.c_str()) == 0;
            if (!known)
                ids->push_back(id);
        }
    }
}

}  // namespace

bool ReadDriverPackage(const std::string& path, DriverPackage* package, std::string* error)
{
    char full[MAX_PATH] = {};
    if (GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr) == 0 ||
        GetFileAttributesA(full) == INVALID_FILE_ATTRIBUTES) {
        *error = "the driver package's INF " + path + " is missing";
        return false;
    }
    package->inf = full;
    InfFile inf(full);
    if (inf.Get() == INVALID_HANDLE_VALUE) {
        *error = "cannot read " + package->inf + " as an INF (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    char className[64] = {};  // MAX_CLASS_NAME_LEN
    if (!SetupDiGetINFClassA(full, &package->classGuid, className, sizeof className, nullptr) ||
        package->classGuid == GUID_NULL) {
        *error = package->inf + " names no setup class (ClassGuid)";
        return false;
    }
    package->className = className;
    const GUID& g = package->classGuid;
    char text[40];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                  g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    package->classGuidText = text;
    package->classTitle = Value(inf.Get(), "Strings", "ClassName", 1);
    if (package->classTitle.empty())
        package->classTitle = package->className;
    package->driverVersion = Value(inf.Get(), "Version", "DriverVer", 2);

    // [Manufacturer] names each models section with its decorations; this
    // program is 64-bit, so the NTamd64 models (or undecorated ones) apply.
    INFCONTEXT line;
    for (BOOL more = SetupFindFirstLineA(inf.Get(), "Manufacturer", nullptr, &line); more;
         more = SetupFindNextLine(&line, &line)) {
        const std::string models = Field(&line, 1);
        bool decorated = false;
        for (DWORD i = 2; i <= SetupGetFieldCount(&line); ++i) {
            const std::string decoration = Field(&line, i);
            if (_strnicmp(decoration.c_str(), "NTamd64", 7) == 0) {
                AddIds(inf.Get(), models + "." + decoration, &package->hardwareIds);
                decorated = true;
            }
        }
        if (!decorated && SetupGetFieldCount(&line) < 2)
            AddIds(inf.Get(), models, &package->hardwareIds);
    }
    if (package->hardwareIds.empty()) {
        *error = package->inf + " names no hardware id for 64-bit Windows";
        return false;
    }
    return true;
}

}  // namespace setup
