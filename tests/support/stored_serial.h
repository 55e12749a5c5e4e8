// The release serial the class installer keeps in HKLM (64-bit view), as
// tests read, set and restore it. Tests that change it take the CTest lock
// kuvana_hklm_settings.
#ifndef KUVANA_TESTS_SUPPORT_STORED_SERIAL_H
#define KUVANA_TESTS_SUPPORT_STORED_SERIAL_H

#include <cstdint>
#include <string>

// The stored serial; false when there is none (or it is not a REG_QWORD).
bool ReadStoredSerial(uint64_t* serial);
bool WriteStoredSerial(uint64_t serial);
// Deletes the value; true when it is gone (also when it was never there).
bool RemoveStoredSerial();

// Leaves the machine's stored serial as it found it: its type and bytes saved
// on construction, written back on destruction, or deleted when there was none.
class StoredSerialGuard {
public:
    StoredSerialGuard();
    ~StoredSerialGuard();
    StoredSerialGuard(const StoredSerialGuard&) = delete;
    StoredSerialGuard& operator=(const StoredSerialGuard&) = delete;

private:
    bool present_;
    unsigned long type_;
    std::string saved_;
};

#endif
