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

}  // namespace

bool ReadStoredSerial(uint64_t* serial)
{
    Key key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key.h) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = sizeof *serial;
    return RegQueryValueExA(key.h, kValue, nullptr, &type, reinterpret_cast<BYTE*>(serial), &size) ==
               ERROR_SUCCESS &&
           type == REG_QWORD && size == sizeof *serial;
}

bool WriteStoredSerial(uint64_t serial)
{
    Key key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key.h,
                        nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExA(key.h, kValue, 0, REG_QWORD, reinterpret_cast<const BYTE*>(&serial), sizeof serial) ==
           ERROR_SUCCESS;
}

bool RemoveStoredSerial()
{
    Key key;
    LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key.h);
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    LONG deleted = RegDeleteValueA(key.h, kValue);
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

StoredSerialGuard::StoredSerialGuard() : present_(false), type_(0)
{
    Key key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key.h) != ERROR_SUCCESS)
        return;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key.h, kValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return;
    saved_.resize(size);
    present_ = RegQueryValueExA(key.h, kValue, nullptr, &type, reinterpret_cast<BYTE*>(&saved_[0]), &size) ==
               ERROR_SUCCESS;
    saved_.resize(size);
    type_ = type;
}

StoredSerialGuard::~StoredSerialGuard()
{
    if (!present_) {
        RemoveStoredSerial();
        return;
    }
    Key key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key.h,
                        nullptr) == ERROR_SUCCESS)
        RegSetValueExA(key.h, kValue, 0, type_, reinterpret_cast<const BYTE*>(saved_.data()), DWORD(saved_.size()));
}
