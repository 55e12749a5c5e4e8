// Relative addresses in the URL list, resolved as a browser would.
#include "install/list_address.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

namespace {

// "scheme:" before any '/', '?' or '#': the address names its own location.
bool HasScheme(const std::string& value)
{
    const std::string::size_type colon = value.find(':');
    return colon != std::string::npos && colon > 0 && value.find_first_of("/?#") > colon;
}

}  // namespace

std::string ResolveListAddress(const std::string& listUrl, const std::string& value)
{
    if (value.empty() || HasScheme(value))
        return value;
    std::vector<char> combined(listUrl.size() + value.size() + 1024, '\0');
    DWORD length = DWORD(combined.size());
    if (!InternetCombineUrlA(listUrl.c_str(), value.c_str(), combined.data(), &length, 0) ||
        length >= combined.size())
        return std::string();
    return std::string(combined.data(), length);
}
