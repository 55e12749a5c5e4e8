// The machine's release state in the registry, behind a mutex of its own.
#include "trust/release_store.h"

#include <aclapi.h>
#include <sddl.h>

#include "trust/release.h"

const char kReleaseStoreKey[] = "SOFTWARE\\Zorvik Corporation\\Kuvana Class Installer";
const char kReleaseSerialValue[] = "Release Serial";
const char kReleaseStoreMutex[] = "Global\\Kuvana Class Installer Release Store";

namespace {

const REGSAM kView = KEY_WOW64_64KEY;
// Nobody else may write the key or its values. Users may read them: a
// property sheet of a standard user still refuses what this machine refuses.
const char kKeySecurity[] = "D:P(A;OICI;KA;;;SY)(A;OICI;KA;;;BA)(A;OICI;KR;;;BU)";
// Only SYSTEM and Administrators may open the mutex, and they own it.
const char kMutexSecurity[] = "O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";
// A writer waits this long for another process's judgment to end.
const DWORD kLockWaitMs = 30000;

// A security descriptor made from SDDL, freed on every path out.
struct Descriptor {
    PSECURITY_DESCRIPTOR sd = nullptr;
    explicit Descriptor(const char* sddl)
    {
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr))
            sd = nullptr;
    }
    ~Descriptor()
    {
        if (sd != nullptr)
            LocalFree(sd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

// Missing: `serial` untouched, true. Present: true only as a REG_QWORD.
bool ReadSerial(HKEY key, const char* name, unsigned long long& serial, bool& present)
{
    DWORD type = REG_NONE;
    unsigned long long value = 0;
    DWORD size = sizeof value;
    const LONG read = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    present = read != ERROR_FILE_NOT_FOUND;
    if (!present)
        return true;
    if (read != ERROR_SUCCESS || type != REG_QWORD || size != sizeof value)
        return false;
    serial = value;
    return true;
}

// Whether the existing mutex is owned by SYSTEM or Administrators, as ours
// are: one a standard user made first would let its maker hold our lock.
bool OwnedByAdministrators(HANDLE mutex)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &sd) != ERROR_SUCCESS)
        return false;
    const bool ours = owner != nullptr && IsValidSid(owner) &&
                      (IsWellKnownSid(owner, WinLocalSystemSid) || IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    LocalFree(sd);
    return ours;
}

}  // namespace

std::string KeySerialValue(const char* pin)
{
    return std::string(kReleaseSerialValue) + " " + pin;
}

ReleaseStore::ReleaseStore(const ReleaseKey* keys_, std::size_t keyCount) : keys(keys_), highest(keyCount, 0)
{
    const Descriptor keySecurity(kKeySecurity);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, keySecurity.sd, FALSE};
    DWORD disposition = 0;
    writer = keySecurity.sd != nullptr &&
             RegCreateKeyExA(HKEY_LOCAL_MACHINE, kReleaseStoreKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_QUERY_VALUE | KEY_SET_VALUE | WRITE_DAC | kView, &attributes, &key,
                             &disposition) == ERROR_SUCCESS;
    if (!writer) {
        key = nullptr;
        const LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kReleaseStoreKey, 0, KEY_QUERY_VALUE | kView, &key);
        if (opened != ERROR_SUCCESS) {
            key = nullptr;
            // Nothing kept yet is a state; a key we may not read is not.
            if (opened != ERROR_FILE_NOT_FOUND)
                fault = "the stored release state cannot be read";
            return;
        }
    } else {
        // A key an earlier class installer made inherited its parent's ACL.
        if (disposition == REG_OPENED_EXISTING_KEY)
            RegSetKeySecurity(key, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, keySecurity.sd);
        const Descriptor mutexSecurity(kMutexSecurity);
        SECURITY_ATTRIBUTES mutexAttributes = {sizeof mutexAttributes, mutexSecurity.sd, FALSE};
        SetLastError(ERROR_SUCCESS);
        mutex = mutexSecurity.sd != nullptr ? CreateMutexA(&mutexAttributes, FALSE, kReleaseStoreMutex) : nullptr;
        const bool existed = mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
        if (mutex == nullptr || (existed && !OwnedByAdministrators(mutex))) {
            fault = "the release store's lock is held by someone other than SYSTEM or Administrators";
            return;
        }
        // An abandoned lock leaves whole values: each is written at once.
        const DWORD waited = WaitForSingleObject(mutex, kLockWaitMs);
        held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
        if (!held) {
            fault = "the release store stayed locked by another process";
            return;
        }
    }
    unsigned long long legacy = 0;
    bool present = false;
    if (!ReadSerial(key, kReleaseSerialValue, legacy, present)) {
        fault = std::string("the stored value \"") + kReleaseSerialValue + "\" is not a REG_QWORD";
        return;
    }
    for (std::size_t i = 0; i < keyCount; ++i) {
        const std::string name = KeySerialValue(keys[i].pin);
        highest[i] = legacy;
        if (!ReadSerial(key, name.c_str(), highest[i], present)) {
            fault = "the stored value \"" + name + "\" is not a REG_QWORD";
            return;
        }
    }
}

ReleaseStore::~ReleaseStore()
{
    if (held)
        ReleaseMutex(mutex);
    if (mutex != nullptr)
        CloseHandle(mutex);
    if (key != nullptr)
        RegCloseKey(key);
}

void ReleaseStore::Raise(std::size_t index, unsigned long long serial)
{
    if (!writer || !held || !Usable() || index >= highest.size() || serial <= highest[index])
        return;
    const std::string name = KeySerialValue(keys[index].pin);
    if (RegSetValueExA(key, name.c_str(), 0, REG_QWORD, reinterpret_cast<const BYTE*>(&serial), sizeof serial) ==
        ERROR_SUCCESS)
        highest[index] = serial;
}
