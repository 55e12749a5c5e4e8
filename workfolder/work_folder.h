// A private working folder under the work root (ReadWorkRoot), one per
// install sequence and per net-installer launch. The root is writable by
// every user (C:\Windows\Temp for an elevated administrator); the folder
// keeps what we download away from anything they can create, replace or plant.
#ifndef KUVANA_WORKFOLDER_WORK_FOLDER_H
#define KUVANA_WORKFOLDER_WORK_FOLDER_H

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "workfolder/folder_security.h"

class HeldEntry;

// Folder name prefixes: the sequence's and the net installer's.
extern const char kSequenceFolderPrefix[];
extern const char kNetInstallerFolderPrefix[];

// Inside a working folder every program lies alone in a subfolder of its own
// (a sequence's package "kps", "kl", "pcsc_b"; the net installer's "net"),
// since the loader takes DLLs from a program's own folder. The program's TMP
// and TEMP are the subfolder <name>-temp beside it. A sequence's response
// files lie together in "response".
extern const char kResponseSubfolder[];
extern const char kNetInstallerSubfolder[];
std::string TempSubfolderName(const std::string& programSubfolder);

// <prefix> followed by 16 hex digits from the system's random generator.
// CreateDirectory makes it, so an existing folder or link of that name is an
// error, never reused. It is protected as BuildWorkFolderSecurity describes,
// and held open without delete sharing from its creation to its removal, so
// nobody can rename it, or put another folder in its place, while it is ours.
class WorkFolder {
public:
    explicit WorkFolder(const char* prefix);
    // Removes the folder with the files in it, unless Keep() was called.
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    // The folder with its trailing backslash; empty when it could not be created.
    const std::string& Path() const { return path; }
    // The held folder (null without one): what is opened in it is checked
    // against it (common/final_path.h).
    HANDLE Handle() const;
    // Leaves the folder in place and lets go of it: a started net installer
    // runs from it.
    void Keep();

    // Makes the subfolder `name` (a plain name) with the same protection,
    // right before it is needed: its path with a trailing backslash, empty
    // when there is no working folder or anything of that name exists already.
    std::string MakeSubfolder(const std::string& name) const;

private:
    std::string path;
    std::unique_ptr<HeldEntry> held;
};

// Removes earlier net-installer folders of ours, in the work root, that
// nothing holds open any more: a folder that is ours by name pattern, owner and not being a link, at
// least `minimumAgeSeconds` old, whose program `programSubfolder`\`fileName`
// is gone or can be deleted. Then only that program's folder and its
// <name>-temp go, and the folder itself if nothing else is left in it.
constexpr unsigned kStaleFolderSeconds = 60;
void RemoveStaleWorkFolders(const char* prefix, const char* programSubfolder, const char* fileName,
                            unsigned minimumAgeSeconds = kStaleFolderSeconds);

// Deletes `folder` (trailing backslash) with everything below it. Links are
// removed as links, never followed; whatever cannot be deleted stays.
void RemoveFolderTree(const std::string& folder);

// Pure name rule: prefix followed by exactly 16 hex digits.
bool IsWorkFolderName(const std::string& name, const std::string& prefix);

// Fills `bytes` from the system's random generator: the system-preferred one,
// else (Windows 6.0 before SP2, where that fails) an RNG algorithm handle.
// `systemPreferred` false goes to the handle at once.
bool RandomBytes(unsigned char* bytes, unsigned long size, bool systemPreferred);

#endif
