// The private working folder: an unguessable name, a protected DACL, and its
// removal with what we put in it.
#include "install/work_folder.h"

#include <windows.h>
#include <aclapi.h>
#include <bcrypt.h>

#include <vector>

#include "install/command_lines.h"
#include "install/folder_security.h"
#include "install/temp_folder.h"
#include "probe/win_handles.h"

const char kSequenceFolderPrefix[] = "KuvanaSetup-";
const char kNetInstallerFolderPrefix[] = "KuvanaNet-";
const char kResponseSubfolder[] = "response";
const char kNetInstallerSubfolder[] = "net";

std::string TempSubfolderName(const std::string& programSubfolder)
{
    return programSubfolder + "-temp";
}

namespace {

// 64 random bits: unguessable inside a folder nobody else may write to, and
// short, since the name lengthens every path of the sequence.
const int kRandomBytes = 8;

class LocalMemory {
public:
    LocalMemory() = default;
    ~LocalMemory()
    {
        if (memory != nullptr)
            LocalFree(memory);
    }
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;
    HLOCAL* Out() { return &memory; }

private:
    HLOCAL memory = nullptr;
};

class RngProvider {
public:
    RngProvider() = default;
    ~RngProvider()
    {
        if (handle != nullptr)
            BCryptCloseAlgorithmProvider(handle, 0);
    }
    RngProvider(const RngProvider&) = delete;
    RngProvider& operator=(const RngProvider&) = delete;
    BCRYPT_ALG_HANDLE handle = nullptr;
};

std::string RandomHex()
{
    BYTE bytes[kRandomBytes] = {};
    if (!RandomBytes(bytes, sizeof bytes, true))
        return std::string();
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (BYTE b : bytes) {
        hex.push_back(digits[b >> 4]);
        hex.push_back(digits[b & 15]);
    }
    return hex;
}

// Creates `folder` (no trailing backslash) with the protected DACL; fails when
// anything of that name exists already.
bool CreatePrivateDirectory(const std::string& folder)
{
    std::vector<BYTE> descriptor;
    if (!BuildWorkFolderSecurity(descriptor))
        return false;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.data(), FALSE};
    return CreateDirectoryA(folder.c_str(), &attributes) != FALSE;
}

// An installer's own temporary folder may hold a deep tree; deeper than this
// is left in place rather than risking the stack.
const int kMaxTreeDepth = 32;

// Deletes everything below `folder` (trailing backslash). A link is removed
// as what it is, never entered.
void RemoveContents(const std::string& folder, int depth)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string path = folder + name;
        const DWORD attributes = found.dwFileAttributes;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && depth < kMaxTreeDepth)
                RemoveContents(path + "\\", depth + 1);
            RemoveDirectoryA(path.c_str());
        } else if (!DeleteFileA(path.c_str()) && (attributes & FILE_ATTRIBUTE_READONLY) &&
                   !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            // An installer may leave read-only files in its temporary folder.
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// True when the folder open as `directory` was created at least `seconds` ago.
bool OldEnough(HANDLE directory, unsigned seconds)
{
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(directory, &information))
        return false;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG created =
        (ULONGLONG(information.ftCreationTime.dwHighDateTime) << 32) | information.ftCreationTime.dwLowDateTime;
    const ULONGLONG current = (ULONGLONG(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    const ULONGLONG ticksPerSecond = 10000000;
    return current >= created && current - created >= ULONGLONG(seconds) * ticksPerSecond;
}

// True when the folder open as `directory` is a real folder (not a link)
// owned by one of the trusted accounts: one a standard user made is theirs.
bool IsOurFolder(HANDLE directory)
{
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(directory, &information) ||
        !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    PSID owner = nullptr;
    LocalMemory descriptor;
    if (GetSecurityInfo(directory, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.Out())) != ERROR_SUCCESS ||
        owner == nullptr)
        return false;
    std::vector<BYTE> sids[3];
    if (!TrustedSids(sids))
        return false;
    for (std::vector<BYTE>& sid : sids)
        if (EqualSid(owner, sid.data()))
            return true;
    return false;
}

}  // namespace

bool IsWorkFolderName(const std::string& name, const std::string& prefix)
{
    if (name.size() != prefix.size() + 2 * kRandomBytes || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    for (std::string::size_type i = prefix.size(); i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

WorkFolder::WorkFolder(const char* prefix)
{
    std::string root;
    const std::string hex = RandomHex();
    if (!ReadTempFolder(root) || hex.empty())
        return;
    const std::string folder = root + prefix + hex;
    // The folder must hold at least a one-character name. Each file's own
    // path is held to MAX_PATH by the download job (104000) as it is made, so
    // a long temporary folder costs only the names that no longer fit.
    if (!DownloadPathFits(folder + "\\", 1) || !CreatePrivateDirectory(folder))
        return;
    path = folder + "\\";
}

std::string WorkFolder::MakeSubfolder(const std::string& name) const
{
    const std::string folder = path + name;
    if (path.empty() || name.empty() || !DownloadPathFits(folder + "\\", 1) || !CreatePrivateDirectory(folder))
        return std::string();
    return folder + "\\";
}

void RemoveFolderTree(const std::string& folder)
{
    RemoveContents(folder, 0);
    RemoveDirectoryA(folder.c_str());
}

WorkFolder::~WorkFolder()
{
    // Runs while an out-of-memory exception unwinds the sequence, too: a throw
    // from here would end the framework's process.
    try {
        if (!path.empty())
            RemoveFolderTree(path);
    } catch (...) {
    }
}

void RemoveStaleWorkFolders(const char* prefix, const char* programSubfolder, const char* fileName,
                            unsigned minimumAgeSeconds)
{
    std::string root;
    if (!ReadTempFolder(root))
        return;
    std::vector<std::string> candidates;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((root + prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsWorkFolderName(found.cFileName, prefix))
            candidates.push_back(root + found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);

    for (const std::string& folder : candidates) {
        // Held open without delete sharing from the check to the removal, so
        // the folder checked is the folder removed; it goes when the handle
        // closes, and only if nothing is left in it.
        DeviceHandle directory(CreateFileA(folder.c_str(), DELETE | FILE_READ_ATTRIBUTES | READ_CONTROL,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        // A folder younger than that may belong to a launch still between
        // its download and its start.
        if (!directory.Valid() || !IsOurFolder(directory.Get()) || !OldEnough(directory.Get(), minimumAgeSeconds))
            continue;
        // A net installer still running from its folder keeps the file open,
        // as does a launch from its download to its start; the folder stays
        // until a later launch.
        const std::string file = folder + "\\" + programSubfolder + "\\" + fileName;
        if (GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES && !DeleteFileA(file.c_str()))
            continue;
        // Only our own layout goes: anything else keeps the folder.
        RemoveDirectoryA((folder + "\\" + programSubfolder).c_str());
        RemoveFolderTree(folder + "\\" + TempSubfolderName(programSubfolder) + "\\");
        FILE_DISPOSITION_INFO disposition = {TRUE};
        SetFileInformationByHandle(directory.Get(), FileDispositionInfo, &disposition, sizeof disposition);
    }
}

bool RandomBytes(unsigned char* bytes, unsigned long size, bool systemPreferred)
{
    if (systemPreferred && BCRYPT_SUCCESS(BCryptGenRandom(nullptr, bytes, size, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        return true;
    RngProvider rng;
    return BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&rng.handle, BCRYPT_RNG_ALGORITHM, nullptr, 0)) &&
           BCRYPT_SUCCESS(BCryptGenRandom(rng.handle, bytes, size, 0));
}
