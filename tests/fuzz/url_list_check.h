// Checks UrlList::Lookup on one list content against a plain model of the
// format: entries split at " \t\n\v\f\r", key before the first ',', first match
// wins. Shared by the libFuzzer target and the bounded random test.
#ifndef KUVANA_TESTS_URL_LIST_CHECK_H
#define KUVANA_TESTS_URL_LIST_CHECK_H

#include <cstring>
#include <string>
#include <vector>

#include "trust/url_list.h"

namespace url_list_check {

inline std::string ModelLookup(const std::string& content, const std::string& key)
{
    size_t i = 0;
    while (i < content.size()) {
        while (i < content.size() && strchr(" \t\n\v\f\r", content[i]) != nullptr && content[i] != '\0')
            ++i;
        size_t end = i;
        while (end < content.size() && (content[end] == '\0' || strchr(" \t\n\v\f\r", content[end]) == nullptr))
            ++end;
        const std::string entry = content.substr(i, end - i);
        i = end;
        const size_t comma = entry.find(',');
        if (comma != std::string::npos && entry.substr(0, comma) == key)
            return entry.substr(comma + 1);
    }
    return std::string();
}

// The keys worth asking for a given content: the six real ones, and the keys
// of the content's own first entries (so matches are common, not rare).
inline std::vector<std::string> KeysFor(const std::string& content)
{
    std::vector<std::string> keys = {"KPS_ISS", "KPS_EXE", "KL_ISS", "KL_EXE", "PCSC_B_ISS", "PCSC_B_EXE", ""};
    size_t pos = 0;
    for (int n = 0; n < 4; ++n) {
        const size_t comma = content.find(',', pos);
        if (comma == std::string::npos)
            break;
        const size_t start = content.find_last_of(" \t\n\v\f\r", comma);
        keys.push_back(content.substr(start == std::string::npos ? 0 : start + 1,
                                      comma - (start == std::string::npos ? 0 : start + 1)));
        pos = comma + 1;
    }
    return keys;
}

// Looks every key up twice on one UrlList of `content`, and returns the
// first mismatch as text (empty when all agree).
inline std::string Check(const std::string& content)
{
    const UrlList list(content);
    const std::vector<std::string> keys = KeysFor(content);
    for (int round = 0; round < 2; ++round) {
        for (const std::string& key : keys) {
            const std::string got = list.Lookup(key);
            const std::string want = ModelLookup(content, key);
            if (got != want)
                return "key '" + key + "': got '" + got + "', want '" + want + "'";
        }
    }
    return std::string();
}

}  // namespace url_list_check

#endif
