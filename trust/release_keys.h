// The release keys this build verifies signed lists against: each one's DER
// SubjectPublicKeyInfo, compiled in from the certificates the build named
// (cmake/release_keys.py), beside its pin, in the order of kReleasePins.
#ifndef KUVANA_TRUST_RELEASE_KEYS_H
#define KUVANA_TRUST_RELEASE_KEYS_H

#include <cstddef>

struct ReleaseKey {
    const unsigned char* spki;
    std::size_t spkiSize;
    const char* pin;  // 64 lowercase hex digits: the SHA-256 of spki
};

extern const ReleaseKey kReleaseKeys[];
extern const std::size_t kReleaseKeyCount;

#endif
