// The signature check before every start, and the start under the held file.
#include "trust/trusted_start.h"

#include <process.h>

#include <vector>

#include "common/final_path.h"
#include "trust/file_hash.h"

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

bool CheckSignature(HANDLE file, const std::string& path)
{
    const std::wstring widePath = Wide(path);
    return !widePath.empty() && SignedByMaker(file, widePath);
}

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
