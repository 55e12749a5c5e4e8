// The release lines of a signed URL list. Pure: no Windows calls.
#include "trust/release.h"

#include <cstring>
#include <vector>

namespace {

const char* const kFileKeys[kReleaseFileCount] = {"KPS_ISS",    "KPS_EXE",    "KL_ISS", "KL_EXE",
                                                  "PCSC_B_ISS", "PCSC_B_EXE", "NET_EXE"};

bool Digit(char c)
{
    return c >= '0' && c <= '9';
}

// Decimal digits only, 1 to `maxDigits` of them.
bool ParseDecimal(const std::string& text, std::size_t maxDigits, unsigned long long& value)
{
    if (text.empty() || text.size() > maxDigits)
        return false;
    value = 0;
    for (char c : text) {
        if (!Digit(c))
            return false;
        value = value * 10 + unsigned(c - '0');
    }
    return true;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

bool ParseSha256(const std::string& text, unsigned char (&digest)[kSha256Bytes])
{
    if (text.size() != 2 * kSha256Bytes)
        return false;
    for (std::size_t i = 0; i < kSha256Bytes; ++i) {
        const int high = HexValue(text[2 * i]);
        const int low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        digest[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

namespace {

// The one value of `key`: false when it is missing (and required) or given
// twice with different values. An identical repetition does no harm.
bool SingleValue(const UrlList& list, const std::string& key, bool required, std::string& value, bool& present,
                 std::string& fault)
{
    const std::vector<std::string> values = list.Values(key);
    present = !values.empty();
    if (!present) {
        if (required)
            fault = key + " is missing";
        return !required;
    }
    for (const std::string& other : values)
        if (other != values.front()) {
            fault = key + " is given twice with different values";
            return false;
        }
    value = values.front();
    return true;
}

bool LeapYear(long long year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = unsigned(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + (long long)dayOfEra - 719468;
}

bool ParseFile(const UrlList& list, ReleaseFileKey key, ReleaseFile& file, std::string& fault)
{
    const std::string name = kFileKeys[key];
    // The net installer has no entry in the list; it is always bound.
    const bool required = key == NetExe || list.Names(name);
    std::string hashText;
    std::string sizeText;
    bool hashPresent = false;
    bool sizePresent = false;
    if (!SingleValue(list, name + "_SHA256", required, hashText, hashPresent, fault) ||
        !SingleValue(list, name + "_SIZE", required, sizeText, sizePresent, fault))
        return false;
    if (hashPresent && !ParseSha256(hashText, file.sha256)) {
        fault = name + "_SHA256 is not 64 lowercase hex digits";
        return false;
    }
    // Ten digits hold every size up to the caps; more are refused unread.
    if (sizePresent && (!ParseDecimal(sizeText, 10, file.size) || file.size > ReleaseFileCap(key))) {
        fault = name + "_SIZE is not a size up to " + std::to_string(ReleaseFileCap(key)) + " bytes";
        return false;
    }
    if (hashPresent != sizePresent) {
        fault = name + (hashPresent ? "_SIZE" : "_SHA256") + " is missing";
        return false;
    }
    file.bound = hashPresent;
    return true;
}

}  // namespace

const char* ReleaseFileKeyName(ReleaseFileKey key)
{
    return key < kReleaseFileCount ? kFileKeys[key] : "";
}

unsigned long long ReleaseFileCap(ReleaseFileKey key)
{
    return key == KpsIss || key == KlIss || key == PcscBIss ? kMaxResponseBytes : kMaxInstallerBytes;
}

bool ParseUtcTime(const std::string& text, long long& seconds)
{
    // YYYY-MM-DDThh:mm:ssZ
    static const char kShape[] = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != sizeof kShape - 1)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (kShape[i] == 'd' ? !Digit(text[i]) : text[i] != kShape[i])
            return false;
    auto number = [&](std::size_t at, std::size_t digits) {
        unsigned value = 0;
        for (std::size_t i = at; i < at + digits; ++i)
            value = value * 10 + unsigned(text[i] - '0');
        return value;
    };
    const long long year = number(0, 4);
    const unsigned month = number(5, 2), day = number(8, 2);
    const unsigned hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return false;
    if (day > kDays[month - 1] + (month == 2 && LeapYear(year) ? 1 : 0))
        return false;
    seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

bool ParseRelease(const UrlList& list, Release& release, std::string& fault)
{
    release = Release();
    std::string serial, expires, language;
    bool present = false;
    if (!SingleValue(list, "RELEASE_SERIAL", true, serial, present, fault) ||
        !SingleValue(list, "RELEASE_EXPIRES", true, expires, present, fault) ||
        !SingleValue(list, "RELEASE_LANGUAGE", true, language, present, fault))
        return false;
    if (!ParseDecimal(serial, 18, release.serial)) {
        fault = "RELEASE_SERIAL is not 1 to 18 decimal digits";
        return false;
    }
    if (!ParseUtcTime(expires, release.expires)) {
        fault = "RELEASE_EXPIRES is not a time YYYY-MM-DDThh:mm:ssZ";
        return false;
    }
    release.expiresText = expires;
    if (language != "en" && language != "ja" && language != "all") {
        fault = "RELEASE_LANGUAGE is neither en, ja nor all";
        return false;
    }
    release.japanese = language == "ja";
    release.everyLanguage = language == "all";
    for (int key = 0; key < kReleaseFileCount; ++key)
        if (!ParseFile(list, ReleaseFileKey(key), release.files[key], fault))
            return false;
    std::string retired;
    if (!SingleValue(list, "RELEASE_RETIRES", false, retired, release.retires, fault))
        return false;
    if (release.retires && !ParseSha256(retired, release.retiredPin)) {
        fault = "RELEASE_RETIRES is not a pin of 64 lowercase hex digits";
        return false;
    }
    return true;
}

ReleaseVerdict JudgeRelease(const Release& release, long long now, bool japaneseSystem, ListSource source,
                            unsigned long long signerHighest, const unsigned char (&signerPin)[kSha256Bytes])
{
    if (signerHighest == kRetiredSerial)
        return ReleaseVerdict::SignerRetired;
    // A key never retires itself: a machine must keep one key it trusts, and
    // only the other key's release can say that this one is lost.
    if (release.retires && std::memcmp(release.retiredPin, signerPin, kSha256Bytes) == 0)
        return ReleaseVerdict::RetiresItsSigner;
    if (release.expires <= now)
        return ReleaseVerdict::Expired;
    if (release.everyLanguage ? source != ListSource::ConfiguredAddress : release.japanese != japaneseSystem)
        return ReleaseVerdict::OtherLanguage;
    if (release.serial < signerHighest)
        return ReleaseVerdict::RolledBack;
    return ReleaseVerdict::Accepted;
}

const char* ReleaseVerdictText(ReleaseVerdict verdict)
{
    switch (verdict) {
    case ReleaseVerdict::Accepted:
        return "accepted";
    case ReleaseVerdict::SignerRetired:
        return "signed by a key this machine has retired";
    case ReleaseVerdict::RetiresItsSigner:
        return "retiring the key that signed it";
    case ReleaseVerdict::Expired:
        return "expired";
    case ReleaseVerdict::OtherLanguage:
        return "for the other language";
    case ReleaseVerdict::RolledBack:
        return "older than a release this machine accepted";
    }
    return "";
}

bool MatchesRelease(const ReleaseFile& file, unsigned long long size, const unsigned char (&sha256)[kSha256Bytes])
{
    return file.bound && file.size == size && std::memcmp(file.sha256, sha256, kSha256Bytes) == 0;
}
