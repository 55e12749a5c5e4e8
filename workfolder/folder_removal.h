// Removing what lies in our working folders without ever following a link.
// Every folder and file is opened as itself (FILE_FLAG_OPEN_REPARSE_POINT)
// and deleted through that handle; a folder is entered only when both its
// parent's listing and its own handle show a plain folder, and each folder
// stays open, undeletable and unrenamable, while what is below it goes. A link
// is deleted as a link where the handle holds the link itself (Windows); where
// the system follows it on open (Wine), it stays.
#ifndef KUVANA_WORKFOLDER_FOLDER_REMOVAL_H
#define KUVANA_WORKFOLDER_FOLDER_REMOVAL_H

#include <windows.h>

#include <string>
#include <vector>

// One name in a folder, with the attributes its folder lists for it.
struct FolderEntry {
    std::wstring name;
    DWORD attributes = 0;
};

// A folder or file opened as itself.
class HeldEntry {
public:
    HeldEntry() = default;
    ~HeldEntry();
    HeldEntry(const HeldEntry&) = delete;
    HeldEntry& operator=(const HeldEntry&) = delete;

    // Opens `path`, which its folder listed with `listedAttributes`: a folder
    // (by its listing) for listing, its descriptor and deletion without
    // delete sharing, a file for deletion only.
    bool Open(const std::wstring& path, DWORD listedAttributes);
    HANDLE Get() const { return handle; }

    // Neither the listing nor the handle shows a link.
    bool IsPlainFolder() const;
    bool IsPlainFile() const;
    // The handle holds a link itself, not what it points to.
    bool HoldsLink() const;

    // Deleted when the handle closes (a folder only if empty by then): what
    // the handle holds, never what a link points to. A read-only file loses
    // that attribute first.
    bool MarkForDeletion();

    // The names in the held folder, without "." and "..".
    std::vector<FolderEntry> List() const;

private:
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD listed = 0;
    DWORD attributes = 0;
};

// The entry named `name` (ignoring case), or null.
const FolderEntry* FindEntry(const std::vector<FolderEntry>& entries, const std::wstring& name);

// Deletes the entry of the held folder at `parent` with everything below it.
// A link goes only as itself; what cannot be deleted stays.
void RemoveEntry(const std::wstring& parent, const FolderEntry& entry, int depth = 0);

// What a folder's own folder lists for it (`path` without a trailing backslash).
bool ListedAttributes(const std::wstring& path, DWORD& attributes);

#endif
