// The maker's release signature on the URL list: a detached signature beside
// the list that only the maker's release key, pinned in this DLL, can make.
// The list in turn binds every file by size and SHA-256.
#ifndef KUVANA_TRUST_RELEASE_SIGNATURE_H
#define KUVANA_TRUST_RELEASE_SIGNATURE_H

#include <windows.h>

#include <string>
#include <vector>

#include "trust/release_keys.h"

// Beside the list on the server, and beside its download here.
extern const char kSignatureSuffix[];
// Size bound of a downloaded signature.
constexpr unsigned long kMaxSignatureBytes = 16 * 1024;

// The address and the local name of a file's signature.
std::string SignatureAddress(const std::string& url);
std::string SignatureName(const std::string& fileName);

// The index in `keys` of the pinned release key whose signature `signature`
// is over `content`, or -1 when none. It must be a DER PKCS#7 SignedData
// without content that
// - has exactly one signer, and SHA-256 as its digest;
// - has a signed messageDigest attribute equal to our own SHA-256 of
//   `content` (some verifiers, Wine's among them, never compare it);
// - says id-data as its content type, in the message and in its signed
//   contentType attribute, so no other signed object of the maker's passes;
// - verifies under the key itself, with RSA (PKCS #1 v1.5, or PSS with
//   SHA-256 throughout) for an RSA key and ECDSA for a P-256 key; any other
//   signature algorithm is refused before the platform sees it. The
//   certificates the message carries play no part, nor does their absence.
int ReleaseSigner(const std::vector<unsigned char>& content, const std::vector<unsigned char>& signature,
                  const ReleaseKey* keys, std::size_t keyCount);

// Reads at most `maxBytes` from the start of `file` (at explicit offsets);
// false when it holds more or a read fails.
bool ReadBounded(HANDLE file, unsigned long maxBytes, std::vector<unsigned char>& out);

#endif
