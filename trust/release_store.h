// The highest release serial this machine has accepted, kept in
// HKEY_LOCAL_MACHINE so that no older signed list is taken again.
#ifndef KUVANA_TRUST_RELEASE_STORE_H
#define KUVANA_TRUST_RELEASE_STORE_H

// HKEY_LOCAL_MACHINE key of the class installer's own and its value (REG_QWORD).
extern const char kReleaseStoreKey[];
extern const char kReleaseSerialValue[];

// 0 when nothing was accepted yet, or the value is not a REG_QWORD (it is
// then replaced by the next accepted serial).
unsigned long long ReadHighestSerial();

// Stores `serial` when it is higher than the stored one. A process that may
// not write the key leaves it as it is; it still refuses lower serials.
void RaiseHighestSerial(unsigned long long serial);

#endif
