// Deleting through handles that hold each entry itself, never a link's target.
#include "workfolder/folder_removal.h"

namespace {

// An installer's own temporary folder may hold a deep tree; deeper than this
// is left in place rather than risking the stack.
const int kMaxTreeDepth = 32;

const DWORD kLink = FILE_ATTRIBUTE_REPARSE_POINT;
const DWORD kFolder = FILE_ATTRIBUTE_DIRECTORY;

}  // namespace

HeldEntry::~HeldEntry()
{
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
}

bool HeldEntry::Open(const std::wstring& path, DWORD listedAttributes)
{
    if (handle != INVALID_HANDLE_VALUE)
        return false;
    listed = listedAttributes;
    // A folder is held without delete sharing, so nobody can rename or
    // replace it, or a folder above what we delete, while we work below it.
    const bool folder = (listed & kFolder) != 0;
    const DWORD access = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE |
                         (folder ? FILE_LIST_DIRECTORY | READ_CONTROL : 0);
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | (folder ? 0 : FILE_SHARE_DELETE);
    handle = CreateFileW(path.c_str(), access, sharing, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) {
        CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
        return false;
    }
    attributes = tag.FileAttributes;
    return true;
}

bool HeldEntry::IsPlainFolder() const
{
    return handle != INVALID_HANDLE_VALUE && (listed & (kFolder | kLink)) == kFolder &&
           (attributes & (kFolder | kLink)) == kFolder;
}

bool HeldEntry::IsPlainFile() const
{
    return handle != INVALID_HANDLE_VALUE && (listed & (kFolder | kLink)) == 0 && (attributes & (kFolder | kLink)) == 0;
}

bool HeldEntry::HoldsLink() const
{
    return handle != INVALID_HANDLE_VALUE && (attributes & kLink) != 0;
}

bool HeldEntry::MarkForDeletion()
{
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition))
        return true;
    if (!(attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    // An installer may leave read-only files in its temporary folder.
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = (attributes & ~DWORD(FILE_ATTRIBUTE_READONLY)) ? attributes & ~DWORD(FILE_ATTRIBUTE_READONLY)
                                                                           : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic) &&
           SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
}

std::vector<FolderEntry> HeldEntry::List() const
{
    std::vector<FolderEntry> entries;
    if (!IsPlainFolder())
        return entries;
    // 8-byte aligned, as the records require.
    std::vector<LONGLONG> buffer(8192);
    const DWORD size = DWORD(buffer.size() * sizeof(LONGLONG));
    for (bool first = true;; first = false) {
        if (!GetFileInformationByHandleEx(handle, first ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo,
                                          buffer.data(), size))
            break;
        const BYTE* at = reinterpret_cast<const BYTE*>(buffer.data());
        for (;;) {
            const FILE_ID_BOTH_DIR_INFO* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            FolderEntry entry;
            entry.name.assign(record->FileName, record->FileNameLength / sizeof(WCHAR));
            entry.attributes = record->FileAttributes;
            if (entry.name != L"." && entry.name != L"..")
                entries.push_back(entry);
            if (record->NextEntryOffset == 0)
                break;
            at += record->NextEntryOffset;
        }
    }
    return entries;
}

const FolderEntry* FindEntry(const std::vector<FolderEntry>& entries, const std::wstring& name)
{
    for (const FolderEntry& entry : entries)
        if (CompareStringOrdinal(entry.name.c_str(), int(entry.name.size()), name.c_str(), int(name.size()), TRUE) ==
            CSTR_EQUAL)
            return &entry;
    return nullptr;
}

void RemoveEntry(const std::wstring& parent, const FolderEntry& entry, int depth)
{
    const std::wstring path = parent + L"\\" + entry.name;
    HeldEntry held;
    if (!held.Open(path, entry.attributes))
        return;
    if (held.IsPlainFolder()) {
        if (depth < kMaxTreeDepth)
            for (const FolderEntry& child : held.List())
                RemoveEntry(path, child, depth + 1);
        held.MarkForDeletion();
    } else if (held.IsPlainFile() || held.HoldsLink()) {
        held.MarkForDeletion();
    }
    // Otherwise the listing shows a link the handle does not hold: the
    // system followed it on open, and deleting would reach its target.
}

bool ListedAttributes(const std::wstring& path, DWORD& attributes)
{
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    attributes = found.dwFileAttributes;
    return true;
}
