// A temporary folder of the test's own: the process's TMP and TEMP point into
// it while the object lives, so a test sees exactly which files the code under
// test leaves there. An elevated process's work folders go to the Windows
// folder's Temp instead; the program's own calls find that in the sandbox
// too (WorkRoot), while a test's own processes see the real one.
// Everything is removed at the end.
#ifndef KUVANA_TESTS_TEMP_FOLDER_SANDBOX_H
#define KUVANA_TESTS_TEMP_FOLDER_SANDBOX_H

#include <windows.h>

#include <memory>
#include <set>
#include <string>

class ImportPatch;

class TempFolderSandbox {
public:
    // The folder is <system temp>\kv<pid>_<n>\<leaf>\; `leaf` may hold blanks.
    explicit TempFolderSandbox(const std::string& leaf = "temp");
    ~TempFolderSandbox();
    TempFolderSandbox(const TempFolderSandbox&) = delete;
    TempFolderSandbox& operator=(const TempFolderSandbox&) = delete;

    // The folder as GetTempPathA now gives it (trailing backslash).
    const std::string& Folder() const { return folder; }
    // The folder above it, which belongs to the sandbox too (trailing backslash).
    const std::string& Base() const { return base; }
    std::string Path(const std::string& name) const { return folder + name; }
    // Where the running account's work folders are made: Folder() for a
    // standard account, else the sandbox's own Windows folder's Temp
    // (trailing backslash).
    std::string WorkRoot() const;
    const std::string& WindowsTemp() const { return windowsTemp; }

    // Points TMP and TEMP at a path too long for GetTempPathA, which then
    // gives no folder at all, and makes Base() the current directory, so a
    // stray write to "\\name" lands on the prefix's drive (until the sandbox ends).
    void MakeTempPathUnreadable();

    // Names of the files in Folder(), and of the folders in it.
    std::set<std::string> Files() const;
    std::set<std::string> Folders() const;

private:
    std::string base;
    std::string folder;
    std::string windows, windowsTemp;
    const std::string* outerWindows = nullptr;
    std::unique_ptr<ImportPatch> windowsFolder;
    std::string savedTmp, savedTemp, savedDirectory;
    bool hadTmp = false, hadTemp = false;
};

// The system's own Windows folder's Temp (trailing backslash), where other
// processes of an elevated administrator make their work folders.
std::string SystemWindowsTemp();

// Names of the folders in `folder` (trailing backslash).
std::set<std::string> FoldersIn(const std::string& folder);

// Whole-file helpers for tests.
bool WriteWholeFile(const std::string& path, const std::string& content);
std::string ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);
// The folder of the running test program (trailing backslash): the build's bin.
std::string ProgramFolder();
// Removes a folder and everything below it.
void RemoveTree(const std::string& folder);

#endif
