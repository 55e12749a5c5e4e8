#include "setup/machine.h"

#include <algorithm>

#include "reader_class.h"
#include "setup/coinstaller_list.h"

namespace setup {

const wchar_t kCoDeviceInstallersKey[] = L"SYSTEM\\CurrentControlSet\\Control\\CoDeviceInstallers";

namespace {

const std::wstring kClassKey = std::wstring(L"SYSTEM\\CurrentControlSet\\Control\\Class\\") + kReaderClassGuidText;
// What AddClassKeyValues wrote, recorded in the class key itself, so that
// remove takes out that and nothing else.
const wchar_t kRecordValues[] = L"KuvanaSetupWrote";       // REG_MULTI_SZ of value names, "@" the default value
const wchar_t kRecordCreated[] = L"KuvanaSetupCreatedKey";  // REG_DWORD 1: install made the class key

class Key {
public:
    Key() = default;
    ~Key()
    {
        if (handle_ != nullptr)
            RegCloseKey(handle_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    LONG Open(HKEY parent, const std::wstring& path, REGSAM access)
    {
        return RegOpenKeyExW(parent, path.c_str(), 0, access | KEY_WOW64_64KEY, &handle_);
    }
    LONG Create(HKEY parent, const std::wstring& path, bool* created = nullptr)
    {
        DWORD disposition = 0;
        LONG status = RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE | KEY_WOW64_64KEY,
                                      nullptr, &handle_, &disposition);
        if (created != nullptr)
            *created = status == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
        return status;
    }
    HKEY Get() const { return handle_; }

private:
    HKEY handle_ = nullptr;
};

std::string Message(const char* what, LONG status)
{
    return std::string(what) + " (error " + std::to_string(status) + ")";
}

// A value's data as UTF-16 units; `odd` when its size is no whole number of units.
LONG QueryUnits(HKEY key, const wchar_t* name, std::wstring* units, DWORD* type, bool* odd = nullptr)
{
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, name, nullptr, type, nullptr, &size);
    for (int attempt = 0; status == ERROR_SUCCESS && attempt < 4; ++attempt) {
        units->assign(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = size;
        status = RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<BYTE*>(&(*units)[0]), &got);
        if (status == ERROR_MORE_DATA) {
            size = got;
            status = ERROR_SUCCESS;
            continue;
        }
        units->resize(got / sizeof(wchar_t));
        if (odd != nullptr)
            *odd = got % sizeof(wchar_t) != 0;
        return status;
    }
    return status == ERROR_SUCCESS ? ERROR_MORE_DATA : status;
}

LONG SetUnits(HKEY key, const wchar_t* name, DWORD type, const std::wstring& units)
{
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(units.data()),
                          DWORD(units.size() * sizeof(wchar_t)));
}

struct ClassValue {
    const wchar_t* record;  // its name in the record
    const wchar_t* name;    // its name in the class key (nullptr: the default value)
    const wchar_t* data;
};
const ClassValue kClassValues[] = {
    {L"@", nullptr, kReaderClassTitle},
    {L"Class", L"Class", kReaderClassName},
    {L"Icon", L"Icon", kReaderClassIcon},
};

std::vector<std::wstring> RecordedValues(HKEY record)
{
    std::wstring units;
    DWORD type = 0;
    if (record == nullptr || QueryUnits(record, kRecordValues, &units, &type) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ)
        return std::vector<std::wstring>();
    return ParseMultiString(units);
}

}  // namespace

bool RunsElevated()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    BOOL ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return ok && elevation.TokenIsElevated != 0;
}

bool ReadClassCoInstallers(std::vector<std::wstring>* entries, bool* exists, std::string* error)
{
    entries->clear();
    *exists = false;
    Key key;
    LONG status = key.Open(HKEY_LOCAL_MACHINE, kCoDeviceInstallersKey, KEY_READ);
    if (status == ERROR_FILE_NOT_FOUND)
        return true;
    if (status != ERROR_SUCCESS) {
        *error = Message("cannot open CoDeviceInstallers", status);
        return false;
    }
    std::wstring units;
    DWORD type = 0;
    bool odd = false;
    status = QueryUnits(key.Get(), kReaderClassGuidText, &units, &type, &odd);
    if (status == ERROR_FILE_NOT_FOUND)
        return true;
    if (status != ERROR_SUCCESS || type != REG_MULTI_SZ || odd) {
        *error = status != ERROR_SUCCESS ? Message("cannot read the class's value", status)
                                         : "the class's value is not a REG_MULTI_SZ list; it is left as it is";
        return false;
    }
    *exists = true;
    *entries = ParseMultiString(units);
    return true;
}

