// What a release names for a file: its size and SHA-256, taken with the
// product's own hash, for tests that stand in for an accepted list.
#ifndef KUVANA_TESTS_RELEASE_FILES_H
#define KUVANA_TESTS_RELEASE_FILES_H

#include <string>

#include "trust/file_hash.h"
#include "trust/release.h"

inline ReleaseFile ReleaseFileOf(const std::string& content)
{
    ReleaseFile file;
    file.bound = true;
    file.size = content.size();
    Sha256OfBytes(reinterpret_cast<const unsigned char*>(content.data()), content.size(), file.sha256);
    return file;
}

#endif
