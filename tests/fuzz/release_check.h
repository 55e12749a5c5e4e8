// Checks ParseRelease on one list content against a plain model of the
// release lines: a list is read exactly when it is well formed, and then
// with the model's values. Shared by the libFuzzer target and the bounded
// random test.
#ifndef KUVANA_TESTS_RELEASE_CHECK_H
#define KUVANA_TESTS_RELEASE_CHECK_H

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "trust/release.h"

namespace release_check {

// Every value of every key, entries split at " \t\n\v\f\r", the key before
// the first ',', entries over 2,048 characters left out.
inline std::map<std::string, std::vector<std::string>> ModelEntries(const std::string& content)
{
    std::map<std::string, std::vector<std::string>> entries;
    size_t i = 0;
    while (i < content.size()) {
        while (i < content.size() && content[i] != '\0' && std::strchr(" \t\n\v\f\r", content[i]) != nullptr)
            ++i;
        size_t end = i;
        while (end < content.size() && (content[end] == '\0' || std::strchr(" \t\n\v\f\r", content[end]) == nullptr))
            ++end;
        const std::string entry = content.substr(i, end - i);
        i = end;
        const size_t comma = entry.find(',');
        if (comma != std::string::npos && entry.size() <= 2048)
            entries[entry.substr(0, comma)].push_back(entry.substr(comma + 1));
    }
    return entries;
}

inline bool AllDigits(const std::string& text, size_t maxDigits)
{
    if (text.empty() || text.size() > maxDigits)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Seconds since 1970 (negative before it) by walking the calendar; false
// when not a real UTC time.
inline bool ModelTime(const std::string& t, long long& seconds)
{
    if (t.size() != 20 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' || t[19] != 'Z')
        return false;
    for (size_t at : {0u, 5u, 8u, 11u, 14u, 17u})
        if (!AllDigits(t.substr(at, at == 0 ? 4 : 2), 4))
            return false;
    const int year = std::stoi(t.substr(0, 4)), month = std::stoi(t.substr(5, 2)), day = std::stoi(t.substr(8, 2));
    const int hour = std::stoi(t.substr(11, 2)), minute = std::stoi(t.substr(14, 2)), second = std::stoi(t.substr(17, 2));
    auto daysIn = [](int y, int m) {
        static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        return kDays[m - 1] + (m == 2 && leap ? 1 : 0);
    };
    if (month < 1 || month > 12 || day < 1 || day > daysIn(year, month) || hour > 23 || minute > 59 || second > 59)
        return false;
    long long days = 0;
    for (int y = 1970; y < year; ++y)
        days += 365 + (((y % 4 == 0 && y % 100 != 0) || y % 400 == 0) ? 1 : 0);
    for (int y = year; y < 1970; ++y)
        days -= 365 + (((y % 4 == 0 && y % 100 != 0) || y % 400 == 0) ? 1 : 0);
    for (int m = 1; m < month; ++m)
        days += daysIn(year, m);
    days += day - 1;
    seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

// The one value of `key` ("" and false when missing or ambiguous).
inline bool One(const std::map<std::string, std::vector<std::string>>& entries, const std::string& key,
                std::string& value, bool& present)
{
    const auto found = entries.find(key);
    present = found != entries.end();
    if (!present)
        return true;
    for (const std::string& other : found->second)
        if (other != found->second.front())
            return false;
    value = found->second.front();
    return true;
}

// Empty when ParseRelease agrees with the model on `content`.
inline std::string Check(const std::string& content)
{
    const auto entries = ModelEntries(content);
    bool good = true;
    std::string serial, expires, language;
    bool present = false;
    good = One(entries, "RELEASE_SERIAL", serial, present) && present && AllDigits(serial, 18) && good;
    long long expiresAt = 0;
    good = One(entries, "RELEASE_EXPIRES", expires, present) && present && ModelTime(expires, expiresAt) && good;
    good = One(entries, "RELEASE_LANGUAGE", language, present) && present &&
           (language == "en" || language == "ja" || language == "all") && good;
    static const char* const keys[] = {"KPS_ISS", "KPS_EXE", "KL_ISS", "KL_EXE", "PCSC_B_ISS", "PCSC_B_EXE",
                                       "NET_EXE"};
    std::string sizes[7];
    for (int k = 0; k < 7; ++k) {
        const std::string key = keys[k];
        const bool named = k == 6 || entries.count(key) != 0;
        std::string hash;
        bool hashPresent = false, sizePresent = false;
        good = One(entries, key + "_SHA256", hash, hashPresent) && good;
        good = One(entries, key + "_SIZE", sizes[k], sizePresent) && good;
        good = hashPresent == sizePresent && (!named || hashPresent) && good;
        if (hashPresent)
            good = hash.size() == 64 && hash.find_first_not_of("0123456789abcdef") == std::string::npos && good;
        if (sizePresent) {
            const unsigned long long cap = key.size() > 4 && key.compare(key.size() - 4, 4, "_ISS") == 0
                                               ? kMaxResponseBytes
                                               : kMaxInstallerBytes;
            good = AllDigits(sizes[k], 10) && std::stoull(sizes[k]) <= cap && good;
        }
    }
    std::string retired;
    bool retires = false;
    good = One(entries, "RELEASE_RETIRES", retired, retires) && good;
    if (retires)
        good = retired.size() == 64 && retired.find_first_not_of("0123456789abcdef") == std::string::npos && good;
    Release release;
    std::string fault;
    const bool parsed = ParseRelease(UrlList(content), release, fault);
    if (parsed != good)
        return std::string("parsed ") + (parsed ? "true" : "false: " + fault) + ", the model says " +
               (good ? "well formed" : "malformed");
    if (!parsed)
        return fault.empty() ? "refused without a fault" : std::string();
    if (std::to_string(release.serial) != std::to_string(std::stoull(serial)) ||
        release.expires != expiresAt || release.japanese != (language == "ja") ||
        release.everyLanguage != (language == "all"))
        return "values differ from the model";
    if (release.retires != retires)
        return "RELEASE_RETIRES read where the model has none, or missed";
    static const char kHex[] = "0123456789abcdef";
    for (size_t i = 0; retires && i < kSha256Bytes; ++i)
        if (kHex[release.retiredPin[i] >> 4] != retired[2 * i] || kHex[release.retiredPin[i] & 15] != retired[2 * i + 1])
            return "the retired pin differs";
    for (int k = 0; k < 7; ++k)
        if (release.files[k].bound && std::to_string(release.files[k].size) != std::to_string(std::stoull(sizes[k])))
            return std::string("size of ") + keys[k] + " differs";
    return std::string();
}

}  // namespace release_check

#endif
