// The downloaded URL list (url_list.txt) and the file names of its addresses.
#ifndef KUVANA_INSTALL_URL_LIST_H
#define KUVANA_INSTALL_URL_LIST_H

#include <fstream>
#include <string>

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
// count as missing, as the file system would take them for one file.
void ClearDuplicateNames(std::string* const* names, std::size_t count);

// Entries longer than this are skipped: no address the server needs is that long.
constexpr std::size_t kMaxUrlListEntry = 2048;
// Size bound of the downloaded list itself.
constexpr unsigned long kMaxUrlListBytes = 64 * 1024;

// The list's entries are runs of non-blank characters; an entry's key is the
// part before its first ',', its value everything after that comma. A file
// that cannot be opened or read has no entries; entries longer than
// kMaxUrlListEntry are skipped.
class UrlList {
public:
    explicit UrlList(const std::string& path);
    // The value of the first entry whose key equals `key`; empty when none.
    // Each lookup reads the file from its start.
    std::string Lookup(const std::string& key);
    void Close();

private:
    std::ifstream file;
};

#endif
