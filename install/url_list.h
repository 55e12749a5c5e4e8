// The downloaded URL list (url_list.txt) and the file names of its addresses.
#ifndef KUVANA_INSTALL_URL_LIST_H
#define KUVANA_INSTALL_URL_LIST_H

#include <fstream>
#include <string>

// The characters after the last '/'; empty when there is none or it ends the text.
std::string FileNameFromUrl(const std::string& url);

class UrlList {
public:
    explicit UrlList(const std::string& path);
    // The value of the first entry whose key equals `key`; empty when none.
    std::string Lookup(const std::string& key);
    void Close();

private:
    std::ifstream file;
};

#endif
