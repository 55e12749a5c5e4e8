// Trust in the test server's CA, added to the Wine prefix's machine root store
// (never to the build machine's own trust store).
#include "support/server_control.h"

#include <windows.h>
#include <wincrypt.h>

#include <vector>

bool ServerTrustTestCa()
{
    char path[1024] = {};
    DWORD n = GetEnvironmentVariableA("KUVANA_SERVER_CA", path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return false;
    std::string windowsPath = "Z:";
    windowsPath += path;
    for (char& c : windowsPath)
        if (c == '/')
            c = '\\';
    HANDLE file = CreateFileA(windowsPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::vector<BYTE> der(16384);
    DWORD got = 0;
    BOOL read = ReadFile(file, der.data(), DWORD(der.size()), &got, nullptr);
    CloseHandle(file);
    if (!read || got == 0)
        return false;
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0,
                                     CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, "Root");
    if (!store)
        return false;
    BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), got,
                                                  CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(store, 0);
    return added != FALSE;
}
