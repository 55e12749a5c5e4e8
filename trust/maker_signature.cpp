// The maker's signature on a held file: the certificate table, WinVerifyTrust
// and the publisher rule.
#include "trust/maker_signature.h"

#include <softpub.h>
#include <wintrust.h>

#include <vector>

#include "trust/pe_certificates.h"
#include "trust/publisher.h"
#include "trust/signature_calls.h"

namespace {

// The maker's publisher in UTF-16; the constant is UTF-8, as the sources are.
std::wstring MakerPublisher()
{
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, kMakerPublisher, -1, nullptr, 0);
    if (length <= 1)
        return std::wstring();
    std::vector<wchar_t> wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, kMakerPublisher, -1, wide.data(), length);
    return std::wstring(wide.data(), size_t(length) - 1);
}

// The signer's certificate is the first of its chain.
bool SignerIsMaker(HANDLE stateData)
{
    const SignatureCalls& calls = TheSignatureCalls();
    if (calls.provDataFromStateData == nullptr || calls.provSignerFromChain == nullptr)
        return false;
    CRYPT_PROVIDER_DATA* provider = calls.provDataFromStateData(stateData);
    if (provider == nullptr)
        return false;
    CRYPT_PROVIDER_SGNR* signer = calls.provSignerFromChain(provider, 0, FALSE, 0);
    if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr)
        return false;
    return IsMakersCertificate(signer->pasCertChain[0].pCert);
}

bool ReadAt(HANDLE file, ULONGLONG offset, std::vector<unsigned char>& bytes)
{
    OVERLAPPED position = {};
    position.Offset = DWORD(offset);
    position.OffsetHigh = DWORD(offset >> 32);
    DWORD got = 0;
    return ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, &position) && got == bytes.size();
}

// Certificate tables are a few kilobytes; the headers lie at the file's start.
const DWORD kMaxCertificateTable = 1 << 20;
const DWORD kHeaderBytes = 64 * 1024;

}  // namespace

bool CertificateTableAtEnd(HANDLE file)
{
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size) || size.QuadPart <= 0)
        return false;
    std::vector<unsigned char> headers(size_t(size.QuadPart < kHeaderBytes ? size.QuadPart : kHeaderBytes));
    CertificateTable table;
    if (!ReadAt(file, 0, headers) || !FindCertificateTable(headers.data(), headers.size(), table) ||
        table.size > kMaxCertificateTable)
        return false;
    std::vector<unsigned char> bytes(table.size);
    const bool sound = ReadAt(file, table.offset, bytes) &&
                       CertificateTableIsSound(ULONGLONG(size.QuadPart), table, bytes.data());
    LARGE_INTEGER start = {};
    SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
    return sound;
}

bool SignedByMaker(HANDLE file, const std::wstring& path)
{
    if (path.empty() || !CertificateTableAtEnd(file))
        return false;
    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = path.c_str();
    // The check reads through our handle: what is checked is what we hold.
    fileInfo.hFile = file;
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_REVOCATION_CHECK_CHAIN;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    HWND noUser = static_cast<HWND>(INVALID_HANDLE_VALUE);
    const SignatureCalls& calls = TheSignatureCalls();
    if (calls.verifyTrust == nullptr)
        return false;
    const LONG status = calls.verifyTrust(noUser, &action, &data);
    const bool trusted = status == ERROR_SUCCESS && SignerIsMaker(data.hWVTStateData);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    calls.verifyTrust(noUser, &action, &data);
    return trusted;
}

// The subject's common name, compared as UTF-16 with its whole length: the
// ANSI form maps lookalikes such as a fullwidth letter onto the plain one, and
// a C-string compare would stop at a NUL inside the name.
bool IsMakersCertificate(PCCERT_CONTEXT certificate)
{
    const SignatureCalls& calls = TheSignatureCalls();
    if (certificate == nullptr || calls.certGetNameString == nullptr)
        return false;
    void* commonName = const_cast<char*>(szOID_COMMON_NAME);
    const DWORD needed = calls.certGetNameString(certificate, CERT_NAME_ATTR_TYPE, 0, commonName, nullptr, 0);
    if (needed <= 1)
        return false;
    std::vector<wchar_t> name(needed, L'\0');
    // The count includes the terminating NUL, and any NUL inside the name.
    const DWORD length = calls.certGetNameString(certificate, CERT_NAME_ATTR_TYPE, 0, commonName, name.data(), needed);
    const std::wstring publisher = MakerPublisher();
    return length == needed && !publisher.empty() && std::wstring(name.data(), length - 1) == publisher;
}

