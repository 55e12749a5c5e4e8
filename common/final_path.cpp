#include "common/final_path.h"

#include <string>
#include <vector>

namespace {

// The handle's final path, empty on failure.
std::wstring FinalPath(HANDLE handle)
{
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = GetFinalPathNameByHandleW(handle, buffer.data(), DWORD(buffer.size()), 0);
        if (length == 0)
            return std::wstring();
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        buffer.resize(length + 1);
    }
    return std::wstring();
}

}  // namespace

bool LiesInside(HANDLE file, HANDLE folder)
{
    if (file == nullptr || file == INVALID_HANDLE_VALUE || folder == nullptr || folder == INVALID_HANDLE_VALUE)
        return false;
    const std::wstring inner = FinalPath(file);
    std::wstring outer = FinalPath(folder);
    while (!outer.empty() && outer.back() == L'\\')
        outer.pop_back();
    if (outer.empty() || inner.size() <= outer.size() + 1 || inner[outer.size()] != L'\\')
        return false;
    return CompareStringOrdinal(inner.c_str(), int(outer.size()), outer.c_str(), int(outer.size()), TRUE) ==
           CSTR_EQUAL;
}
