// The temporary folder the install steps download into and start from.
#ifndef KUVANA_WORKFOLDER_TEMP_FOLDER_H
#define KUVANA_WORKFOLDER_TEMP_FOLDER_H

#include <windows.h>

#include <string>

// GetTempPath2A (GetTempPathA where the system lacks it) into a MAX_PATH
// buffer: the folder with its trailing backslash.
// False when the system gives none that fits; callers then write nowhere
// rather than into the current drive's root.
bool ReadTempFolder(std::string& folder);

// Paths and command lines are ANSI throughout; what must pass through no code
// page (the environment, names an installer left) is handled wide. Empty when
// `text` is empty or cannot be converted.
std::wstring WideFromAnsi(const std::string& text);

// Owns the two handles CreateProcess gives back.
class ProcessHandles {
public:
    ProcessHandles() : info() {}
    ~ProcessHandles();
    ProcessHandles(const ProcessHandles&) = delete;
    ProcessHandles& operator=(const ProcessHandles&) = delete;

    PROCESS_INFORMATION* Out() { return &info; }
    HANDLE Process() const { return info.hProcess; }

private:
    PROCESS_INFORMATION info;
};

// CreateProcessW of `programPath` itself (the file that was checked, whatever
// the command line says), with a writable copy of `commandLine`, no
// inheritance, the program's own folder as current directory and the caller's
// environment, read in UTF-16 so that no variable passes through the ANSI code
// page, with TMP and TEMP at `tempFolder` (trailing backslash).
bool StartProgram(const std::string& programPath, const std::string& commandLine, const std::string& tempFolder,
                  ProcessHandles& handles);

#endif
