// The highest accepted release serial in the registry.
#include "trust/release_store.h"

#include <windows.h>

#include "common/win_handles.h"

const char kReleaseStoreKey[] = "SOFTWARE\\Zorvik Corporation\\Kuvana Class Installer";
const char kReleaseSerialValue[] = "Release Serial";

namespace {

// False when the value is missing or not a REG_QWORD.
bool ReadFrom(HKEY key, unsigned long long& serial)
{
    DWORD type = REG_NONE;
    DWORD size = sizeof serial;
    serial = 0;
    if (RegQueryValueExA(key, kReleaseSerialValue, nullptr, &type, reinterpret_cast<BYTE*>(&serial), &size) !=
            ERROR_SUCCESS ||
        type != REG_QWORD || size != sizeof serial) {
        serial = 0;
        return false;
    }
    return true;
}

const REGSAM kView = KEY_WOW64_64KEY;

}  // namespace

unsigned long long ReadHighestSerial()
{
    RegKey key;
    unsigned long long serial = 0;
    if (key.Open(HKEY_LOCAL_MACHINE, kReleaseStoreKey, KEY_QUERY_VALUE | kView))
        ReadFrom(key.Get(), serial);
    return serial;
}

void RaiseHighestSerial(unsigned long long serial)
{
    RegKey key;
    if (!key.Create(HKEY_LOCAL_MACHINE, kReleaseStoreKey, KEY_QUERY_VALUE | KEY_SET_VALUE | kView))
        return;
    // Only upward: a sheet or wizard of another process may have stored a
    // higher one meanwhile.
    unsigned long long stored = 0;
    if (ReadFrom(key.Get(), stored) && serial <= stored)
        return;
    RegSetValueExA(key.Get(), kReleaseSerialValue, 0, REG_QWORD, reinterpret_cast<const BYTE*>(&serial),
                   sizeof serial);
}
