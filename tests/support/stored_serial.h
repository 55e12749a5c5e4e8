// The release state the class installer keeps in HKLM (64-bit view): the
// serial earlier versions kept for all keys and each key's own value, as
// tests read, set and restore them. Tests that change it take the CTest lock
// kuvana_hklm_settings.
#ifndef KUVANA_TESTS_SUPPORT_STORED_SERIAL_H
#define KUVANA_TESTS_SUPPORT_STORED_SERIAL_H

#include <cstdint>
#include <string>
#include <vector>

// The value `name` ("Release Serial" when empty); false when there is none
// (or it is not a REG_QWORD).
bool ReadStoredSerial(uint64_t* serial, const std::string& name = std::string());
bool WriteStoredSerial(uint64_t serial, const std::string& name = std::string());
// Writes any type and bytes, as a damaged or hand-edited store holds them.
bool WriteStoredValue(const std::string& name, unsigned long type, const std::string& bytes);
// Deletes every value of the key; true when none is left (also when it was never there).
bool RemoveStoredSerial();

// Leaves the machine's release state as it found it: every value's name, type
// and bytes saved on construction, and on destruction the values then there
// replaced by them.
class StoredSerialGuard {
public:
    StoredSerialGuard();
    ~StoredSerialGuard();
    StoredSerialGuard(const StoredSerialGuard&) = delete;
    StoredSerialGuard& operator=(const StoredSerialGuard&) = delete;

private:
    struct Value {
        std::string name;
        unsigned long type;
        std::string bytes;
    };
    std::vector<Value> saved_;
};

#endif
