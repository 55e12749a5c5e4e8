#include "net/download_logic.h"

std::size_t BoundedLength(const char* text, std::size_t limit)
{
    // A plain loop rather than strnlen: a fault on a bad pointer must happen
    // in code that can hand it to the job's fault handling.
    std::size_t n = 0;
    while (n < limit && text[n] != '\0')
        ++n;
    return n;
}

bool CopyBounded(char* target, std::size_t capacity, const char* source)
{
    if (target == nullptr || capacity == 0)
        return false;
    target[0] = '\0';
    if (source == nullptr)
        return false;
    std::size_t n = BoundedLength(source, capacity);
    if (n >= capacity)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        target[i] = source[i];
    target[n] = '\0';
    return true;
}

int StartArgumentsCode(const char* url, const char* localPath)
{
    if (url == nullptr)
        return 101000;
    if (BoundedLength(url, 512) >= 512)
        return 102000;
    if (localPath == nullptr)
        return 103000;
    if (BoundedLength(localPath, 260) >= 260)
        return 104000;
    return 0;
}

int TransferPercent(std::uint64_t received, std::uint64_t total, bool* beyond)
{
    if (beyond != nullptr)
        *beyond = false;
    if (total == 0)
        return 0;
    if (received == total)
        return 100;
    if (received > total) {
        if (beyond != nullptr)
            *beyond = true;
        return 100;
    }
    return static_cast<int>(static_cast<double>(received) * 100.0 / static_cast<double>(total));
}

bool ParseContentLength(const char* text, std::uint64_t* length)
{
    if (text == nullptr || length == nullptr || text[0] == '\0')
        return false;
    std::uint64_t value = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9')
            return false;
        const std::uint64_t digit = std::uint64_t(*c - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    *length = value;
    return true;
}

bool TooSlow(TransferPace* pace, std::uint32_t now, std::uint32_t got)
{
    pace->windowBytes += got;
    if (pace->windowBytes >= kTrickleMinimumBytes) {
        *pace = StartPace(now);
        return false;
    }
    return std::uint32_t(now - pace->windowStart) >= kTrickleWindowMilliseconds;
}
