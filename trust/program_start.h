// Starting a program with what it is given, and nothing the caller did not
// choose: its own path, current directory and temporary folder.
#ifndef KUVANA_TRUST_PROGRAM_START_H
#define KUVANA_TRUST_PROGRAM_START_H

#include <string>

#include "common/win_handles.h"

// CreateProcessW of `programPath` itself (the file that was checked, whatever
// the command line says), with a writable copy of `commandLine`, no
// inheritance, the program's own folder as current directory and the caller's
// environment, read in UTF-16 so that no variable passes through the ANSI code
// page, as InstallerEnvironment gives it: TMP and TEMP at `tempFolder`
// (trailing backslash), none of the code-loading variables, and unless we run
// as SYSTEM the system's PATH.
bool StartProgram(const std::string& programPath, const std::string& commandLine, const std::string& tempFolder,
                  ProcessHandles& handles);

#endif
