// SHA-256 with the system's provider, over bytes or over a held file.
#ifndef KUVANA_TRUST_FILE_HASH_H
#define KUVANA_TRUST_FILE_HASH_H

#include <windows.h>

#include <cstddef>

#include "trust/release.h"

bool Sha256OfBytes(const unsigned char* data, std::size_t size, unsigned char (&digest)[kSha256Bytes]);

// Hashes what `file` holds from its start to its end, reading at explicit
// offsets; `size` gets the byte count. False when a read fails or the file
// holds more than `maxBytes`.
bool Sha256OfFile(HANDLE file, unsigned long long maxBytes, unsigned char (&digest)[kSha256Bytes],
                  unsigned long long& size);

// Whether the file held as `file` is exactly the one `expected` names: its
// size first (no hashing of a file of another size), then its SHA-256.
bool FileMatchesRelease(HANDLE file, const ReleaseFile& expected);

#endif
