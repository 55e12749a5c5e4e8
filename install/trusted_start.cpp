// The signature check before every start, and the start under the held file.
#include "install/trusted_start.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstring>
#include <vector>

#include "install/settings.h"

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

// The signer's certificate is the first of its chain; its subject's common
// name must be the maker's publisher, byte for byte.
bool SignedByMaker(HANDLE stateData)
{
    CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(stateData);
    if (provider == nullptr)
        return false;
    CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
    if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr ||
        signer->pasCertChain[0].pCert == nullptr)
        return false;
    char name[256] = {};
    const DWORD length = CertGetNameStringA(signer->pasCertChain[0].pCert, CERT_NAME_ATTR_TYPE, 0,
                                            const_cast<char*>(szOID_COMMON_NAME), name, sizeof name);
    return length > 1 && std::strcmp(name, kMakerPublisher) == 0;
}

bool CheckSignature(HANDLE file, const std::string& path)
{
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

VerifiedProgram::VerifiedProgram(const std::string& path) : file(INVALID_HANDLE_VALUE), trusted(false)
{
    file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
    if (file != INVALID_HANDLE_VALUE)
        trusted = CheckSignature(file, path);
}

VerifiedProgram::~VerifiedProgram()
{
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

StartResult StartTrustedProgram(const std::string& programPath, const std::string& commandLine,
                                const std::string& tempFolder, ProcessHandles& handles)
{
    bool refused = false;
    {
        const VerifiedProgram program(programPath);
        if (program.Trusted())
            return StartProgram(programPath, commandLine, tempFolder, handles) ? StartResult::Started : StartResult::NotStarted;
        refused = GetFileAttributesA(programPath.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    if (!refused)
        return StartResult::NotStarted;
    DeleteFileA(programPath.c_str());
    return StartResult::Refused;
}
