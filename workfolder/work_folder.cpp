// The private working folder: an unguessable name, a protected DACL, and its
// removal with what we put in it.
#include "workfolder/work_folder.h"

#include <windows.h>
#include <aclapi.h>
#include <bcrypt.h>

#include <memory>
#include <vector>

#include "common/path_text.h"
#include "common/wide_text.h"
#include "common/win_handles.h"
#include "workfolder/folder_removal.h"
#include "workfolder/folder_security.h"
#include "workfolder/temp_folder.h"

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

// True when the folder open as `directory` carries the owner and label a
// folder of ours has (IsOwnFolder): one a standard user, or the same
// administrator unelevated, made is theirs.
bool IsOurFolder(HANDLE directory)
{
    PSID owner = nullptr;
    PACL sacl = nullptr;
    LocalMemory descriptor;
    if (GetSecurityInfo(directory, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION, &owner,
                        nullptr, nullptr, &sacl, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.Out())) !=
            ERROR_SUCCESS ||
        owner == nullptr)
        return false;
    FolderAccount account;
    return ReadFolderAccount(account) && IsOwnFolder(account, owner, MandatoryLabelRid(sacl));
}

// Removes the program's folder of a stale working folder at `folder`: false
// when the program is there and cannot be deleted (held by a launch, or
// running), or when something other than a plain folder has its name.
bool RemoveProgramFolder(const std::wstring& folder, const FolderEntry& entry, const std::wstring& fileName)
{
    const std::wstring path = folder + L"\\" + entry.name;
    HeldEntry program;
    if (!program.Open(path, entry.attributes) || !program.IsPlainFolder())
        return false;
    const std::vector<FolderEntry> names = program.List();
    if (const FolderEntry* file = FindEntry(names, fileName)) {
        HeldEntry held;
        if (!held.Open(path + L"\\" + file->name, file->attributes) || !held.IsPlainFile() || !held.MarkForDeletion())
            return false;
    }
    // Goes when closed, and only if nothing else is left in it.
    program.MarkForDeletion();
    return true;
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
    if (!ReadWorkRoot(root) || hex.empty())
        return;
    const std::string folder = root + prefix + hex;
    // The folder must hold at least a one-character name. Each file's own
    // path is held to MAX_PATH by the download job (104000) as it is made, so
    // a long temporary folder costs only the names that no longer fit.
    if (!DownloadPathFits(folder + "\\", 1) || !CreatePrivateDirectory(folder))
        return;
    std::unique_ptr<HeldEntry> hold(new HeldEntry);
    if (!hold->Open(WideFromAnsi(folder), FILE_ATTRIBUTE_DIRECTORY) || !hold->IsPlainFolder()) {
        RemoveDirectoryA(folder.c_str());
        return;
    }
    held = std::move(hold);
    path = folder + "\\";
}

HANDLE WorkFolder::Handle() const
{
    return held ? held->Get() : nullptr;
}

void WorkFolder::Keep()
{
    held.reset();
    path.clear();
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
    std::wstring path = WideFromAnsi(folder);
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    DWORD listed = 0;
    HeldEntry held;
    if (path.empty() || !ListedAttributes(path, listed) || !held.Open(path, listed) || !held.IsPlainFolder())
        return;
    for (const FolderEntry& entry : held.List())
        RemoveEntry(path, entry);
    held.MarkForDeletion();
}

WorkFolder::~WorkFolder()
{
    // Runs while an out-of-memory exception unwinds the sequence, too: a throw
    // from here would end the framework's process.
    try {
        if (held) {
            // Through the folder held since its creation: it goes when the
            // handle closes, and only if nothing is left in it.
            std::wstring folder = WideFromAnsi(path);
            folder.pop_back();
            for (const FolderEntry& entry : held->List())
                RemoveEntry(folder, entry);
            held->MarkForDeletion();
        }
    } catch (...) {
    }
}

void RemoveStaleWorkFolders(const char* prefix, const char* programSubfolder, const char* fileName,
                            unsigned minimumAgeSeconds)
{
    std::string root;
    if (!ReadWorkRoot(root))
        return;
    std::vector<FolderEntry> candidates;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((root + prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (IsWorkFolderName(found.cFileName, prefix)) {
            FolderEntry entry;
            entry.name = WideFromAnsi(root + found.cFileName);
            entry.attributes = found.dwFileAttributes;
            candidates.push_back(entry);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);

    const std::wstring program = WideFromAnsi(programSubfolder);
    const std::wstring file = WideFromAnsi(fileName);
    const std::wstring programTemp = WideFromAnsi(TempSubfolderName(programSubfolder));
    for (const FolderEntry& candidate : candidates) {
        // Held open without delete sharing from the check to the removal, so
        // the folder checked is the folder removed; it goes when the handle
        // closes, and only if nothing is left in it.
        HeldEntry folder;
        // A folder younger than that may belong to a launch still between
        // its download and its start.
        if (!folder.Open(candidate.name, candidate.attributes) || !folder.IsPlainFolder() ||
            !IsOurFolder(folder.Get()) || !OldEnough(folder.Get(), minimumAgeSeconds))
            continue;
        const std::vector<FolderEntry> entries = folder.List();
        // A net installer still running from its folder keeps the file open,
        // as does a launch from its download to its start; the folder stays
        // until a later launch.
        const FolderEntry* programEntry = FindEntry(entries, program);
        if (programEntry != nullptr && !RemoveProgramFolder(candidate.name, *programEntry, file))
            continue;
        // Only our own layout goes: anything else keeps the folder.
        if (const FolderEntry* temp = FindEntry(entries, programTemp))
            RemoveEntry(candidate.name, *temp);
        folder.MarkForDeletion();
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
