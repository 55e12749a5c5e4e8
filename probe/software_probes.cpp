#include "probe/software_probes.h"

#include <cstring>

#include "common/win_handles.h"

namespace {

const char softwareKey[] = "SOFTWARE\\Wow6432Node\\Zorvik Corporation\\Kuvana Port Software";
const char uninstallKey[] =
    "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    "{6A2E91C4-3B7D-4E05-9F18-C2D47B0E5A63}";

}  // namespace

bool ReadSoftwareKind()
{
    RegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, softwareKey))
        return false;
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof value;
    LONG status = RegQueryValueExA(key.Get(), "Kind", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == 4 && (value & 5) != 0;
}

bool ReadDisplayVersion(char* buffer, DWORD size)
{
    RegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, uninstallKey))
        return false;
    // The query always gets 32 bytes; they land in a local buffer so that a
    // caller's smaller buffer is never written past its end.
    char text[32] = {};
    DWORD type = 0;
    DWORD textSize = sizeof text;
    RegQueryValueExA(key.Get(), "DisplayVersion", nullptr, &type, reinterpret_cast<BYTE*>(text), &textSize);
    key.Close();
    if (buffer != nullptr && size > 0) {
        DWORD n = size < sizeof text ? size : DWORD(sizeof text);
        std::memcpy(buffer, text, n);
        if (n < sizeof text)
            buffer[n - 1] = '\0';
    }
    // Only the reported type and size decide: a value longer than the buffer is present too.
    return type == REG_SZ && textSize != 0;
}
