// The release key the class installer trusts for signed lists: pinned by the
// SHA-256 of its certificate's DER SubjectPublicKeyInfo, with DER reading
// enough to find that and the signed content's type. Pure: no Windows calls.
#ifndef KUVANA_TRUST_RELEASE_PINS_H
#define KUVANA_TRUST_RELEASE_PINS_H

#include <cstddef>

#include "trust/release.h"

// The pins this build trusts: one or two runs of 64 lowercase hex digits,
// separated by ',' (KUVANA_RELEASE_PINS, set when the build is configured).
extern const char kReleasePins[];

// Whether `digest` is one of the pins in `pins` (as kReleasePins). A list
// with no well-formed pin, or more than two, trusts nothing.
bool PinnedKey(const unsigned char (&digest)[kSha256Bytes], const char* pins);

// The DER SubjectPublicKeyInfo inside a DER certificate; false when the
// certificate is not DER as X.509 lays it out.
bool CertificatePublicKeyInfo(const unsigned char* certificate, std::size_t size, const unsigned char*& spki,
                              std::size_t& spkiSize);

// What a DER SubjectPublicKeyInfo holds, as far as release keys go.
enum class ReleaseKeyKind { Other, Rsa, EcP256 };
ReleaseKeyKind KindOfKey(const unsigned char* spki, std::size_t size);

// Whether DER RSASSA-PSS parameters name SHA-256 as the hash and as MGF1's,
// with the standard trailer.
bool PssWithSha256(const unsigned char* parameters, std::size_t size);

// Whether a DER ContentInfo holding SignedData says its content is id-data.
bool SignedContentIsData(const unsigned char* message, std::size_t size);

#endif
