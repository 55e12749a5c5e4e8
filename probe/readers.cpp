#include "probe/readers.h"

#include <setupapi.h>
#include <shlwapi.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "probe/reader_rules.h"
#include "probe/versions.h"
#include "probe/win_handles.h"

const GUID readerInterfaceClass = {0xBCDBF9F1, 0x587D, 0x4DC8, {0x90, 0xD6, 0x5C, 0x8A, 0x17, 0x11, 0x9C, 0xD5}};
const GUID pcCardInterfaceClass = {0x1AB5ECA2, 0xF4D9, 0x46B9, {0x9A, 0xF7, 0x3C, 0xA0, 0x12, 0xAC, 0x32, 0x7E}};

namespace {

enum class WalkStatus { ok, noMoreItems, failed };

const GUID& InterfaceClass(int32_t kind)
{
    return kind == kindZrvpccard ? pcCardInterfaceClass : readerInterfaceClass;
}

// The DevicePath of member index of a device information set.
WalkStatus ReadDevicePath(HDEVINFO set, const GUID& interfaceClass, DWORD index, std::string& path)
{
    SP_DEVICE_INTERFACE_DATA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = sizeof data;  // 32
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, index, &data))
        return GetLastError() == ERROR_NO_MORE_ITEMS ? WalkStatus::noMoreItems : WalkStatus::failed;
    DWORD required = 0;
    if (!SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return WalkStatus::failed;
    std::vector<char> buffer;
    try {
        buffer.assign(size_t(required) + 1024, 0);
    } catch (...) {
        return WalkStatus::failed;
    }
    SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);  // 8
    if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, DWORD(buffer.size()), nullptr, nullptr))
        return WalkStatus::failed;
    const size_t offset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    path.assign(detail->DevicePath, strnlen(detail->DevicePath, buffer.size() - offset));
    return WalkStatus::ok;
}