bool WriteClassCoInstallers(const std::vector<std::wstring>& entries, std::string* error)
{
    Key key;
    LONG status = key.Create(HKEY_LOCAL_MACHINE, kCoDeviceInstallersKey);
    if (status == ERROR_SUCCESS) {
        if (entries.empty()) {
            status = RegDeleteValueW(key.Get(), kReaderClassGuidText);
            if (status == ERROR_FILE_NOT_FOUND)
                status = ERROR_SUCCESS;
        } else {
            status = SetUnits(key.Get(), kReaderClassGuidText, REG_MULTI_SZ, BuildMultiString(entries));
        }
    }
    if (status != ERROR_SUCCESS)
        *error = Message("cannot write CoDeviceInstallers", status);
    return status == ERROR_SUCCESS;
}

bool AddClassKeyValues(std::vector<std::wstring>* written, std::string* error)
{
    written->clear();
    Key key;
    bool created = false;
    LONG status = key.Create(HKEY_LOCAL_MACHINE, kClassKey, &created);
    if (status != ERROR_SUCCESS) {
        *error = Message("cannot open the class key", status);
        return false;
    }
    if (created) {
        const DWORD one = 1;
        status = RegSetValueExW(key.Get(), kRecordCreated, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    }
    std::vector<std::wstring> recorded = RecordedValues(key.Get());
    for (const ClassValue& value : kClassValues) {
        if (status != ERROR_SUCCESS)
            break;
        status = RegQueryValueExW(key.Get(), value.name, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS)
            continue;  // someone's, or ours from an earlier install: left as it is
        if (status != ERROR_FILE_NOT_FOUND)
            break;
        if (std::find(recorded.begin(), recorded.end(), value.record) == recorded.end())
            recorded.push_back(value.record);
        // Recorded before it is written: whatever fails later, remove knows what is ours.
        status = SetUnits(key.Get(), kRecordValues, REG_MULTI_SZ, BuildMultiString(recorded));
        if (status == ERROR_SUCCESS)
            status = SetUnits(key.Get(), value.name, REG_SZ, std::wstring(value.data) + L'\0');
        if (status == ERROR_SUCCESS)
            written->push_back(value.record);
    }
    if (status != ERROR_SUCCESS)
        *error = Message("cannot write the class key", status);
    return status == ERROR_SUCCESS;
}

bool RemoveClassKeyValues(std::vector<std::wstring>* removed, std::string* error)
{
    removed->clear();
    Key key;
    LONG status = key.Open(HKEY_LOCAL_MACHINE, kClassKey, KEY_READ | KEY_WRITE);
    if (status == ERROR_FILE_NOT_FOUND)
        return true;
    if (status != ERROR_SUCCESS) {
        *error = Message("cannot open the class key", status);
        return false;
    }
    const std::vector<std::wstring> recorded = RecordedValues(key.Get());
    DWORD created = 0, size = sizeof created;
    if (RegQueryValueExW(key.Get(), kRecordCreated, nullptr, nullptr, reinterpret_cast<BYTE*>(&created), &size) !=
        ERROR_SUCCESS)
        created = 0;
    for (const ClassValue& value : kClassValues) {
        if (std::find(recorded.begin(), recorded.end(), value.record) == recorded.end())
            continue;
        std::wstring units;
        DWORD type = 0;
        // Changed since by someone else: theirs now.
        if (QueryUnits(key.Get(), value.name, &units, &type) != ERROR_SUCCESS || type != REG_SZ ||
            units != std::wstring(value.data) + L'\0')
            continue;
        status = RegDeleteValueW(key.Get(), value.name);
        if (status != ERROR_SUCCESS) {
            *error = Message("cannot delete a value of the class key", status);
            return false;
        }
        removed->push_back(value.record);
    }
    RegDeleteValueW(key.Get(), kRecordValues);
    RegDeleteValueW(key.Get(), kRecordCreated);
    DWORD subkeys = 0, values = 0;
    const bool empty = RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                        nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                       subkeys == 0 && values == 0;
    if (created == 1 && empty &&
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kClassKey.c_str(), KEY_WOW64_64KEY, 0) == ERROR_SUCCESS)
        removed->push_back(L"the class key");
    return true;
}

std::vector<std::wstring> DeviceCoInstallerRegistrations()
{
    std::vector<std::wstring> found;
    Key classKey;
    if (classKey.Open(HKEY_LOCAL_MACHINE, kClassKey, KEY_READ) != ERROR_SUCCESS)
        return found;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name / sizeof name[0];
        if (RegEnumKeyExW(classKey.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        Key driverKey;
        std::wstring units;
        DWORD type = 0;
        if (driverKey.Open(classKey.Get(), name, KEY_READ) != ERROR_SUCCESS ||
            QueryUnits(driverKey.Get(), L"CoInstallers32", &units, &type) != ERROR_SUCCESS)
            continue;
        // REG_SZ is read as a one-entry list, as the framework reads it.
        for (const std::wstring& entry : ParseMultiString(type == REG_SZ || type == REG_MULTI_SZ ? units : L""))
            if (NamesOurCoInstaller(entry))
                found.push_back(std::wstring(name) + L": " + entry);
    }
    return found;
}

}  // namespace setup
