// The maker's detached signature on a steering file: the URL list and the
// response files, which are plain data served over plain http and steer
// signed installers that run elevated.
#ifndef KUVANA_INSTALL_SIGNED_FILE_H
#define KUVANA_INSTALL_SIGNED_FILE_H

#include <windows.h>

#include <string>
#include <vector>

#include "probe/win_handles.h"

// Beside every steering file on the server, and beside its download here.
extern const char kSignatureSuffix[];
// Size bound of a downloaded signature.
constexpr unsigned long kMaxSignatureBytes = 16 * 1024;

// The address and the local name of a file's signature.
std::string SignatureAddress(const std::string& url);
std::string SignatureName(const std::string& fileName);

// A downloaded steering file, open for reading with read sharing only from
// its check until it is closed: nobody can write, replace or delete it in
// between. Trusted when `signaturePath` holds a DER PKCS#7 SignedData without
// content (signtool's /p7, `openssl cms -sign -binary -outform DER`) that
// - verifies over the file's exact bytes, read through the held handle;
// - has a signed messageDigest attribute equal to our own SHA-256 of them;
// - was made by a certificate for code signing that chains to a trusted root;
// - names the maker's publisher, as an installer's signature must.
// Files above `maxBytes` are refused.
class SignedFile {
public:
    SignedFile(const std::string& path, const std::string& signaturePath, unsigned long maxBytes);
    SignedFile(const SignedFile&) = delete;
    SignedFile& operator=(const SignedFile&) = delete;

    bool Trusted() const { return trusted; }
    // The checked bytes; empty unless trusted.
    const std::vector<unsigned char>& Bytes() const { return bytes; }

private:
    DeviceHandle file;
    bool trusted;
    std::vector<unsigned char> bytes;
};

// The check itself, on bytes already read.
bool SignatureTrusted(const std::vector<unsigned char>& content, const std::vector<unsigned char>& signature);

#endif
