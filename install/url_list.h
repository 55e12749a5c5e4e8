// The downloaded URL list (url_list.txt) and the file names of its addresses.
#ifndef KUVANA_INSTALL_URL_LIST_H
#define KUVANA_INSTALL_URL_LIST_H

#include <fstream>
#include <string>

// The characters after the last '/'; empty when there is none or it ends the text.
std::string FileNameFromUrl(const std::string& url);

// The list's entries are runs of non-blank characters; an entry's key is the
// part before its first ',', its value everything after that comma. A file
// that cannot be opened or read has no entries.
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
