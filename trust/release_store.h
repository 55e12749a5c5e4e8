// What this machine keeps of the releases it accepted, per pinned release
// key: the highest serial that key signed, or that the key is retired. Kept in
// HKEY_LOCAL_MACHINE under a key only SYSTEM and Administrators may change.
#ifndef KUVANA_TRUST_RELEASE_STORE_H
#define KUVANA_TRUST_RELEASE_STORE_H

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "trust/release_keys.h"

// HKEY_LOCAL_MACHINE key of the class installer's own (64-bit view).
extern const char kReleaseStoreKey[];
// The one serial earlier class installers kept for every key (REG_QWORD):
// the floor of each key that has no value of its own yet.
extern const char kReleaseSerialValue[];
// The global mutex held from the read of the store to its write.
extern const char kReleaseStoreMutex[];

// A key's own value, "Release Serial <pin>" (REG_QWORD; kRetiredSerial once
// the key is retired).
std::string KeySerialValue(const char* pin);

class ReleaseStore {
public:
    // Reads the state of `keys`. A process that may change the store holds
    // its mutex from here until destroyed, and makes the registry key with
    // its protected DACL (SYSTEM and Administrators full, Users read) when it
    // is missing.
    ReleaseStore(const ReleaseKey* keys, std::size_t keyCount);
    ~ReleaseStore();
    ReleaseStore(const ReleaseStore&) = delete;
    ReleaseStore& operator=(const ReleaseStore&) = delete;

    // False when a value has the wrong type or size, or a writer could not
    // hold the mutex as its own: nothing may be judged on such a state.
    bool Usable() const { return fault.empty(); }
    const std::string& Fault() const { return fault; }
    // The highest serial accepted from key `index`; kRetiredSerial if retired.
    unsigned long long Highest(std::size_t index) const { return highest[index]; }
    // Raises key `index`'s value to `serial`, never lowers it (kRetiredSerial
    // retires the key). Nothing is written by a process that may not write.
    void Raise(std::size_t index, unsigned long long serial);

private:
    const ReleaseKey* keys;
    std::vector<unsigned long long> highest;
    std::string fault;
    HKEY key = nullptr;
    bool writer = false;
    HANDLE mutex = nullptr;
    bool held = false;
};

#endif
