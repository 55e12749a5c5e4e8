#include "probe/readers.h"

#include <setupapi.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/win_handles.h"
#include "probe/bounded_request.h"
#include "probe/reader_interfaces.h"
#include "probe/reader_rules.h"
#include "probe/versions.h"

const GUID readerInterfaceClass = {0xBCDBF9F1, 0x587D, 0x4DC8, {0x90, 0xD6, 0x5C, 0x8A, 0x17, 0x11, 0x9C, 0xD5}};
const GUID pcCardInterfaceClass = {0x1AB5ECA2, 0xF4D9, 0x46B9, {0x9A, 0xF7, 0x3C, 0xA0, 0x12, 0xAC, 0x32, 0x7E}};

namespace {

HANDLE OpenPath(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

// A reader handle with the path it was opened through. A request that ran out
// of time on that path once in this inventory fails at once when asked again,
// so a reader that never answers costs the time bound once, not on every walk.
struct Reader {
    HANDLE handle;
    const std::string* path;        // null: nothing remembered
    ReaderInterfaces* interfaces;   // null: nothing remembered
};

bool Request(const Reader& reader, DWORD code, const void* input, DWORD inputSize, void* reply, DWORD replySize)
{
    const bool remembered = reader.interfaces != nullptr && reader.path != nullptr;
    if (remembered && reader.interfaces->Stalled(*reader.path, code)) {
        if (reply != nullptr)
            std::memset(reply, 0, replySize);
        SetLastError(ERROR_SEM_TIMEOUT);
        return false;
    }
    RequestOutcome outcome = BoundedRequest(reader.handle, code, input, inputSize, reply, replySize);
    if (outcome == RequestOutcome::timedOut && remembered)
        reader.interfaces->MarkStalled(*reader.path, code);
    return outcome == RequestOutcome::ok;
}

struct Pass {
    int32_t kind;
    DWORD unitCode;
    DWORD wordCode;
    DWORD identityCode;
};

// One pass over a class; returns -1 when it ended through a failure.
int RunPass(const Pass& pass, uint16_t capacity, DeviceRecord* records, unsigned& found, uint16_t& written,
            ReaderInterfaces& interfaces, std::vector<std::string>* driverVersions)
{
    if (!interfaces.ClassPresent(pass.kind))
        return 0;
    int parametersFlag = -1;  // read for the first record the pass writes
    for (DWORD index = 0;; ++index) {
        std::string path;
        WalkStatus walk = interfaces.Path(pass.kind, index, path);
        if (walk == WalkStatus::noMoreItems)
            return 0;
        if (walk == WalkStatus::failed)
            return -1;

        uint32_t driverVersion = 0;
        std::string versionText;
        if (pass.kind != kindZrvpccard) {
            std::string::size_type brace = path.rfind('{');
            if (brace == std::string::npos)
                return 0;
            if (interfaces.DriverVersion(pass.kind, index, path.c_str() + brace, versionText) != 0)
                return 0;
            driverVersion = PackVersion(versionText.c_str());
        }

        const std::string controlPath = path + ControlSuffix(pass.kind);
        DeviceHandle control(OpenPath(controlPath));
        if (!control.Valid())
            continue;
        const Reader reader = {control.Get(), &controlPath, &interfaces};
        EnumerationReplies replies = {0, 0, 0};
        if (!Request(reader, pass.unitCode, nullptr, 0, &replies.unit, 4) ||
            !Request(reader, pass.wordCode, nullptr, 0, &replies.word, 2))
            continue;
        bool identified = Request(reader, pass.identityCode, nullptr, 0, &replies.identity, 4);
        if (!identified && pass.kind == kindZrvemb)
            continue;
        control.Close();

        if (records != nullptr && found < capacity) {
            if (parametersFlag < 0)
                parametersFlag = ReadParametersFlag(pass.kind) ? 1 : 0;
            records[written] = MakeDeviceRecord(pass.kind, replies, parametersFlag != 0, driverVersion);
            ++written;
            if (driverVersions != nullptr)
                driverVersions->push_back(versionText);
        }
        ++found;
    }
}

// The unit search; on 0 the handle is open and path names what was opened.
uint32_t OpenUnit(int32_t kind, int unit, HANDLE* handle, ReaderInterfaces& interfaces, std::string& unitPath)
{
    if (handle == nullptr)
        return deviceBadArgument;
    *handle = INVALID_HANDLE_VALUE;
    const std::string suffix = UnitSuffix(kind, unit);
    if (!interfaces.ClassPresent(kind))
        return deviceNotFound;
    for (DWORD index = 0;; ++index) {
        std::string path;
        WalkStatus walk = interfaces.Path(kind, index, path);
        if (walk == WalkStatus::noMoreItems)
            return deviceNotFound;
        if (walk == WalkStatus::failed)
            return deviceUnknownError;
        DeviceHandle unitHandle(OpenPath(path + suffix));
        if (unitHandle.Valid()) {
            unitPath = path + suffix;
            *handle = unitHandle.Release();
            return 0;
        }
        DWORD error = GetLastError();
        if (error == ERROR_INVALID_PARAMETER)
            continue;
        uint32_t code = MapDeviceError(kind, error);
        if (code != 0)
            return code;
    }
}

uint32_t AskModelName(int32_t kind, const Reader& reader, char* text)
{
    if (reader.handle == nullptr || reader.handle == INVALID_HANDLE_VALUE || kind == kindZrvpccard || text == nullptr)
        return deviceBadArgument;
    const DWORD language = ModelNameLanguage(GetUserDefaultLangID(), PathFileExistsA("kuvanadiag3JPN.dll") != FALSE,
                                             PathFileExistsA("kuvanadiag3CHN.dll") != FALSE);
    char reply[128];
    if (!Request(reader, ioctlModelName, &language, sizeof language, reply, sizeof reply))
        return MapDeviceError(kind, GetLastError());
    std::string name = ModelNameFromReply(reply, sizeof reply);
    std::memcpy(text, name.c_str(), name.size() + 1);
    return 0;
}

// Bounded formatting into a MAX_PATH buffer; false when the text does not fit.
bool FormatPath(char (&out)[MAX_PATH], const char* format, const char* a, const char* b = "")
{
    int n = std::snprintf(out, sizeof out, format, a, b);
    return n >= 0 && size_t(n) < sizeof out;
}

// A REG_SZ value of at most 260 bytes; the extra byte keeps it terminated.
bool ReadString(const char* keyPath, const char* name, char (&value)[MAX_PATH + 1])
{
    RegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, keyPath))
        return false;
    std::memset(value, 0, sizeof value);
    DWORD type = 0;
    DWORD size = MAX_PATH;
    LONG status = RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    return status == ERROR_SUCCESS && type == REG_SZ;
}

}  // namespace