HANDLE OpenPath(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

// One synchronous control request; the reply buffer is zero-filled first so a
// failed request never leaves old memory behind as a reply.
bool Request(HANDLE handle, DWORD code, const void* input, DWORD inputSize, void* reply, DWORD replySize)
{
    if (reply != nullptr)
        std::memset(reply, 0, replySize);
    DWORD returned = 0;
    return DeviceIoControl(handle, code, const_cast<void*>(input), inputSize, reply, replySize, &returned, nullptr) !=
           FALSE;
}

struct Pass {
    int32_t kind;
    DWORD unitCode;
    DWORD wordCode;
    DWORD identityCode;
};

// One pass over a class; returns -1 when it ended through a failure.
int RunPass(const Pass& pass, uint16_t capacity, DeviceRecord* records, unsigned& found, uint16_t& written)
{
    const GUID& interfaceClass = InterfaceClass(pass.kind);
    DeviceInfoSet set(SetupDiGetClassDevsA(&interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.Valid())
        return 0;
    for (DWORD index = 0;; ++index) {
        std::string path;
        WalkStatus walk = ReadDevicePath(set.Get(), interfaceClass, index, path);
        if (walk == WalkStatus::noMoreItems)
            return 0;
        if (walk == WalkStatus::failed)
            return -1;

        uint32_t driverVersion = 0;
        if (pass.kind != kindZrvpccard) {
            std::string::size_type brace = path.rfind('{');
            if (brace == std::string::npos)
                return 0;
            if (InterfaceDriverVersion(path.c_str(), &driverVersion, path.c_str() + brace) != 0)
                return 0;
        }

        DeviceHandle control(OpenPath(path + ControlSuffix(pass.kind)));
        if (!control.Valid())
            continue;
        EnumerationReplies replies = {0, 0, 0};
        if (!Request(control.Get(), pass.unitCode, nullptr, 0, &replies.unit, 4) ||
            !Request(control.Get(), pass.wordCode, nullptr, 0, &replies.word, 2))
            continue;
        bool identified = Request(control.Get(), pass.identityCode, nullptr, 0, &replies.identity, 4);
        if (!identified && pass.kind == kindZrvemb)
            continue;
        control.Close();

        if (records != nullptr && found < capacity) {
            records[written] = MakeDeviceRecord(pass.kind, replies, ReadParametersFlag(pass.kind), driverVersion);
            ++written;
        }
        ++found;
    }
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
    if (count == nullptr)
        return -1;
    const uint16_t capacity = *count;
    static const Pass passes[3] = {
        {kindZrvemb, ioctlUnitEmb, ioctlWordEmb, ioctlIdentityEmb},
        {kindZrvport, ioctlUnit, ioctlWord, ioctlIdentity},
        {kindZrvpccard, ioctlUnit, ioctlWord, ioctlIdentity},
    };
    unsigned found = 0;
    uint16_t written = 0;
    int status = 0;
    for (const Pass& pass : passes)
        status = RunPass(pass, capacity, records, found, written);  // only pass C's status counts
    unsigned result = records != nullptr ? written : found;
    *count = uint16_t(result > 0xFFFF ? 0xFFFF : result);
    return result != 0 ? 0 : status;
}

uint32_t OpenReaderUnit(int32_t kind, int unit, HANDLE* handle)
{
    if (handle == nullptr)
        return deviceBadArgument;
    *handle = INVALID_HANDLE_VALUE;
    const std::string suffix = UnitSuffix(kind, unit);
    const GUID& interfaceClass = InterfaceClass(kind);
    DeviceInfoSet set(SetupDiGetClassDevsA(&interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.Valid())
        return deviceNotFound;
    for (DWORD index = 0;; ++index) {
        std::string path;
        WalkStatus walk = ReadDevicePath(set.Get(), interfaceClass, index, path);
        if (walk == WalkStatus::noMoreItems)
            return deviceNotFound;
        if (walk == WalkStatus::failed)
            return deviceUnknownError;
        DeviceHandle unitHandle(OpenPath(path + suffix));
        if (unitHandle.Valid()) {
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

uint32_t QueryModelName(int32_t kind, HANDLE handle, char* text)
{
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || kind == kindZrvpccard || text == nullptr)
        return deviceBadArgument;
    const DWORD language = ModelNameLanguage(GetUserDefaultLangID(), PathFileExistsA("kuvanadiag3JPN.dll") != FALSE,
                                             PathFileExistsA("kuvanadiag3CHN.dll") != FALSE);
    char reply[128];
    if (!Request(handle, ioctlModelName, &language, sizeof language, reply, sizeof reply))
        return MapDeviceError(kind, GetLastError());
    std::string name = ModelNameFromReply(reply, sizeof reply);
    std::memcpy(text, name.c_str(), name.size() + 1);
    return 0;
}

void IdentifyReader(ReaderEntry& entry, const DriverRecord& driver, const DeviceRecord& device)
{
    entry.driver = &driver;
    entry.device = device;
    entry.modelName.clear();
    char name[128] = {};

    HANDLE raw = INVALID_HANDLE_VALUE;
    bool ok = OpenReaderUnit(device.kind, device.unitNumber, &raw) == 0;
    DeviceHandle unit(ok ? raw : INVALID_HANDLE_VALUE);
    const bool emb = device.kind == kindZrvemb;
    if (ok && emb)
        ok = Request(unit.Get(), ioctlPrepare1Emb, nullptr, 0, nullptr, 0);
    if (ok) {
        const DWORD timeout = 2000;
        ok = Request(unit.Get(), emb ? ioctlPrepare2Emb : ioctlPrepare2, &timeout, sizeof timeout, nullptr, 0);
    }
    if (ok)
        ok = Request(unit.Get(), emb ? ioctlPrepare3Emb : ioctlPrepare3, nullptr, 0, nullptr, 0);
    if (ok) {
        uint32_t status = QueryModelName(device.kind, unit.Get(), name);
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
    if (devicePath == nullptr || version == nullptr || classText == nullptr)
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
    *version = PackVersion(value);
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
