// The co-installer lists the setup program edits: REG_MULTI_SZ values of
// "dll,entry" strings, as value functions on their UTF-16 units and entries.
// Entries stay the units they were: an entry in any script is written back
// exactly as it was read.
#ifndef KUVANA_SETUP_COINSTALLER_LIST_H
#define KUVANA_SETUP_COINSTALLER_LIST_H

#include <string>
#include <vector>

namespace setup {

// The strings of a REG_MULTI_SZ value's units, up to its first empty string.
// A value that lacks its final NULs (written by hand) still yields its last string.
std::vector<std::wstring> ParseMultiString(const std::wstring& units);

// The units of a REG_MULTI_SZ value holding these strings (each NUL-terminated,
// then one more NUL).
std::wstring BuildMultiString(const std::vector<std::wstring>& entries);

// True when the entry's DLL is one of this product's class installers,
// whatever its version: "kuvana_coinst.dll" or "kuvana_coinst_<version>.dll",
// with or without a folder, in any case.
bool NamesOurCoInstaller(const std::wstring& entry);

// The list with `entry` appended. Entries naming another version of our DLL
// go, so that the framework never calls two of them; every other entry stays
// where it was. Unchanged when the entry is already there (in any case).
std::vector<std::wstring> WithEntry(const std::vector<std::wstring>& entries, const std::wstring& entry);

// The list without `entry` (compared ignoring case); all else stays.
std::vector<std::wstring> WithoutEntry(const std::vector<std::wstring>& entries, const std::wstring& entry);

}  // namespace setup

#endif
