// Files and detached signatures made at build time with the test certificates
// (tests/wine/make-signed-files); tests that use them depend on the CMake
// target kuvana_signed_files.
#ifndef KUVANA_TESTS_SIGNED_FILES_H
#define KUVANA_TESTS_SIGNED_FILES_H

#include <string>

inline std::string SignedTestFile(const std::string& name)
{
    std::string path = std::string("Z:") + KUVANA_BINARY_DIR + "/test-data/signed/" + name;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

#endif
