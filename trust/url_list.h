// The downloaded URL list (url_list.txt) and the file names of its addresses.
#ifndef KUVANA_TRUST_URL_LIST_H
#define KUVANA_TRUST_URL_LIST_H

#include <string>
#include <utility>
#include <vector>

#include "trust/release_caps.h"

// The characters after the last '/'; empty when there is none or it ends the text.
std::string FileNameFromUrl(const std::string& url);

// A plain local file name: 1 to 64 printable ASCII characters without those
// Windows reserves (\ / : * ? " < > |), not starting or ending with '.' or a
// blank, and no device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-COM9,
// LPT1-LPT9, with or without an extension). Anything else could leave the
// working folder, name a device or be read differently by the file system (a
// code-page 932 trail byte 0x5C is a backslash to it).
bool IsPlainFileName(const std::string& name);

// FileNameFromUrl when that is a plain file name; empty otherwise, which
// counts as a missing key.
std::string PlainFileNameFromUrl(const std::string& url);

// A package file's name: PlainFileNameFromUrl when it also ends in `suffix`
// (".exe" for an installer, ".iss" for a response file) in any case; empty
// otherwise.
std::string PackageFileName(const std::string& url, const char* suffix);

// Empties every name that equals another one ignoring case: such entries
// count as missing, as the file system would take them for one file. Only
// names that would share one folder are given together.
void ClearDuplicateNames(std::string* const* names, std::size_t count);

// Entries longer than this are skipped: no address the server needs is that long.
constexpr std::size_t kMaxUrlListEntry = 2048;

// The list's entries are runs of non-blank characters (blanks as the "C"
// locale classes them); an entry's key is the part before its first ',', its
// value everything after that comma. Entries longer than kMaxUrlListEntry are
// skipped. The list works on bytes already read and checked, never on the
// file again.
class UrlList {
public:
    UrlList() = default;
    explicit UrlList(const std::string& text);
    // The value of the first entry whose key equals `key`; empty when none.
    std::string Lookup(const std::string& key) const;
    // Every entry's value for `key`, in order.
    std::vector<std::string> Values(const std::string& key) const;
    // Whether any entry has `key`.
    bool Names(const std::string& key) const;

private:
    std::vector<std::pair<std::string, std::string>> entries;
};

#endif
