#include "support/stored_serial.h"

#include <windows.h>

namespace {

const char kKey[] = "SOFTWARE\\Zorvik Corporation\\Kuvana Class Installer";
const char kValue[] = "Release Serial";

struct Key {
    HKEY h = nullptr;
    ~Key()
    {
        if (h)
            RegCloseKey(h);
    }
};

bool Open(Key& key, REGSAM access, bool create)
{
    if (create)
        return RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, access | KEY_WOW64_64KEY, nullptr, &key.h,
                               nullptr) == ERROR_SUCCESS;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, access | KEY_WOW64_64KEY, &key.h) == ERROR_SUCCESS;
}

const char* NameOr(const std::string& name)
{
    return name.empty() ? kValue : name.c_str();
}

}  // namespace

bool ReadStoredSerial(uint64_t* serial, const std::string& name)
{
    Key key;
    if (!Open(key, KEY_QUERY_VALUE, false))
        return false;
    DWORD type = 0, size = sizeof *serial;
    return RegQueryValueExA(key.h, NameOr(name), nullptr, &type, reinterpret_cast<BYTE*>(serial), &size) ==
               ERROR_SUCCESS &&
           type == REG_QWORD && size == sizeof *serial;
}

bool WriteStoredValue(const std::string& name, unsigned long type, const std::string& bytes)
{
    Key key;
    return Open(key, KEY_SET_VALUE, true) &&
           RegSetValueExA(key.h, NameOr(name), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                          DWORD(bytes.size())) == ERROR_SUCCESS;
}

bool WriteStoredSerial(uint64_t serial, const std::string& name)
{
    return WriteStoredValue(name, REG_QWORD, std::string(reinterpret_cast<const char*>(&serial), sizeof serial));
}

bool RemoveStoredSerial()
{
    Key key;
    const LONG opened =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE | KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key.h);
    if (opened != ERROR_SUCCESS)
        return opened == ERROR_FILE_NOT_FOUND;
    for (;;) {
        char name[256] = {};
        DWORD length = sizeof name;
        const LONG found = RegEnumValueA(key.h, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (found == ERROR_NO_MORE_ITEMS)
            return true;
        if (found != ERROR_SUCCESS || RegDeleteValueA(key.h, name) != ERROR_SUCCESS)
            return false;
    }
}

StoredSerialGuard::StoredSerialGuard()
{
    Key key;
    if (!Open(key, KEY_QUERY_VALUE, false))
        return;
    for (DWORD i = 0;; ++i) {
        char name[256] = {};
        DWORD length = sizeof name, type = 0, size = 0;
        if (RegEnumValueA(key.h, i, name, &length, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        Value value{name, type, std::string(size, '\0')};
        if (RegQueryValueExA(key.h, name, nullptr, &type,
                             reinterpret_cast<BYTE*>(value.bytes.empty() ? nullptr : &value.bytes[0]), &size) ==
            ERROR_SUCCESS)
            saved_.push_back(value);
    }
}

StoredSerialGuard::~StoredSerialGuard()
{
    RemoveStoredSerial();
    for (const Value& value : saved_)
        WriteStoredValue(value.name, value.type, value.bytes);
}
