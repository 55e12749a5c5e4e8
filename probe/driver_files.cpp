#include "probe/driver_files.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/win_handles.h"
#include "probe/software_probes.h"
#include "probe/versions.h"

namespace {

typedef UINT(WINAPI* GetSystemWow64DirectoryFn)(LPSTR, UINT);
typedef BOOL(WINAPI* Wow64DisableFn)(PVOID*);
typedef BOOL(WINAPI* Wow64RevertFn)(PVOID);

// A kernel32 export as its real function type (FARPROC has none).
template <typename Fn>
Fn Lookup(HMODULE module, const char* name)
{
    FARPROC address = GetProcAddress(module, name);
    Fn function = nullptr;
    static_assert(sizeof function == sizeof address, "function pointers differ in size");
    std::memcpy(&function, &address, sizeof function);
    return function;
}

const char* const driverFiles[3] = {"zrvport.sys", "zrvemb.sys", "zrvpccard.sys"};

// Bounded "a" + "b" into a MAX_PATH buffer; false when it does not fit.
bool Join(char (&out)[MAX_PATH], const char* a, const char* b)
{
    int n = std::snprintf(out, sizeof out, "%s%s", a, b);
    return n >= 0 && size_t(n) < sizeof out;
}

// The packed ProductVersion of a file's first translation; false when it has none.
bool FileProductVersion(const char* path, uint32_t& version)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0)
        return false;
    std::vector<char> block;
    try {
        block.assign(size, 0);
    } catch (...) {
        return false;
    }
    if (!GetFileVersionInfoA(path, 0, size, block.data()))
        return false;
    void* translation = nullptr;
    UINT translationSize = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &translation, &translationSize) ||
        translation == nullptr || translationSize < 4)
        return false;
    const WORD* pair = static_cast<const WORD*>(translation);
    char query[100];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\ProductVersion", pair[0], pair[1]);
    void* text = nullptr;
    UINT textSize = 0;
    if (!VerQueryValueA(block.data(), query, &text, &textSize) || text == nullptr)
        return false;
    // The value points into the block; bound the scan by what the block reports.
    std::string productVersion(static_cast<const char*>(text), strnlen(static_cast<const char*>(text), textSize));
    version = PackVersion(productVersion.c_str());
    return true;
}

}  // namespace

uint32_t ProbeDriverFiles(uint16_t* count, DriverRecord* records)
{
    if (count == nullptr || *count < 3 || records == nullptr)
        return 0x80000003u;

    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;  // 148
    // Every NT system from 5.0 on keeps its drivers in system32\drivers, and
    // Windows 10 and 11 report major version 10 to hosts that declare them.
    bool handled = GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 5;

    LoadedModule kernel("kernel32.dll");
    bool redirection = false;
    if (kernel.Get() != nullptr) {
        GetSystemWow64DirectoryFn wow64Directory =
            Lookup<GetSystemWow64DirectoryFn>(kernel.Get(), "GetSystemWow64DirectoryA");
        if (wow64Directory != nullptr) {
            char unused[MAX_PATH];
            redirection = wow64Directory(unused, MAX_PATH) != 0;
        }
    }

    if (!handled) {
        *count = 0;
        return 0xFFFFFFFFu;
    }
    char system[MAX_PATH];
    UINT length = GetSystemDirectoryA(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        *count = 0;
        return 0xFFFFFFFFu;
    }
    char folder[MAX_PATH];
    if (!Join(folder, system, "\\drivers"))
        return 0xFFFFFFFFu;

    PVOID oldRedirection = nullptr;
    bool redirectionOff = false;
    if (redirection) {
        Wow64DisableFn disable =
            Lookup<Wow64DisableFn>(kernel.Get(), "Wow64DisableWow64FsRedirection");
        // Fails harmlessly in a 64-bit process on some systems; then nothing is reverted.
        if (disable != nullptr)
            redirectionOff = disable(&oldRedirection) != FALSE;
    }

    uint16_t written = 0;
    for (int kind = 0; kind < 3; ++kind) {
        char path[MAX_PATH];
        char name[MAX_PATH];
        std::snprintf(name, sizeof name, "\\%s", driverFiles[kind]);
        uint32_t version = 0;
        if (!Join(path, folder, name) || !FileProductVersion(path, version))
            continue;
        DriverRecord& r = records[written++];
        r.kind = kind;
        r.version = version;
        r.flags = 0x10000000u;
        if (kind != kindZrvpccard) {
            r.flags |= 0x80000000u;
            if (ReadSoftwareKind())
                r.flags |= 0x20000000u;
        }
    }
    *count = written;

    if (redirectionOff) {
        Wow64RevertFn revert =
            Lookup<Wow64RevertFn>(kernel.Get(), "Wow64RevertWow64FsRedirection");
        if (revert != nullptr)
            revert(oldRedirection);
    }
    return 0;
}
