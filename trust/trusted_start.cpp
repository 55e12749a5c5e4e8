// The signature check before every start, and the start under the held file.
#include "trust/trusted_start.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <process.h>

#include <vector>

#include "common/final_path.h"
#include "trust/file_hash.h"
#include "trust/pe_certificates.h"
#include "trust/publisher.h"

namespace {

std::wstring Wide(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::vector<wchar_t> wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
    return std::wstring(wide.data());
}

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
bool SignedByMaker(HANDLE stateData)
{
    CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(stateData);
    if (provider == nullptr)
        return false;
    CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
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

namespace {

bool CheckSignature(HANDLE file, const std::string& path)
{
    if (!CertificateTableAtEnd(file))
        return false;
    const std::wstring widePath = Wide(path);
    if (widePath.empty())
        return false;
    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = widePath.c_str();
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
    const LONG status = WinVerifyTrust(noUser, &action, &data);
    const bool trusted = status == ERROR_SUCCESS && SignedByMaker(data.hWVTStateData);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(noUser, &action, &data);
    return trusted;
}

}  // namespace

// The subject's common name, compared as UTF-16 with its whole length: the
// ANSI form maps lookalikes such as a fullwidth letter onto the plain one, and
// a C-string compare would stop at a NUL inside the name.
bool IsMakersCertificate(PCCERT_CONTEXT certificate)
{
    if (certificate == nullptr)
        return false;
    void* commonName = const_cast<char*>(szOID_COMMON_NAME);
    const DWORD needed = CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, commonName, nullptr, 0);
    if (needed <= 1)
        return false;
    std::vector<wchar_t> name(needed, L'\0');
    // The count includes the terminating NUL, and any NUL inside the name.
    const DWORD length = CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, commonName, name.data(), needed);
    const std::wstring publisher = MakerPublisher();
    return length == needed && !publisher.empty() && std::wstring(name.data(), length - 1) == publisher;
}

namespace {

// The release's hash of the held file, taken through a second handle on the
// same open file (its own file position) while WinVerifyTrust reads the first.
struct BoundHash {
    HANDLE file = nullptr;
    const ReleaseFile* expected = nullptr;
    bool matches = false;
};

unsigned __stdcall HashHeldFile(void* argument)
{
    BoundHash& bound = *static_cast<BoundHash*>(argument);
    bound.matches = FileMatchesRelease(bound.file, *bound.expected);
    return 0;
}

}  // namespace

VerifiedProgram::VerifiedProgram(const std::string& path, const ReleaseFile* expected, HANDLE folder)
    : file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr)),
      trusted(false)
{
    if (!file.Valid() || (folder != nullptr && !LiesInside(file.Get(), folder)))
        return;
    if (expected == nullptr) {
        trusted = CheckSignature(file.Get(), path);
        return;
    }
    // A file of another size is refused before anything reads it whole.
    LARGE_INTEGER size = {};
    if (!expected->bound || !GetFileSizeEx(file.Get(), &size) || (unsigned long long)size.QuadPart != expected->size)
        return;
    const DeviceHandle second(ReOpenFile(file.Get(), GENERIC_READ, FILE_SHARE_READ, 0));
    BoundHash bound;
    bound.file = second.Valid() ? second.Get() : file.Get();
    bound.expected = expected;
    HANDLE thread = second.Valid()
                        ? reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, HashHeldFile, &bound, 0, nullptr))
                        : nullptr;
    const bool signedByMaker = CheckSignature(file.Get(), path);
    if (thread != nullptr) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    } else {
        HashHeldFile(&bound);
    }
    trusted = signedByMaker && bound.matches;
}

StartResult StartTrustedProgram(const std::string& programPath, const std::string& commandLine,
                                const std::string& tempFolder, ProcessHandles& handles,
                                const ReleaseFile* expected, HANDLE workFolder)
{
    if (workFolder == nullptr || workFolder == INVALID_HANDLE_VALUE)
        return StartResult::NotStarted;
    bool refused = false;
    {
        const VerifiedProgram program(programPath, expected, workFolder);
        if (program.Trusted())
            return StartProgram(programPath, commandLine, tempFolder, handles) ? StartResult::Started : StartResult::NotStarted;
        const DeviceHandle present(CreateFileA(programPath.c_str(), FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        refused = present.Valid() && LiesInside(present.Get(), workFolder);
    }
    if (!refused)
        return StartResult::NotStarted;
    DeleteFileA(programPath.c_str());
    return StartResult::Refused;
}