int EnumerateReaders(uint16_t* count, DeviceRecord* records)
{
    ReaderInterfaces interfaces;
    return EnumerateReaders(count, records, interfaces, nullptr);
}

int EnumerateReaders(uint16_t* count, DeviceRecord* records, ReaderInterfaces& interfaces,
                     std::vector<std::string>* driverVersions)
{
    if (count == nullptr)
        return -1;
    const uint16_t capacity = *count;
    static const Pass passes[3] = {
        {kindZrvemb, ioctlUnitEmb, ioctlWordEmb, ioctlIdentityEmb},
        {kindZrvport, ioctlUnit, ioctlWord, ioctlIdentity},
        {kindZrvpccard, ioctlUnit, ioctlWord, ioctlIdentity},
    };
    if (driverVersions != nullptr)
        driverVersions->clear();
    unsigned found = 0;
    uint16_t written = 0;
    int status = 0;
    for (const Pass& pass : passes)  // only pass C's status counts
        status = RunPass(pass, capacity, records, found, written, interfaces, driverVersions);
    unsigned result = records != nullptr ? written : found;
    *count = uint16_t(result > 0xFFFF ? 0xFFFF : result);
    return result != 0 ? 0 : status;
}

uint32_t OpenReaderUnit(int32_t kind, int unit, HANDLE* handle)
{
    ReaderInterfaces interfaces;
    std::string path;
    return OpenUnit(kind, unit, handle, interfaces, path);
}

