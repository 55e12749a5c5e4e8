// The wintrust and crypt32 calls of the maker's-signature check. The class
// installer links them; the setup program, which runs elevated from a folder
// its user can write, imports neither and resolves them from the system
// folder first thing (setup/system_libraries.cpp). A member left null makes
// every check fail.
#ifndef KUVANA_TRUST_SIGNATURE_CALLS_H
#define KUVANA_TRUST_SIGNATURE_CALLS_H

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>

struct SignatureCalls {
    LONG(WINAPI* verifyTrust)(HWND, GUID*, LPVOID);
    CRYPT_PROVIDER_DATA*(WINAPI* provDataFromStateData)(HANDLE);
    CRYPT_PROVIDER_SGNR*(WINAPI* provSignerFromChain)(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD);
    DWORD(WINAPI* certGetNameString)(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR, DWORD);
};

const SignatureCalls& TheSignatureCalls();

#endif
