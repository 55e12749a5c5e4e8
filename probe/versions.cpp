#include "probe/versions.h"

#include <cstdio>

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// One "%d" conversion: white space, sign, digits. Accumulates modulo 2^32 so an
// overlong number keeps its low bits instead of invoking overflow.
bool ScanNumber(const char*& p, uint32_t& value)
{
    while (IsSpace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (!IsDigit(*p))
        return false;
    uint32_t v = 0;
    while (IsDigit(*p))
        v = v * 10u + uint32_t(*p++ - '0');
    value = negative ? 0u - v : v;
    return true;
}

// atoi on the text at p, saturating like strtol instead of overflowing.
int32_t AtoI(const char* p)
{
    while (IsSpace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    int64_t v = 0;
    while (IsDigit(*p)) {
        v = v * 10 + (*p++ - '0');
        if (v > 2147483648LL)
            v = 2147483648LL;
    }
    if (negative)
        return int32_t(-v);
    return v > 2147483647LL ? 2147483647 : int32_t(v);
}

}  // namespace

uint32_t PackVersion(const char* text)
{
    if (text == nullptr)
        return 0;
    uint32_t n[4];
    const char* p = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (*p != '.')
                return 0;
            ++p;
        }
        if (!ScanNumber(p, n[i]))
            return 0;
    }
    return ((n[0] & 0xFFu) << 24) | ((n[1] & 0xFFu) << 16) | ((n[2] & 0xFFu) << 8) | (n[3] & 0xFFu);
}

ParsedVersion ParseVersion(std::string text)
{
    ParsedVersion v = {{0, 0, 0, 0}};
    std::string::size_type start = 0;
    for (int i = 0; i < 4; ++i) {
        std::string::size_type dot = text.find('.', start);
        v.part[i] = AtoI(text.c_str() + (start < text.size() ? start : text.size()));
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    return v;
}

int CompareVersion(std::string first, std::string second)
{
    ParsedVersion a = ParseVersion(first);
    ParsedVersion b = ParseVersion(second);
    for (int i = 0; i < 4; ++i) {
        if (a.part[i] != b.part[i])
            return a.part[i] > b.part[i] ? -1 : 1;
    }
    return 0;
}

std::string VersionText(uint32_t packed)
{
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(packed >> 24), unsigned((packed >> 16) & 0xFF),
                  unsigned((packed >> 8) & 0xFF), unsigned(packed & 0xFF));
    return text;
}
