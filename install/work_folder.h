// A private working folder under the temporary folder, one per install
// sequence and per net-installer launch. The temporary folder of an elevated
// process is writable by every user (C:\Windows\Temp for SYSTEM); the folder
// keeps what we download away from anything they can create, replace or plant.
#ifndef KUVANA_INSTALL_WORK_FOLDER_H
#define KUVANA_INSTALL_WORK_FOLDER_H

#include <string>
#include <vector>

// Folder name prefixes: the sequence's and the net installer's.
extern const char kSequenceFolderPrefix[];
extern const char kNetInstallerFolderPrefix[];

// <prefix> followed by 16 hex digits from the system's random generator.
// CreateDirectory makes it, so an existing folder or link of that name is an
// error, never reused. Its DACL is protected (nothing inherited) and grants
// SYSTEM, Administrators and the running account only, which files created in
// it inherit; the running account is its owner.
class WorkFolder {
public:
    explicit WorkFolder(const char* prefix);
    // Removes the folder with the files in it, unless Keep() was called.
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    bool Created() const { return !path.empty(); }
    // The folder with its trailing backslash; empty when it could not be created.
    const std::string& Path() const { return path; }
    // Leaves the folder in place: a started net installer runs from it.
    void Keep() { path.clear(); }

private:
    std::string path;
};

// Removes earlier net-installer folders of ours that nothing holds open any
// more: a folder that is ours by name pattern, owner and not being a link,
// holding at most `fileName`. Anything else is left untouched.
void RemoveStaleWorkFolders(const char* prefix, const char* fileName);

// The security descriptor a working folder is created with, self-relative:
// owner the running account, a protected DACL granting full control (inherited
// by what is created inside) to SYSTEM, Administrators and the running account.
bool BuildWorkFolderSecurity(std::vector<unsigned char>& selfRelative);

// Pure name rule: prefix followed by exactly 16 hex digits.
bool IsWorkFolderName(const std::string& name, const std::string& prefix);

// Fills `bytes` from the system's random generator: the system-preferred one,
// else (Windows 6.0 before SP2, where that fails) an RNG algorithm handle.
// `systemPreferred` false goes to the handle at once.
bool RandomBytes(unsigned char* bytes, unsigned long size, bool systemPreferred);

#endif
