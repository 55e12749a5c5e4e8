#include "resources/module_resources.h"

#include <vector>

#include "resources/module.h"

namespace {

// The module's own instance: a copy installed under a versioned name
// (kuvana_coinst_0100.dll) finds its strings too, and never another version
// loaded beside it. Code linked into a program outside the DLL has no instance
// of its own and finds the DLL by its name.
HMODULE ResourceModule()
{
    return moduleInstance != nullptr ? moduleInstance : GetModuleHandleA(kModuleFileName);
}

}  // namespace

int LoadModuleStringInto(UINT id, char* buffer)
{
    buffer[0] = '\0';
    return LoadStringA(ResourceModule(), id, buffer, kStringBufferSize);
}

std::string LoadModuleString(UINT id)
{
    char buffer[kStringBufferSize];
    LoadModuleStringInto(id, buffer);
    return std::string(buffer);
}

std::string LoadLicenseText(UINT id)
{
    HMODULE module = ResourceModule();
    if (module == nullptr)
        return std::string();
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(23));
    if (info == nullptr)
        return std::string();
    HGLOBAL data = LoadResource(module, info);
    const void* bytes = data ? LockResource(data) : nullptr;
    DWORD size = SizeofResource(module, info);
    if (bytes == nullptr)
        return std::string();
    // One byte longer than the resource, so the text always ends in a NUL.
    std::vector<char> buffer(size + 1, '\0');
    memcpy(buffer.data(), bytes, size);
    std::string text(buffer.data());
    FreeResource(data);
    return text;
}