uint32_t QueryModelName(int32_t kind, HANDLE handle, char* text)
{
    const Reader reader = {handle, nullptr, nullptr};
    return AskModelName(kind, reader, text);
}

void IdentifyReader(ReaderEntry& entry, const DriverRecord& driver, const DeviceRecord& device)
{
    ReaderInterfaces interfaces;
    IdentifyReader(entry, driver, device, interfaces);
}

void IdentifyReader(ReaderEntry& entry, const DriverRecord& driver, const DeviceRecord& device,
                    ReaderInterfaces& interfaces)
{
    entry.driver = &driver;
    entry.device = device;
    entry.modelName.clear();
    entry.driverVersionText.clear();
    char name[128] = {};

    HANDLE raw = INVALID_HANDLE_VALUE;
    std::string path;
    bool ok = OpenUnit(device.kind, device.unitNumber, &raw, interfaces, path) == 0;
    DeviceHandle unit(ok ? raw : INVALID_HANDLE_VALUE);
    const Reader reader = {unit.Get(), &path, &interfaces};
    const bool emb = device.kind == kindZrvemb;
    if (ok && emb)
        ok = Request(reader, ioctlPrepare1Emb, nullptr, 0, nullptr, 0);
    if (ok) {
        const DWORD timeout = 2000;
        ok = Request(reader, emb ? ioctlPrepare2Emb : ioctlPrepare2, &timeout, sizeof timeout, nullptr, 0);
    }
    if (ok)
        ok = Request(reader, emb ? ioctlPrepare3Emb : ioctlPrepare3, nullptr, 0, nullptr, 0);
    if (ok) {
        uint32_t status = AskModelName(device.kind, reader, name);
        unit.Close();
        if (status == 0 && name[0] != '\0') {
            entry.modelName = name;
            return;
        }
    }
    unit.Close();
    entry.modelName = FallbackModelName(device);
}

int InterfaceDriverVersion(const char* devicePath, uint32_t* version, const char* classText)
{
    std::string text;
    if (version == nullptr || InterfaceDriverVersionText(devicePath, classText, text) != 0)
        return -1;
    *version = PackVersion(text.c_str());
    return 0;
}

int InterfaceDriverVersionText(const char* devicePath, const char* classText, std::string& text)
{
    if (devicePath == nullptr || classText == nullptr)
        return -1;
    char keyPath[MAX_PATH];
    char value[MAX_PATH + 1];
    const std::string interfaceKey = InterfaceKeyName(devicePath);
    if (!FormatPath(keyPath, "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\%s\\%s", classText,
                    interfaceKey.c_str()) ||
        !ReadString(keyPath, "DeviceInstance", value))
        return -1;
    if (!FormatPath(keyPath, "SYSTEM\\CurrentControlSet\\Enum\\%s", value) || !ReadString(keyPath, "Driver", value))
        return -1;
    if (!FormatPath(keyPath, "SYSTEM\\CurrentControlSet\\Control\\Class\\%s", value) ||
        !ReadString(keyPath, "DriverVersion", value))
        return -1;
    text = value;
    return 0;
}

bool ReadParametersFlag(int32_t kind)
{
    const char* keyPath;
    const char* name;
    if (kind == kindZrvport) {
        keyPath = "SYSTEM\\CurrentControlSet\\Services\\Zrvport\\Parameters";
        name = "101";
    } else if (kind == kindZrvemb) {
        keyPath = "SYSTEM\\CurrentControlSet\\Services\\zrvemb\\Parameters";
        name = "101c";
    } else {
        keyPath = "SYSTEM\\CurrentControlSet\\Services\\zrvpccard\\Parameters";
        name = "101";
    }
    RegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, keyPath))
        return false;
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof value;
    LONG status = RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == 4 && (value & 0x20) != 0;
}
