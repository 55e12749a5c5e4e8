// The class installer's file in the system folder: copied only when the maker
// signed the very bytes copied, and removed again.
#ifndef KUVANA_SETUP_SYSTEM_FILE_H
#define KUVANA_SETUP_SYSTEM_FILE_H

#include <windows.h>

#include <string>

namespace setup {

// The folder this program was started from, without a final backslash; false
// with a message when its path does not fit the calls that follow.
bool OwnFolder(std::wstring* folder, std::string* error);

// The system folder (System32); empty when it cannot be told.
std::wstring SystemFolder();

enum class Copy { Copied, AlreadyThere, Refused, Failed };
// Holds `source` with read sharing only, so nobody can change, replace or
// delete it meanwhile, and checks the maker's signature on it (Refused when
// it is not the maker's). Unless `target` already holds the same bytes, it
// then copies from that held file to a new file beside `target` and moves
// that over `target`: the target is never a half-written file. `what` says
// what happened, or why not.
Copy CopySignedFile(const std::wstring& source, const std::wstring& target, std::string* what);

enum class Removal { Removed, Missing, AtRestart, Failed };
// Deletes the file, or when it is in use (a loaded co-installer) schedules
// its deletion for the next restart.
Removal RemoveFile(const std::wstring& path, DWORD* error);

}  // namespace setup

#endif
